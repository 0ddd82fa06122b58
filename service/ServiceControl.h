#pragma once

#include <winsock2.h>
#include <windows.h>

// The service's face towards the service control manager: its entry point
// for the service host, its control handler and its status reports. One
// service per process: the state below is process-wide.

extern "C" void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);

void WINAPI ServiceHandler(DWORD control);

// Stores state as the current state and reports it with the fixed type,
// controls and wait hint; SetServiceStatus's result.
BOOL SetTheServiceStatus(DWORD state, DWORD exitCode, DWORD checkpoint);

// Where the status reports go: SetServiceStatus, or a recorder of a test.
using ServiceStatusReporter = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
// Null restores SetServiceStatus.
void SetServiceStatusReporter(ServiceStatusReporter reporter);
