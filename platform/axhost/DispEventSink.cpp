#include "platform/axhost/DispEventSink.h"

#include <olectl.h>

namespace axhost {

namespace {

// A copy of the argument in the wanted type; VT_EMPTY when it does not convert.
VARIANT Converted(const VARIANT& argument, VARTYPE type)
{
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, const_cast<VARIANT*>(&argument), 0, type)))
        VariantInit(&out);
    return out;
}

// The default source of a class's type information.
bool SourceFromClassInfo(ITypeInfo* info, IID* events)
{
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes)))
        return false;
    bool found = false;
    for (UINT i = 0; i < attributes->cImplTypes && !found; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ITypeInfo* source = nullptr;
        if (FAILED(info->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
                (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(info->GetRefTypeOfImplType(i, &reference)) ||
            FAILED(info->GetRefTypeInfo(reference, &source)))
            continue;
        TYPEATTR* sourceAttributes = nullptr;
        if (SUCCEEDED(source->GetTypeAttr(&sourceAttributes))) {
            *events = sourceAttributes->guid;
            found = true;
            source->ReleaseTypeAttr(sourceAttributes);
        }
        source->Release();
    }
    info->ReleaseTypeAttr(attributes);
    return found;
}

}  // namespace

long EventArgs::Long(UINT index, long fallback) const
{
    VARIANT value = Converted((*this)[index], VT_I4);
    return value.vt == VT_I4 ? value.lVal : fallback;
}

double EventArgs::Double(UINT index, double fallback) const
{
    VARIANT value = Converted((*this)[index], VT_R8);
    return value.vt == VT_R8 ? value.dblVal : fallback;
}

std::wstring EventArgs::Text(UINT index) const
{
    VARIANT value = Converted((*this)[index], VT_BSTR);
    std::wstring text;
    if (value.vt == VT_BSTR && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

bool FindDefaultSource(IUnknown* control, IID* events)
{
    if (!control || !events)
        return false;
    IProvideClassInfo2* provider2 = nullptr;
    if (SUCCEEDED(control->QueryInterface(IID_IProvideClassInfo2,
                                          reinterpret_cast<void**>(&provider2)))) {
        HRESULT result = provider2->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, events);
        provider2->Release();
        if (SUCCEEDED(result))
            return true;
    }
    IProvideClassInfo* provider = nullptr;
    if (FAILED(control->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&provider))))
        return false;
    ITypeInfo* info = nullptr;
    bool found = SUCCEEDED(provider->GetClassInfo(&info)) && info && SourceFromClassInfo(info, events);
    if (info)
        info->Release();
    provider->Release();
    return found;
}

CDispEventSink::~CDispEventSink()
{
    DispEventUnadvise();
}

HRESULT CDispEventSink::DispEventAdvise(IUnknown* control)
{
    if (!control)
        return E_POINTER;
    if (point_)
        return CONNECT_E_ADVISELIMIT;
    IID events = events_;
    FindDefaultSource(control, &events);
    IConnectionPointContainer* container = nullptr;
    HRESULT result = control->QueryInterface(IID_IConnectionPointContainer,
                                             reinterpret_cast<void**>(&container));
    if (FAILED(result))
        return result;
    IConnectionPoint* point = nullptr;
    result = container->FindConnectionPoint(events, &point);
    container->Release();
    if (FAILED(result))
        return result;
    events_ = events;
    result = point->Advise(static_cast<IDispatch*>(this), &cookie_);
    if (FAILED(result)) {
        point->Release();
        return result;
    }
    point_ = point;
    return S_OK;
}

HRESULT CDispEventSink::DispEventUnadvise()
{
    if (!point_)
        return S_FALSE;
    IConnectionPoint* point = point_;
    point_ = nullptr;
    HRESULT result = point->Unadvise(cookie_);
    point->Release();
    cookie_ = 0;
    return result;
}

STDMETHODIMP CDispEventSink::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, events_)) {
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CDispEventSink::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CDispEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO*, UINT*)
{
    if (result)
        VariantInit(result);
    for (size_t i = 0; i < count_; ++i) {
        if (map_[i].id != id)
            continue;
        const UINT given = params ? params->cArgs : 0;
        if (given != map_[i].argCount || (given > 0 && !params->rgvarg))
            return S_OK;
        static DISPPARAMS none = {nullptr, nullptr, 0, 0};
        ++firing_;
        OnEvent(id, EventArgs(params ? *params : none));
        --firing_;
        return S_OK;
    }
    return S_OK;
}

}  // namespace axhost
