#include "marker/Registration.h"

#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <string>

#include "marker/Module.h"
#include "TovraPlayer_h.h"

namespace marker {

namespace {

// The application id is ours alone; it appears only in the registry.
const GUID kAppId = {0x502a9afc, 0xd85b, 0x4854, {0x93, 0x83, 0xe0, 0x11, 0x0c, 0xd7, 0x89, 0xed}};

const wchar_t kProgId[] = L"TovraPlayer.CTovraPlayerCom.1";
const wchar_t kIndependentProgId[] = L"TovraPlayer.CTovraPlayerCom";
const wchar_t kDescription[] = L"CCTovraPlayerCom Object";
const wchar_t kAppName[] = L"TovraPlayer";
const wchar_t kAppModuleKey[] = L"AppID\\TovraPlayer.DLL";

std::wstring GuidText(REFGUID guid)
{
    wchar_t text[40];
    StringFromGUID2(guid, text, 40);
    return text;
}

// Creates a key below HKEY_CLASSES_ROOT and sets one of its values (the
// default one when name is null); a null text sets no value.
HRESULT SetKey(const std::wstring& key, const wchar_t* name, const wchar_t* text)
{
    HKEY handle = nullptr;
    LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &handle, nullptr);
    if (status == ERROR_SUCCESS && text)
        status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    if (handle)
        RegCloseKey(handle);
    return HRESULT_FROM_WIN32(status);
}

HRESULT DeleteTree(const std::wstring& key)
{
    DWORD status = SHDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT RegisterServer()
{
    wchar_t module[MAX_PATH];
    if (!ModulePath(module))
        return SELFREG_E_CLASS;
    const std::wstring clsid = GuidText(CLSID_CCTovraPlayerCom);
    const std::wstring appId = GuidText(kAppId);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring libId = GuidText(LIBID_TovraPlayer);
    const std::wstring indie(kIndependentProgId), progId(kProgId);

    struct Entry {
        std::wstring key;
        const wchar_t* name;
        const wchar_t* text;
    } const entries[] = {
        {progId, nullptr, kDescription},
        {progId + L"\\CLSID", nullptr, clsid.c_str()},
        {indie, nullptr, kDescription},
        {indie + L"\\CLSID", nullptr, clsid.c_str()},
        {indie + L"\\CurVer", nullptr, kProgId},
        {classKey, nullptr, kDescription},
        {classKey, L"AppID", appId.c_str()},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\VersionIndependentProgID", nullptr, kIndependentProgId},
        {classKey + L"\\Programmable", nullptr, nullptr},
        {classKey + L"\\InprocServer32", nullptr, module},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"both"},
        {classKey + L"\\TypeLib", nullptr, libId.c_str()},
        {L"AppID\\" + appId, nullptr, kAppName},
        {kAppModuleKey, L"AppID", appId.c_str()},
    };
    for (const Entry& entry : entries) {
        HRESULT result = SetKey(entry.key, entry.name, entry.text);
        if (FAILED(result))
            return result;
    }

    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLibEx(module, REGKIND_NONE, &library);
    if (FAILED(result))
        return result;
    result = RegisterTypeLib(library, module, nullptr);
    library->Release();
    return result;
}

HRESULT UnregisterServer()
{
    // A type library that was never registered leaves nothing to remove.
    UnRegisterTypeLib(LIBID_TovraPlayer, 1, 0, LANG_NEUTRAL,
                      sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    const std::wstring keys[] = {
        kProgId,
        kIndependentProgId,
        L"CLSID\\" + GuidText(CLSID_CCTovraPlayerCom),
        L"AppID\\" + GuidText(kAppId),
        kAppModuleKey,
    };
    HRESULT result = S_OK;
    for (const std::wstring& key : keys) {
        HRESULT deleted = DeleteTree(key);
        if (FAILED(deleted) && SUCCEEDED(result))
            result = deleted;
    }
    return result;
}

}  // namespace marker
