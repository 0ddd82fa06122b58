#pragma once
#include <windows.h>

// The state every in-process COM server of ours keeps: its instance, its lock
// count (live objects, held class objects and LockServer calls) and the lock
// that serialises its registration. One copy per DLL: each links this
// library statically.
namespace com {

HINSTANCE ModuleInstance();
// The library's full path; false when it cannot be taken.
bool ModulePath(wchar_t (&path)[MAX_PATH]);
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

// The body of a server's DllMain: process attach builds the registration
// lock (FALSE when it cannot be built); detach removes it unless the process
// is exiting. Nothing starts.
BOOL ModuleMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
// DllCanUnloadNow: S_OK once no object, class object or lock is held.
HRESULT CanUnloadModule();

class RegistrationLock {
public:
    RegistrationLock();
    ~RegistrationLock();
    RegistrationLock(const RegistrationLock&) = delete;
    RegistrationLock& operator=(const RegistrationLock&) = delete;
};

// The type information of one of the module's types, read from the type
// library embedded in the module's own file.
HRESULT ModuleTypeInfo(REFGUID guid, ITypeInfo** info);

}  // namespace com
