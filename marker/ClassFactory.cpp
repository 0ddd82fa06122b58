#include "marker/ClassFactory.h"

#include <new>

#include "marker/CCTovraPlayerCom.h"
#include "marker/Module.h"
#include "TovraPlayer_h.h"

namespace marker {

namespace {

// One static factory for the life of the module; its references are module
// locks, so DllCanUnloadNow answers S_FALSE while a client holds it.
class ClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    STDMETHODIMP_(ULONG) AddRef() override
    {
        LockModule();
        return 2;
    }

    STDMETHODIMP_(ULONG) Release() override
    {
        UnlockModule();
        return 1;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        // An aggregating client must ask for the inner IUnknown.
        if (outer && !IsEqualIID(iid, IID_IUnknown))
            return CLASS_E_NOAGGREGATION;
        CCTovraPlayerCom* created = new (std::nothrow) CCTovraPlayerCom(outer);
        if (!created)
            return E_OUTOFMEMORY;
        HRESULT result = created->NonDelegatingQueryInterface(iid, object);
        created->NonDelegatingRelease();
        return result;
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }
};

ClassFactory g_factory;

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_CCTovraPlayerCom))
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

}  // namespace marker
