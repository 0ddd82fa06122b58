// The library's COM exports. Loading it starts nothing: no thread, window or
// engine exists until a host calls one of the exports.
#include <windows.h>
#include <objbase.h>

#include "control/CCStreamView.h"
#include "control/ControlRegistration.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ComModule.h"
#include "players/CodecRegistration.h"
#include "players/hooks/PlayerHooks.h"
#include "service/ServiceInstall.h"
#include "vodctl_h.h"

namespace {

const wchar_t kServiceName[] = L"kxsvc";

com::CClassFactory g_factory(CLSID_CStreamView, CCStreamView::Create);

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return com::ModuleMain(instance, reason, reserved);
}

// A player hook calls into this module: it stays while one is installed.
STDAPI DllCanUnloadNow()
{
    return PlayerHooksInstalled() ? S_FALSE : com::CanUnloadModule();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return g_factory.GetClassObject(clsid, iid, object);
}

// The class and the application id, then the service and the codec files.
// A failed install is an error: its Win32 code as a failure HRESULT, since the
// bare code would read as a success code.
STDAPI DllRegisterServer()
{
    com::RegistrationLock lock;
    HRESULT result = RegisterControlClass();
    if (SUCCEEDED(result))
        result = RegisterControlAppId();
    if (FAILED(result))
        return result;
    DWORD installed = InstallService(kServiceName);
    RegisterCodecFilters();
    return installed != 0 ? HRESULT_FROM_WIN32(installed) : result;
}

STDAPI DllUnregisterServer()
{
    com::RegistrationLock lock;
    UninstallService(kServiceName);
    UnregisterCodecFilters();
    HRESULT result = UnregisterControlAppId();
    if (FAILED(result))
        return result;
    result = UnregisterControlClass();
    return FAILED(result) ? result : S_OK;
}
