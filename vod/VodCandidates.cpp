#include "vod/VodCandidates.h"

void StoreCandidates(const std::vector<VodCandidate>& candidates, VodCandidateTable& normal,
                     VodCandidateTable& seeds)
{
    for (const VodCandidate& candidate : candidates)
        (candidate.IsSeed() ? seeds : normal)[candidate.address.id] = candidate;
}

int ConnectCandidates(VodCandidateTable& seeds, VodCandidateTable& normal, int sessions, int limit,
                      const std::function<bool(const VodCandidate&)>& connect)
{
    for (VodCandidateTable* table : {&seeds, &normal}) {
        while (sessions < limit && !table->empty()) {
            const VodCandidate candidate = table->begin()->second;
            table->erase(table->begin());
            if (connect(candidate))
                ++sessions;
        }
    }
    return sessions;
}
