#include "marker/CCTovraPlayerCom.h"

#include "platform/com/ComModule.h"

namespace marker {

namespace {

const DWORD kSafeForScripting = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

}  // namespace

CCTovraPlayerCom::CCTovraPlayerCom(IUnknown* outer)
    : inner_(this), controlling_(outer ? outer : &inner_)
{
    InitializeCriticalSection(&lock_);
    com::LockModule();
}

CCTovraPlayerCom::~CCTovraPlayerCom()
{
    if (classInfo_)
        classInfo_->Release();
    DeleteCriticalSection(&lock_);
    com::UnlockModule();
}

HRESULT CCTovraPlayerCom::NonDelegatingQueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown))
        *object = static_cast<IUnknown*>(&inner_);
    else if (IsEqualIID(iid, IID_ICTovraPlayerCom) || IsEqualIID(iid, IID_IDispatch))
        *object = static_cast<ICTovraPlayerCom*>(this);
    else if (IsEqualIID(iid, IID_IObjectSafety))
        *object = static_cast<IObjectSafety*>(this);
    else if (IsEqualIID(iid, IID_IProvideClassInfo))
        *object = static_cast<IProvideClassInfo*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

ULONG CCTovraPlayerCom::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

ULONG CCTovraPlayerCom::NonDelegatingRelease()
{
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CCTovraPlayerCom::QueryInterface(REFIID iid, void** object)
{
    return controlling_->QueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CCTovraPlayerCom::AddRef()
{
    return controlling_->AddRef();
}

STDMETHODIMP_(ULONG) CCTovraPlayerCom::Release()
{
    return controlling_->Release();
}

STDMETHODIMP CCTovraPlayerCom::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    ITypeInfo* info = nullptr;
    *count = SUCCEEDED(com::ModuleTypeInfo(IID_ICTovraPlayerCom, &info)) ? 1 : 0;
    if (info)
        info->Release();
    return S_OK;
}

STDMETHODIMP CCTovraPlayerCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return com::ModuleTypeInfo(IID_ICTovraPlayerCom, info);
}

// The interface has no members: every name is unknown.
STDMETHODIMP CCTovraPlayerCom::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids)
{
    for (UINT i = 0; ids && i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CCTovraPlayerCom::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params,
                                      VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!params)
        return DISP_E_BADVARTYPE;
    if (params->cArgs > 0)
        return DISP_E_BADPARAMCOUNT;
    if (result)
        VariantInit(result);
    return DISP_E_MEMBERNOTFOUND;
}

STDMETHODIMP CCTovraPlayerCom::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                         DWORD* enabled)
{
    if (!supported || !enabled)
        return E_POINTER;
    IUnknown* answered = nullptr;
    HRESULT result = NonDelegatingQueryInterface(iid, reinterpret_cast<void**>(&answered));
    if (FAILED(result)) {
        *supported = *enabled = 0;
        return result;
    }
    answered->Release();
    EnterCriticalSection(&lock_);
    *supported = kSafeForScripting;
    *enabled = safety_;
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP CCTovraPlayerCom::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled)
{
    IUnknown* answered = nullptr;
    if (FAILED(NonDelegatingQueryInterface(iid, reinterpret_cast<void**>(&answered))))
        return E_NOINTERFACE;
    answered->Release();
    if (mask & ~kSafeForScripting)
        return E_FAIL;
    EnterCriticalSection(&lock_);
    safety_ = (safety_ & ~mask) | (mask & enabled);
    LeaveCriticalSection(&lock_);
    return S_OK;
}

STDMETHODIMP CCTovraPlayerCom::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    EnterCriticalSection(&lock_);
    HRESULT result = classInfo_ ? S_OK : com::ModuleTypeInfo(CLSID_CCTovraPlayerCom, &classInfo_);
    if (SUCCEEDED(result)) {
        classInfo_->AddRef();
        *info = classInfo_;
    }
    LeaveCriticalSection(&lock_);
    return result;
}

}  // namespace marker
