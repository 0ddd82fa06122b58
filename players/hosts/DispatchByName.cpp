#include "players/hosts/DispatchByName.h"

#include <new>

namespace dispatch {

namespace {

HRESULT InvokeId(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT>& args,
                 VARIANT* result)
{
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(),
                         flags == DISPATCH_PROPERTYPUT ? &named : nullptr,
                         static_cast<UINT>(reversed.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    if (result)
        VariantInit(result);
    HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                                nullptr);
    for (VARIANT& arg : args)
        VariantClear(&arg);
    return hr;
}

HRESULT InvokeName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT>& args,
                   VARIANT* result)
{
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object ? IdOf(object, name, &id) : E_POINTER;
    if (FAILED(hr)) {
        for (VARIANT& arg : args)
            VariantClear(&arg);
        return hr;
    }
    return InvokeId(object, id, flags, args, result);
}

}  // namespace

HRESULT IdOf(IDispatch* object, const wchar_t* name, DISPID* id)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    return object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
}

HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result)
{
    return InvokeName(object, name, DISPATCH_METHOD, args, result);
}

HRESULT Put(IDispatch* object, const wchar_t* name, VARIANT value)
{
    std::vector<VARIANT> args(1, value);
    return InvokeName(object, name, DISPATCH_PROPERTYPUT, args, nullptr);
}

HRESULT Get(IDispatch* object, const wchar_t* name, VARIANT* result)
{
    std::vector<VARIANT> none;
    return InvokeName(object, name, DISPATCH_PROPERTYGET, none, result);
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
