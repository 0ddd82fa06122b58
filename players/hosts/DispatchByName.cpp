#include "players/hosts/DispatchByName.h"

#include <new>
#include <utility>

namespace dispatch {

namespace {

void ClearAll(std::vector<VARIANT>& args)
{
    for (VARIANT& arg : args)
        VariantClear(&arg);
}

// The control always gets somewhere to put an answer, wanted or not.
HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT>& args,
                 VARIANT* result)
{
    // rgvarg holds the arguments last first.
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), put ? &named : nullptr,
                         static_cast<UINT>(reversed.size()), put ? 1u : 0u};
    VARIANT ignored;
    VariantInit(&ignored);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                result ? result : &ignored, nullptr, nullptr);
    VariantClear(&ignored);
    ClearAll(args);
    return hr;
}

// The member read as `type` into *value, which is left empty on failure.
HRESULT ReadAs(IDispatch* object, const wchar_t* name, VARTYPE type, VARIANT* value)
{
    VARIANT raw;
    HRESULT hr = CallOrGet(object, name, &raw);
    VariantInit(value);
    if (SUCCEEDED(hr))
        hr = VariantChangeType(value, &raw, 0, type);
    VariantClear(&raw);
    return hr;
}

}  // namespace

HRESULT IdOf(IDispatch* object, const wchar_t* name, DISPID* id)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT Invoke(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
               VARIANT* result)
{
    if (result)
        VariantInit(result);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object ? IdOf(object, name, &id) : E_POINTER;
    if (FAILED(hr)) {
        ClearAll(args);
        return hr;
    }
    return InvokeId(object, id, flags, args, result);
}

HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result)
{
    return Invoke(object, name, DISPATCH_METHOD, std::move(args), result);
}

HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value)
{
    return Invoke(object, name, DISPATCH_PROPERTYPUT, {value});
}

HRESULT Get(IDispatch* object, const wchar_t* name, VARIANT* result)
{
    return Invoke(object, name, DISPATCH_PROPERTYGET, {}, result);
}

HRESULT CallOrGet(IDispatch* object, const wchar_t* name, VARIANT* result)
{
    return Invoke(object, name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, result);
}

HRESULT ReadLong(IDispatch* object, const wchar_t* name, long* value)
{
    VARIANT v;
    HRESULT hr = ReadAs(object, name, VT_I4, &v);
    if (SUCCEEDED(hr))
        *value = v.lVal;
    return hr;
}

HRESULT ReadDouble(IDispatch* object, const wchar_t* name, double* value)
{
    VARIANT v;
    HRESULT hr = ReadAs(object, name, VT_R8, &v);
    if (SUCCEEDED(hr))
        *value = v.dblVal;
    return hr;
}

HRESULT ReadBool(IDispatch* object, const wchar_t* name, VARIANT_BOOL* value)
{
    VARIANT v;
    HRESULT hr = ReadAs(object, name, VT_BOOL, &v);
    if (SUCCEEDED(hr))
        *value = v.boolVal;
    return hr;
}

HRESULT ReadText(IDispatch* object, const wchar_t* name, BSTR* value)
{
    VARIANT v;
    HRESULT hr = ReadAs(object, name, VT_BSTR, &v);
    if (SUCCEEDED(hr))
        *value = v.bstrVal;   // handed over to the caller
    return hr;
}

HRESULT ReadObject(IDispatch* object, const wchar_t* name, IDispatch** value)
{
    VARIANT v;
    HRESULT hr = ReadAs(object, name, VT_DISPATCH, &v);
    if (SUCCEEDED(hr)) {
        if (!v.pdispVal)
            return E_POINTER;
        *value = v.pdispVal;   // the reference is handed over
    }
    return hr;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text ? text : L"");
    if (!value.bstrVal)
        throw std::bad_alloc();
    return value;
}

VARIANT Long(long number)
{
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

VARIANT Double(double number)
{
    VARIANT value;
    value.vt = VT_R8;
    value.dblVal = number;
    return value;
}

VARIANT Bool(bool flag)
{
    VARIANT value;
    value.vt = VT_BOOL;
    value.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

bool TakeLong(VARIANT& value, long* out)
{
    bool ok = SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4));
    if (ok)
        *out = value.lVal;
    VariantClear(&value);
    return ok;
}

bool TakeText(VARIANT& value, std::wstring* out)
{
    bool ok = SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR));
    if (ok)
        out->assign(value.bstrVal ? value.bstrVal : L"", value.bstrVal ? SysStringLen(value.bstrVal) : 0);
    VariantClear(&value);
    return ok;
}

}  // namespace dispatch
