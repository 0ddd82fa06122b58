#include "marker/Module.h"

#include <objbase.h>
#include <olectl.h>

#include "marker/ClassFactory.h"
#include "marker/Registration.h"

namespace marker {

namespace {
HINSTANCE g_instance = nullptr;
volatile LONG g_lockCount = 0;
CRITICAL_SECTION g_registrationLock;
}  // namespace

HINSTANCE ModuleInstance()
{
    return g_instance;
}

bool ModulePath(wchar_t (&path)[MAX_PATH])
{
    DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH);
    return length > 0 && length < MAX_PATH;
}

void LockModule()
{
    InterlockedIncrement(&g_lockCount);
}

void UnlockModule()
{
    InterlockedDecrement(&g_lockCount);
}

LONG ModuleLockCount()
{
    return InterlockedCompareExchange(&g_lockCount, 0, 0);
}

RegistrationLock::RegistrationLock()
{
    EnterCriticalSection(&g_registrationLock);
}

RegistrationLock::~RegistrationLock()
{
    LeaveCriticalSection(&g_registrationLock);
}

}  // namespace marker

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        marker::g_instance = instance;
        DisableThreadLibraryCalls(instance);
        return InitializeCriticalSectionAndSpinCount(&marker::g_registrationLock, 0);
    }
    // At process exit other threads are gone mid-way: leave the lock alone.
    if (reason == DLL_PROCESS_DETACH && !reserved)
        DeleteCriticalSection(&marker::g_registrationLock);
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return marker::ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return marker::GetClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer()
{
    marker::RegistrationLock lock;
    return marker::RegisterServer();
}

STDAPI DllUnregisterServer()
{
    marker::RegistrationLock lock;
    return marker::UnregisterServer();
}
