#pragma once
#include <windows.h>

namespace marker {

// DllRegisterServer: the ProgIDs, the class, the application id and the type
// library, under HKEY_CLASSES_ROOT.
HRESULT RegisterServer();
// DllUnregisterServer: removes them all; the shared keys "CLSID" and "AppID"
// themselves stay.
HRESULT UnregisterServer();

}  // namespace marker
