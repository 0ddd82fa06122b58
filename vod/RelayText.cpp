#include "vod/RelayText.h"

#include <cstdlib>
#include <cstring>

void PostRelayText(HWND owner, UINT message, const std::string& text)
{
    if (text.empty() || owner == nullptr)
        return;
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr)
        return;
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    if (!PostMessageW(owner, message, reinterpret_cast<WPARAM>(copy), static_cast<LPARAM>(text.size())))
        std::free(copy);
}
