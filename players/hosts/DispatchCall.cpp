#include "players/hosts/DispatchCall.h"

#include <vector>

HRESULT DispatchInvoke(IDispatch* object, const wchar_t* name, WORD flags, const VARIANT* args,
                       UINT count, VARIANT* result)
{
    if (!object)
        return E_POINTER;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    // rgvarg holds the arguments last first.
    std::vector<VARIANT> reversed(args, args + count);
    for (UINT i = 0; i < count / 2; ++i)
        std::swap(reversed[i], reversed[count - 1 - i]);
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), nullptr, count, 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    VARIANT ignored;
    VariantInit(&ignored);
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                        result ? result : &ignored, nullptr, nullptr);
    VariantClear(&ignored);
    return hr;
}

HRESULT DispatchMethod(IDispatch* object, const wchar_t* name, VARIANT* result)
{
    return DispatchInvoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, 0, result);
}

HRESULT DispatchMethod(IDispatch* object, const wchar_t* name, const VARIANT& arg, VARIANT* result)
{
    return DispatchInvoke(object, name, DISPATCH_METHOD, &arg, 1, result);
}

HRESULT DispatchPut(IDispatch* object, const wchar_t* name, const VARIANT& value)
{
    return DispatchInvoke(object, name, DISPATCH_PROPERTYPUT, &value, 1, nullptr);
}

namespace {

HRESULT GetAs(IDispatch* object, const wchar_t* name, VARTYPE type, VARIANT* value)
{
    VARIANT raw;
    VariantInit(&raw);
    HRESULT hr = DispatchMethod(object, name, &raw);
    if (SUCCEEDED(hr))
        hr = VariantChangeType(value, &raw, 0, type);
    VariantClear(&raw);
    return hr;
}

}  // namespace

HRESULT DispatchGetLong(IDispatch* object, const wchar_t* name, long* value)
{
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = GetAs(object, name, VT_I4, &v);
    if (SUCCEEDED(hr))
        *value = v.lVal;
    return hr;
}

HRESULT DispatchGetDouble(IDispatch* object, const wchar_t* name, double* value)
{
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = GetAs(object, name, VT_R8, &v);
    if (SUCCEEDED(hr))
        *value = v.dblVal;
    return hr;
}

HRESULT DispatchGetBool(IDispatch* object, const wchar_t* name, VARIANT_BOOL* value)
{
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = GetAs(object, name, VT_BOOL, &v);
    if (SUCCEEDED(hr))
        *value = v.boolVal;
    return hr;
}

HRESULT DispatchGetText(IDispatch* object, const wchar_t* name, BSTR* value)
{
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = GetAs(object, name, VT_BSTR, &v);
    if (SUCCEEDED(hr))
        *value = v.bstrVal;   // handed over to the caller
    return hr;
}

HRESULT DispatchGetObject(IDispatch* object, const wchar_t* name, IDispatch** value)
{
    VARIANT v;
    VariantInit(&v);
    HRESULT hr = GetAs(object, name, VT_DISPATCH, &v);
    if (SUCCEEDED(hr)) {
        if (!v.pdispVal)
            return E_POINTER;
        *value = v.pdispVal;   // the reference is handed over
    }
    return hr;
}

VARIANT LongArg(long value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT BoolArg(bool value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT TextArg(BSTR value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = value;
    return v;
}
