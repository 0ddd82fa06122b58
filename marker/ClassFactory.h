#pragma once
#include <windows.h>
#include <objbase.h>

namespace marker {

// DllGetClassObject: the class object of CCTovraPlayerCom, a standard class
// factory. A held class object keeps the module locked.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace marker
