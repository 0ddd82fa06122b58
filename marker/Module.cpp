#include <windows.h>
#include <objbase.h>

#include <new>

#include "marker/CCTovraPlayerCom.h"
#include "marker/Registration.h"
#include "platform/com/ClassFactory.h"
#include "platform/com/ComModule.h"
#include "TovraPlayer_h.h"

namespace {

HRESULT CreateMarker(IUnknown* outer, REFIID iid, void** object)
{
    // An aggregating client must ask for the inner IUnknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    marker::CCTovraPlayerCom* created = new (std::nothrow) marker::CCTovraPlayerCom(outer);
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT result = created->NonDelegatingQueryInterface(iid, object);
    created->NonDelegatingRelease();
    return result;
}

com::CClassFactory g_factory(CLSID_CCTovraPlayerCom, CreateMarker);

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    return com::ModuleMain(instance, reason, reserved);
}

STDAPI DllCanUnloadNow()
{
    return com::CanUnloadModule();
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    return g_factory.GetClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer()
{
    com::RegistrationLock lock;
    return marker::RegisterServer();
}

STDAPI DllUnregisterServer()
{
    com::RegistrationLock lock;
    return marker::UnregisterServer();
}
