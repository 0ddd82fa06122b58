// The stand-in controls' DLL: the class objects of the table, their
// registration (in-process, apartment-threaded; over any class registered
// before under the same id) and the log export.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "platform/com/ClassRegistry.h"
#include "platform/com/ComModule.h"
#include "platform/standins/StandinClasses.h"
#include "platform/standins/StandinLog.h"

using standins::kStandinClassCount;
using standins::kStandinClasses;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return com::ModuleMain(instance, reason, reserved);
}

STDAPI DllCanUnloadNow()
{
    return com::CanUnloadModule();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    for (size_t i = 0; i < kStandinClassCount; ++i)
        if (IsEqualCLSID(clsid, kStandinClasses[i].clsid))
            return kStandinClasses[i].factory.GetClassObject(clsid, iid, object);
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllRegisterServer()
{
    com::RegistrationLock lock;
    wchar_t path[MAX_PATH];
    if (!com::ModulePath(path))
        return E_FAIL;
    // The entries point into these texts: both lists are filled first.
    std::vector<std::wstring> ids, keys;
    for (size_t i = 0; i < kStandinClassCount; ++i) {
        ids.push_back(com::GuidText(kStandinClasses[i].clsid));
        keys.push_back(L"CLSID\\" + ids.back());
    }
    std::vector<com::ClassesEntry> entries;
    for (size_t i = 0; i < kStandinClassCount; ++i) {
        const std::wstring server = keys[i] + L"\\InprocServer32";
        entries.push_back({server, nullptr, path});
        entries.push_back({server, L"ThreadingModel", L"Apartment"});
        if (const wchar_t* progId = kStandinClasses[i].progId) {
            entries.push_back({keys[i] + L"\\ProgID", nullptr, progId});
            entries.push_back({std::wstring(progId) + L"\\CLSID", nullptr, ids[i].c_str()});
        }
    }
    return com::WriteClassesEntries(entries.data(), entries.size());
}

STDAPI DllUnregisterServer()
{
    com::RegistrationLock lock;
    std::vector<std::wstring> keys;
    for (size_t i = 0; i < kStandinClassCount; ++i) {
        keys.push_back(L"CLSID\\" + com::GuidText(kStandinClasses[i].clsid));
        if (kStandinClasses[i].progId)
            keys.push_back(kStandinClasses[i].progId);
    }
    return com::DeleteClassesTrees(keys.data(), keys.size());
}

// The call record since the last take (see StandinLog.h); the caller frees it.
extern "C" BSTR WINAPI StandinTakeLog()
{
    const std::wstring lines = standins::TakeLog();
    return SysAllocStringLen(lines.data(), static_cast<UINT>(lines.size()));
}
