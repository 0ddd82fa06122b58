// Peer bytes into the chat record reader: any input either reads or fails
// cleanly, and a record that reads packs back and reads again the same.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/chat/ChatMsg.h"

namespace {

std::u16string Latin1(const char* bytes, std::size_t length)
{
    std::u16string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    _tagChatMsg record;
    if (!record.FromBytes(data, size, Latin1))
        return 0;
    std::string bytes;
    // An older record's narrow name can widen past the varstr limit only
    // with more input than the fuzzer gives; a failure here is a fault.
    if (!record.ToBytes(bytes))
        std::abort();
    _tagChatMsg again;
    if (!again.FromBytes(bytes.data(), bytes.size(), Latin1))
        std::abort();
    if (again.name != record.name || again.text != record.text || again.time != record.time ||
        again.format.cbSize != record.format.cbSize)
        std::abort();
    return 0;
}
