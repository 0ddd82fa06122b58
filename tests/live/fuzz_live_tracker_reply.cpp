// The reqpeer reply of a live channel, from outside bytes.
#include <cstddef>
#include <cstdint>

#include "live/LiveConnections.h"
#include "live/LiveTrackerMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LivePeerReply reply;
    if (ParseLivePeerReply(reinterpret_cast<const char*>(data), size, reply) && reply.success) {
        LiveConnections connections;
        connections.AddCandidates(reply.candidates);
        connections.ConnectCandidates(0, [](const LiveCandidate&) { return true; });
    }
    return 0;
}
