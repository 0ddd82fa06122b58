#pragma once
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include "TovraPlayer_h.h"

namespace marker {

// The marker object: no methods and no properties, safe for scripting
// through IObjectSafety. It can be aggregated: its interfaces delegate
// IUnknown to the controlling unknown, and the inner unknown below answers
// for the object itself.
class CCTovraPlayerCom final : public ICTovraPlayerCom,
                               public IObjectSafety,
                               public IProvideClassInfo {
public:
    // outer: the aggregating object, or null. Starts with one reference on
    // the inner unknown.
    explicit CCTovraPlayerCom(IUnknown* outer);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** object);
    ULONG NonDelegatingAddRef();
    ULONG NonDelegatingRelease();

    // IUnknown, through the controlling unknown.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

    // IObjectSafety
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

    // IProvideClassInfo
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;

private:
    class InnerUnknown : public IUnknown {
    public:
        explicit InnerUnknown(CCTovraPlayerCom* owner) : owner_(owner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** object) override
        {
            return owner_->NonDelegatingQueryInterface(iid, object);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return owner_->NonDelegatingAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return owner_->NonDelegatingRelease(); }

    private:
        CCTovraPlayerCom* owner_;
    };

    ~CCTovraPlayerCom();
    CCTovraPlayerCom(const CCTovraPlayerCom&) = delete;
    CCTovraPlayerCom& operator=(const CCTovraPlayerCom&) = delete;

    volatile LONG refs_ = 1;
    InnerUnknown inner_;
    IUnknown* controlling_;  // the outer object, or inner_
    CRITICAL_SECTION lock_;  // guards safety_ and classInfo_
    DWORD safety_ = 0;
    ITypeInfo* classInfo_ = nullptr;  // loaded on first use, kept
};

}  // namespace marker
