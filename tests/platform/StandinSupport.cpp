#include "tests/platform/StandinSupport.h"

#include <oleauto.h>

#include <vector>

namespace {

HMODULE StandinModule()
{
    static HMODULE module = LoadLibraryW(STANDINS_PATH);
    return module;
}

FARPROC Export(const char* name)
{
    HMODULE module = StandinModule();
    return module ? GetProcAddress(module, name) : nullptr;
}

}  // namespace

bool RegisterStandins()
{
    typedef HRESULT(STDAPICALLTYPE * Entry)();
    auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(Export("DllRegisterServer")));
    return entry && SUCCEEDED(entry());
}

std::wstring TakeStandinLog()
{
    typedef BSTR(WINAPI * Take)();
    auto take = reinterpret_cast<Take>(reinterpret_cast<void*>(Export("StandinTakeLog")));
    if (!take)
        return L"<no stand-in DLL>";
    BSTR lines = take();
    std::wstring out(lines ? lines : L"", lines ? SysStringLen(lines) : 0);
    SysFreeString(lines);
    return out;
}

void SetStandinKnob(const wchar_t* name, const wchar_t* value)
{
    SetEnvironmentVariableW((std::wstring(L"TOVRA_STANDIN_") + name).c_str(), value);
}

void ClearStandinKnobs()
{
    const std::wstring prefix = L"TOVRA_STANDIN_";
    std::vector<std::wstring> names;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; entry && *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        if (text.compare(0, prefix.size(), prefix) == 0)
            names.push_back(text.substr(0, text.find(L'=')));
    }
    FreeEnvironmentStringsW(block);
    for (const std::wstring& name : names)
        SetEnvironmentVariableW(name.c_str(), nullptr);
}
