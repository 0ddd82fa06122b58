#include "marker/Registration.h"

#include <objbase.h>
#include <olectl.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <string>

#include "platform/com/ClassRegistry.h"
#include "platform/com/ComModule.h"
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

}  // namespace

HRESULT RegisterServer()
{
    wchar_t module[MAX_PATH];
    if (!com::ModulePath(module))
        return SELFREG_E_CLASS;
    const std::wstring clsid = com::GuidText(CLSID_CCTovraPlayerCom);
    const std::wstring appId = com::GuidText(kAppId);
    const std::wstring classKey = L"CLSID\\" + clsid;
    const std::wstring libId = com::GuidText(LIBID_TovraPlayer);
    const std::wstring indie(kIndependentProgId), progId(kProgId);

    const com::ClassesEntry entries[] = {
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
    HRESULT result = com::WriteClassesEntries(entries, sizeof entries / sizeof entries[0]);
    return FAILED(result) ? result : com::RegisterEmbeddedTypeLib(module);
}

HRESULT UnregisterServer()
{
    com::UnregisterTypeLibrary(LIBID_TovraPlayer, 1, 0);
    const std::wstring keys[] = {
        kProgId,
        kIndependentProgId,
        L"CLSID\\" + com::GuidText(CLSID_CCTovraPlayerCom),
        L"AppID\\" + com::GuidText(kAppId),
        kAppModuleKey,
    };
    return com::DeleteClassesTrees(keys, sizeof keys / sizeof keys[0]);
}

}  // namespace marker
