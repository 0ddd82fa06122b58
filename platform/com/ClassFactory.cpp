#include "platform/com/ClassFactory.h"

#include "platform/com/ComModule.h"

namespace com {

HRESULT CClassFactory::GetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, clsid_))
        return CLASS_E_CLASSNOTAVAILABLE;
    return QueryInterface(iid, object);
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** object)
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

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    LockModule();
    return 2;
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    UnlockModule();
    return 1;
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return create_(outer, iid, object);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}

}  // namespace com
