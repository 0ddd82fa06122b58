// Decodes arbitrary bytes as a reply dictionary and as any value; whatever
// decodes must re-encode to text that decodes again to the same encoding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btStream.h"

namespace {

std::string Encode(const btObject* object) {
    btStream s;
    btEncoder e(&s);
    if (e.Encode(object) != 0)
        std::abort();
    return s.GetBuffer().substr(0, static_cast<std::size_t>(s.GetSize()));
}

btStream StreamOf(const void* data, std::size_t size) {
    btStream s;
    s.Write(data, static_cast<std::int32_t>(size));
    s.Reset(0);
    return s;
}

void CheckStable(const btObject* decoded) {
    const std::string first = Encode(decoded);
    btStream again = StreamOf(first.data(), first.size());
    btDecoder d(&again);
    btObject* raw = nullptr;
    const int r = d.Decode(&raw);
    std::unique_ptr<btObject> redecoded(raw);
    if (r != 0 || again.GetPosition() != again.GetSize() || Encode(redecoded.get()) != first)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20))
        return 0;
    {
        btStream s = StreamOf(data, size);
        btDecoder d(&s);
        btDict dict;
        if (d.DecodeDict(&dict) == 0)
            CheckStable(&dict);
    }
    {
        btStream s = StreamOf(data, size);
        btDecoder d(&s);
        btObject* raw = nullptr;
        const int r = d.Decode(&raw);
        std::unique_ptr<btObject> object(raw);
        if (r == 0)
            CheckStable(object.get());
    }
    return 0;
}
