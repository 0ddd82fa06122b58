#include "tests/players/HostedControl.h"

#include "platform/axhost/AxHost.h"

IDispatch* HostedControl(CPlayerSelector& selector)
{
    HWND host = nullptr;
    IUnknown* control = nullptr;
    IDispatch* dispatch = nullptr;
    if (FAILED(selector.GetPlayerWindow(&host)) || FAILED(axhost::AxGetControl(host, &control)))
        return nullptr;
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    control->Release();
    return dispatch;
}

namespace {

struct Search {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK Look(HWND window, LPARAM param)
{
    auto search = reinterpret_cast<Search*>(param);
    wchar_t name[64];
    if (GetClassNameW(window, name, 64) && lstrcmpiW(name, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND HostedWindow(CPlayerSelector& selector, const wchar_t* className)
{
    HWND host = nullptr;
    if (FAILED(selector.GetPlayerWindow(&host)))
        return nullptr;
    Search search = {className, nullptr};
    EnumChildWindows(host, Look, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                   VARIANT* result)
{
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    if (SUCCEEDED(hr))
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                            nullptr);
    for (VARIANT& arg : reversed)
        VariantClear(&arg);
    return hr;
}

VARIANT LongValue(long value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT TextValue(const wchar_t* text)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
    return v;
}

POINT CentreOf(HWND window)
{
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}
