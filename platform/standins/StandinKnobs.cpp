#include "platform/standins/StandinKnobs.h"

#include <windows.h>

namespace standins {

std::wstring KnobText(const wchar_t* name)
{
    const std::wstring variable = std::wstring(L"TOVRA_STANDIN_") + name;
    DWORD length = GetEnvironmentVariableW(variable.c_str(), nullptr, 0);
    if (length == 0)
        return std::wstring();
    std::wstring text(length, L'\0');
    length = GetEnvironmentVariableW(variable.c_str(), &text[0], length);
    text.resize(length);
    return text;
}

bool KnobSet(const wchar_t* name)
{
    const std::wstring text = KnobText(name);
    return !text.empty() && text != L"0";
}

bool CreationRefused(const wchar_t* control)
{
    const std::wstring list = KnobText(L"FAIL_CREATE");
    if (list == L"*")
        return true;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(L',', start);
        if (end == std::wstring::npos)
            end = list.size();
        if (list.compare(start, end - start, control) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace standins
