#pragma once
#include <windows.h>
#include <objbase.h>

namespace com {

// Makes one object of a class: the answer of IClassFactory::CreateInstance.
typedef HRESULT (*CreateFunction)(IUnknown* outer, REFIID iid, void** object);

// The class object of one creatable class, a static for the life of the
// module. Its references are module locks, so DllCanUnloadNow answers S_FALSE
// while a client holds it.
class CClassFactory : public IClassFactory {
public:
    CClassFactory(REFCLSID clsid, CreateFunction create) : clsid_(clsid), create_(create) {}

    // DllGetClassObject's lookup: this factory's interface for its class.
    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    const CLSID& clsid_;
    CreateFunction create_;
};

}  // namespace com
