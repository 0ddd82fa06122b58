#pragma once
#include <windows.h>

// The control's class keys, type library and application id below
// HKEY_CLASSES_ROOT.
HRESULT RegisterControlClass();
HRESULT RegisterControlAppId();
// Failures are returned after every key was tried.
HRESULT UnregisterControlAppId();
HRESULT UnregisterControlClass();
