#include "platform/com/ComModule.h"

#include <oleauto.h>

namespace com {

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

BOOL ModuleMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
        return InitializeCriticalSectionAndSpinCount(&g_registrationLock, 0);
    }
    // At process exit other threads are gone mid-way: leave the lock alone.
    if (reason == DLL_PROCESS_DETACH && !reserved)
        DeleteCriticalSection(&g_registrationLock);
    return TRUE;
}

HRESULT CanUnloadModule()
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

RegistrationLock::RegistrationLock()
{
    EnterCriticalSection(&g_registrationLock);
}

RegistrationLock::~RegistrationLock()
{
    LeaveCriticalSection(&g_registrationLock);
}

HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info)
{
    *info = nullptr;
    wchar_t path[MAX_PATH];
    if (!ModulePath(path))
        return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* library = nullptr;
    HRESULT result = LoadTypeLib(path, &library);
    if (FAILED(result))
        return result;
    result = library->GetTypeInfoOfGuid(guid, info);
    library->Release();
    return result;
}

}  // namespace com
