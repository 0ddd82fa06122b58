#include "control/ControlRegistration.h"

#include <olectl.h>

#include <string>

#include "platform/com/ClassRegistry.h"
#include "platform/com/ComModule.h"
#include "vodctl_h.h"

namespace {

// The application id is ours alone; it appears only in the registry.
const GUID kAppId = {0x7624e556, 0xc720, 0x4254, {0x98, 0x06, 0x6e, 0x5e, 0xc4, 0xb6, 0xd3, 0x8e}};

const wchar_t kProgId[] = L"KX.StreamView.1";
const wchar_t kIndependentProgId[] = L"KX.StreamView";
const wchar_t kFriendlyName[] = L"StreamView Control Class";
const wchar_t kMiscStatus[] = L"131473";
const wchar_t kAppName[] = L"vodctl";
const wchar_t kAppModuleKey[] = L"AppID\\vodctl.DLL";

std::wstring ClassKey()
{
    return L"CLSID\\" + com::GuidText(CLSID_CStreamView);
}

}  // namespace

HRESULT RegisterControlClass()
{
    wchar_t module[MAX_PATH];
    if (!com::ModulePath(module))
        return SELFREG_E_CLASS;
    const std::wstring clsid = com::GuidText(CLSID_CStreamView);
    const std::wstring appId = com::GuidText(kAppId);
    const std::wstring libId = com::GuidText(LIBID_vodctlLib);
    const std::wstring classKey = ClassKey();
    const std::wstring indie(kIndependentProgId), progId(kProgId);
    const std::wstring toolbox = std::wstring(module) + L", 1";

    const com::ClassesEntry entries[] = {
        {progId, nullptr, kFriendlyName},
        {progId + L"\\CLSID", nullptr, clsid.c_str()},
        {indie, nullptr, kFriendlyName},
        {indie + L"\\CLSID", nullptr, clsid.c_str()},
        {indie + L"\\CurVer", nullptr, kProgId},
        {classKey, nullptr, kFriendlyName},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\VersionIndependentProgID", nullptr, kIndependentProgId},
        {classKey + L"\\InprocServer32", nullptr, module},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"apartment"},
        {classKey + L"\\Control", nullptr, nullptr},
        {classKey + L"\\ToolboxBitmap32", nullptr, toolbox.c_str()},
        {classKey + L"\\MiscStatus", nullptr, L"0"},
        {classKey + L"\\MiscStatus\\1", nullptr, kMiscStatus},
        {classKey + L"\\TypeLib", nullptr, libId.c_str()},
        {classKey + L"\\Version", nullptr, L"1.0"},
        {classKey, L"AppID", appId.c_str()},
    };
    HRESULT result = com::WriteClassesEntries(entries, sizeof entries / sizeof entries[0]);
    return FAILED(result) ? result : com::RegisterEmbeddedTypeLib(module);
}

HRESULT RegisterControlAppId()
{
    const std::wstring appId = com::GuidText(kAppId);
    const com::ClassesEntry entries[] = {
        {L"AppID\\" + appId, nullptr, kAppName},
        {kAppModuleKey, L"AppID", appId.c_str()},
    };
    return com::WriteClassesEntries(entries, sizeof entries / sizeof entries[0]);
}

HRESULT UnregisterControlAppId()
{
    const std::wstring keys[] = {L"AppID\\" + com::GuidText(kAppId), kAppModuleKey};
    return com::DeleteClassesTrees(keys, sizeof keys / sizeof keys[0]);
}

HRESULT UnregisterControlClass()
{
    com::UnregisterTypeLibrary(LIBID_vodctlLib, 1, 0);
    const std::wstring keys[] = {kProgId, kIndependentProgId, ClassKey()};
    return com::DeleteClassesTrees(keys, sizeof keys / sizeof keys[0]);
}
