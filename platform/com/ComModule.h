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

// For DllMain: process attach builds the registration lock (false when it
// cannot be built); detach removes it unless the process is exiting.
bool AttachModule(HINSTANCE instance);
void DetachModule(bool processExiting);

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
