#pragma once
#include <windows.h>

// The page's control of the seeding service "kxsvc" through the service
// control manager.

// Starts the service, installing it first through this library's own
// RundllInstallA when it does not exist. E_FAIL when the manager cannot be
// opened or the service cannot be installed; a start that fails (one that
// already runs, say) still counts as done.
HRESULT StartKxService();
// Sends the stop control to a service that is not stopped. Never fails: no
// manager or no service means nothing to stop.
HRESULT StopKxService();
