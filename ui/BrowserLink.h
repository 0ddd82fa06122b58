#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// Links from peers and servers open in the browser as one quoted argument.
// A link holding a double quote could close that quote and add arguments of
// its own, and one starting with '-' or '/' would be read as a switch: such
// links are not opened at all.
inline bool IsBrowserLink(const std::wstring& link)
{
    return !link.empty() && link[0] != L'-' && link[0] != L'/' &&
           link.find(L'"') == std::wstring::npos;
}

inline void OpenBrowserLink(const std::wstring& link)
{
    if (!IsBrowserLink(link))
        return;
    const std::wstring argument = L"\"" + link + L"\"";
    ShellExecuteW(nullptr, L"open", L"iexplore.exe", argument.c_str(), nullptr, SW_SHOWNORMAL);
}
