#include "players/CodecRegistration.h"

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

const wchar_t* const kCodecFiles[] = {L"asyncflt.ax", L"RealMediaSplitter.ax", L"WMFDemux.dll"};
const wchar_t kSchemeKey[] = L"Software\\Microsoft\\MediaPlayer\\Player\\Schemes\\zaror";

// The system folder followed by "\zuvoriru\Codecs\"; empty when there is none.
std::wstring CodecFolder()
{
    wchar_t system[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, system, CSIDL_SYSTEM, FALSE))
        return std::wstring();
    return std::wstring(system) + L"\\zuvoriru\\Codecs\\";
}

void CallEachFile(const char* entryName)
{
    std::wstring folder = CodecFolder();
    if (folder.empty())
        return;
    for (const wchar_t* file : kCodecFiles) {
        HMODULE module = LoadLibraryW((folder + file).c_str());
        if (!module)
            continue;
        typedef HRESULT(STDAPICALLTYPE * Entry)();
        auto entry = reinterpret_cast<Entry>(
            reinterpret_cast<void*>(GetProcAddress(module, entryName)));
        if (entry)
            entry();
        FreeLibrary(module);
    }
}

} // namespace

void RegisterCodecFilters()
{
    CallEachFile("DllRegisterServer");
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSchemeKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        DWORD runtime = 1;
        RegSetValueExW(key, L"Runtime", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&runtime),
                       sizeof runtime);
        RegCloseKey(key);
    }
}

void UnregisterCodecFilters()
{
    CallEachFile("DllUnregisterServer");
}
