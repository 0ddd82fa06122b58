#include "ui/TimeSpanText.h"

#include <cwchar>

std::wstring TimeSpanText(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    wchar_t text[16];
    swprintf(text, 16, L"%02d:%02d:%02d", static_cast<int>((seconds / 3600) % 24),
             static_cast<int>((seconds / 60) % 60), static_cast<int>(seconds % 60));
    return text;
}
