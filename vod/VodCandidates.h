#pragma once

#include <functional>
#include <vector>

#include "vod/VodCandidate.h"

// Keeps the candidates of one "reqpeer" reply: seeds (node type 1) in seeds,
// the others in normal, keyed by id; a later entry with the same id replaces
// the earlier one.
void StoreCandidates(const std::vector<VodCandidate>& candidates, VodCandidateTable& normal,
                     VodCandidateTable& seeds);

// Opens connections while fewer than limit sessions exist: the seeds first,
// then the normal candidates, each in id order. Every entry taken leaves its
// table whether or not connect starts a connection; each started connection
// counts as one more session. Answers the number of sessions then (the
// engine's "connections exist" test is a non-zero answer).
int ConnectCandidates(VodCandidateTable& seeds, VodCandidateTable& normal, int sessions, int limit,
                      const std::function<bool(const VodCandidate&)>& connect);
