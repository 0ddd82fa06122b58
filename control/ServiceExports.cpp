#include <windows.h>

#include <string>

#include "service/ServiceInstall.h"

namespace {

// rundll32 hands over the rest of its command line in the ANSI code page.
std::wstring FromAnsi(const char* text)
{
    if (!text || !*text)
        return std::wstring();
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units - 1));
    return wide;
}

} // namespace

// "rundll32 vodctl.dll,RundllInstallA [service name]"; an empty name
// installs "kxsvc". The result is not reported.
extern "C" void WINAPI RundllInstallA(HWND, HINSTANCE, LPSTR commandLine, int)
{
    InstallService(FromAnsi(commandLine).c_str());
}

extern "C" void WINAPI RundllUninstallA(HWND, HINSTANCE, LPSTR commandLine, int)
{
    UninstallService(FromAnsi(commandLine).c_str());
}

extern "C" int WINAPI CheckDllPathA(LPCSTR path)
{
    return CheckDllPath(path);
}
