#pragma once
#include <windows.h>

// The library's module state: its instance, its lock count (objects, held
// class objects and LockServer calls) and the lock that serialises its
// registration.
namespace marker {

HINSTANCE ModuleInstance();
// The library's full path; false when it cannot be taken.
bool ModulePath(wchar_t (&path)[MAX_PATH]);
void LockModule();
void UnlockModule();
LONG ModuleLockCount();

class RegistrationLock {
public:
    RegistrationLock();
    ~RegistrationLock();
    RegistrationLock(const RegistrationLock&) = delete;
    RegistrationLock& operator=(const RegistrationLock&) = delete;
};

}  // namespace marker
