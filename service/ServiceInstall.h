#pragma once

#include <windows.h>

// Installation of the seeding service under the shared service host, its
// removal, and the repair of its registered library path. A null or empty
// service name means "kxsvc".

// 0, or the Win32 error of the step that failed.
DWORD InstallService(const wchar_t* serviceName);
// 0, or the Win32 error of the step that failed.
DWORD UninstallService(const wchar_t* serviceName);
// 1 when the registered "ServiceDll" was rewritten to path, else 0.
int CheckDllPath(const char* path);
