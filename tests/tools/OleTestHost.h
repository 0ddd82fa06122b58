#pragma once
// An OLE container of the tests, for the control: a property bag of page
// texts, an event sink that records PlayStateChanged, the client and in-place
// site over a window of the test's (with the page's top-level browser when
// the test gives one), and calls by DISPID.
#include <windows.h>
#include <servprov.h>
#include <shlguid.h>
#include <ocidl.h>
#include <oleidl.h>
#include <olectl.h>

#include <map>
#include <string>
#include <vector>

namespace olehost {

// A page's parameters: every value is a BSTR, as a browser hands them over.
class TextBag : public IPropertyBag {
public:
    std::map<std::wstring, std::wstring> values;
    std::vector<std::wstring> reads;  // the names asked for, in order

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyBag)) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        reads.push_back(name);
        auto found = values.find(name);
        if (found == values.end())
            return E_INVALIDARG;
        VariantClear(value);
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(found->second.c_str());
        return S_OK;
    }
    STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override
    {
        VARIANT text;
        VariantInit(&text);
        if (SUCCEEDED(VariantChangeType(&text, value, 0, VT_BSTR)))
            values[name] = text.bstrVal ? text.bstrVal : L"";
        VariantClear(&text);
        return S_OK;
    }
};

// Records each PlayStateChanged; answers with the given result.
class EventSink : public IDispatch {
public:
    explicit EventSink(HRESULT answer = S_OK) : answer_(answer) {}
    std::vector<VARIANT> calls;  // the argument of each call (VT_I4 expected)
    std::vector<DISPID> ids;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                        UINT*) override
    {
        ids.push_back(id);
        calls.push_back(params && params->cArgs == 1 ? params->rgvarg[0] : VARIANT{});
        return answer_;
    }
    ULONG refs = 1;

private:
    HRESULT answer_;
};

inline HRESULT Get(IDispatch* object, DISPID id, VARIANT& value)
{
    VariantInit(&value);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
}

inline HRESULT Put(IDispatch* object, DISPID id, VARIANT value)
{
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&value, &named, 1, 1};
    return object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr);
}

inline HRESULT PutText(IDispatch* object, DISPID id, const wchar_t* text)
{
    VARIANT value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(text);
    HRESULT result = Put(object, id, value);
    VariantClear(&value);
    return result;
}

// A property read as text: strings as they are, numbers and booleans in
// decimal (a boolean as its 16-bit value), "<error>" when the get fails.
inline std::wstring GetText(IDispatch* object, DISPID id)
{
    VARIANT value;
    if (FAILED(Get(object, id, value)))
        return L"<error>";
    std::wstring out = L"<type " + std::to_wstring(value.vt) + L">";
    if (value.vt == VT_BSTR)
        out = value.bstrVal ? value.bstrVal : L"<null>";
    else if (value.vt == VT_BOOL)
        out = std::to_wstring(value.boolVal);
    else if (value.vt == VT_UI4)
        out = std::to_wstring(value.ulVal);
    else if (value.vt == VT_I4)
        out = std::to_wstring(value.lVal);
    VariantClear(&value);
    return out;
}

// A container's site for one control: the client site and the in-place site
// over a window of the test's, recording the activation calls it receives.
// With a top-level browser set (the test keeps its reference), the site is
// also the service provider that hands it out.
class TestSite : public IOleClientSite, public IOleInPlaceSite, public IDispatch,
                 public IServiceProvider {
public:
    explicit TestSite(HWND window) : window_(window) {}
    std::vector<std::string> calls;
    IUnknown* topBrowser = nullptr;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
            *object = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
            *object = static_cast<IOleInPlaceSite*>(this);
        else if (IsEqualIID(iid, IID_IDispatch))
            *object = static_cast<IDispatch*>(this);
        else if (IsEqualIID(iid, IID_IServiceProvider) && topBrowser)
            *object = static_cast<IServiceProvider*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override
    {
        *window = window_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override
    {
        calls.push_back("CanInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnInPlaceActivate() override
    {
        calls.push_back("OnInPlaceActivate");
        return S_OK;
    }
    STDMETHODIMP OnUIActivate() override
    {
        calls.push_back("OnUIActivate");
        return S_OK;
    }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO) override
    {
        *frame = nullptr;
        *document = nullptr;
        SetRect(position, 0, 0, 480, 60);
        SetRect(clip, 0, 0, 480, 60);
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override
    {
        calls.push_back("OnUIDeactivate");
        return S_OK;
    }
    STDMETHODIMP OnInPlaceDeactivate() override
    {
        calls.push_back("OnInPlaceDeactivate");
        return S_OK;
    }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // The ambient properties: the control runs in a page (user mode).
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override
    {
        if (id != DISPID_AMBIENT_USERMODE || !result)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
    }

    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** object) override
    {
        *object = nullptr;
        if (!topBrowser || !IsEqualGUID(service, SID_STopLevelBrowser))
            return E_NOINTERFACE;
        return topBrowser->QueryInterface(iid, object);
    }

    ULONG refs = 1;

private:
    HWND window_;
};

}  // namespace olehost
