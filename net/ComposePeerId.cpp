#include <cstdio>
#include <cstdlib>

#include "net/MakePeerId.h"

namespace {

// 'A' plus rand() mod 25: only 'A' to 'Y' occur.
void AppendRandomLetters(std::string& text, int count) {
    for (int i = 0; i < count; ++i)
        text += static_cast<char>('A' + std::rand() % 25);
}

}  // namespace

PeerId ComposePeerId(const std::string* hardwareHex, std::uint16_t port) {
    std::string text;
    if (hardwareHex)
        text = *hardwareHex;
    else
        AppendRandomLetters(text, 12);
    char digits[8];
    std::snprintf(digits, sizeof digits, "@%u", static_cast<unsigned>(port));
    text += digits;
    AppendRandomLetters(text, 7);
    return PeerId::FromBytes(text.data(), text.size());
}
