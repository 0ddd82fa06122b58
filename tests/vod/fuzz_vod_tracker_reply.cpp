// The tracker's replies as the engine reads them.
#include <cstddef>
#include <cstdint>

#include "vod/VodTrackerMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    VodFileInfo info;
    ParseFileInfoReply(bytes, size, info);
    VodPeerReply reply;
    if (ParsePeerReply(bytes, size, reply) && reply.candidates.size() > kVodMaxTrackerPeers)
        __builtin_trap();
    return 0;
}
