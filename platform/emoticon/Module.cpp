// TovraEmoticon.dll: the chat's emoticon picture class.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include <string>

#include "platform/com/ClassFactory.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/ComModule.h"
#include "platform/emoticon/CEmoticonObject.h"

namespace {

com::CClassFactory g_factory(CLSID_EmoticonPicture, CEmoticonObject::Create);
const wchar_t kDescription[] = L"Tovra emoticon picture";

}  // namespace

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
    return g_factory.GetClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer()
{
    com::RegistrationLock lock;
    wchar_t module[MAX_PATH];
    if (!com::ModulePath(module))
        return SELFREG_E_CLASS;
    const std::wstring classKey = L"CLSID\\" + com::GuidText(CLSID_EmoticonPicture);
    const com::ClassesEntry entries[] = {
        {classKey, nullptr, kDescription},
        {classKey + L"\\InprocServer32", nullptr, module},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
    };
    return com::WriteClassesEntries(entries, sizeof entries / sizeof entries[0]);
}

STDAPI DllUnregisterServer()
{
    com::RegistrationLock lock;
    const std::wstring keys[] = {L"CLSID\\" + com::GuidText(CLSID_EmoticonPicture)};
    return com::DeleteClassesTrees(keys, 1);
}
