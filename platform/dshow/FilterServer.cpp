#include "platform/dshow/FilterServer.h"

#include <string>

#include <olectl.h>

#include "platform/dshow/Filter.h"

namespace {

class CFilterFactory : public IClassFactory {
public:
    explicit CFilterFactory(const FilterClass& filterClass) : m_class(filterClass)
    {
        InterlockedIncrement(&g_filterModuleLocks);
    }
    virtual ~CFilterFactory() { InterlockedDecrement(&g_filterModuleLocks); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return refs;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IBaseFilter* filter = m_class.create();
        if (!filter)
            return E_OUTOFMEMORY;
        HRESULT hr = filter->QueryInterface(iid, object);
        filter->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&g_filterModuleLocks);
        else
            InterlockedDecrement(&g_filterModuleLocks);
        return S_OK;
    }

private:
    volatile LONG m_refs = 1;
    const FilterClass& m_class;
};

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

std::wstring ClassKey(const CLSID& clsid)
{
    wchar_t text[40] = {};
    StringFromGUID2(clsid, text, 40);
    return std::wstring(L"CLSID\\") + text;
}

bool WriteServerKey(const FilterClass& filterClass)
{
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(ThisModule(), path, MAX_PATH))
        return false;
    std::wstring key = ClassKey(*filterClass.clsid);
    HKEY classKey = nullptr, serverKey = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &classKey, nullptr) != ERROR_SUCCESS)
        return false;
    RegSetValueExW(classKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(filterClass.name),
                   static_cast<DWORD>((wcslen(filterClass.name) + 1) * sizeof(wchar_t)));
    bool ok = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &serverKey, nullptr) == ERROR_SUCCESS;
    if (ok) {
        static const wchar_t kBoth[] = L"Both";
        RegSetValueExW(serverKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t)));
        RegSetValueExW(serverKey, L"ThreadingModel", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(kBoth), sizeof kBoth);
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return ok;
}

} // namespace

HRESULT FilterDllGetClassObject(const FilterClass* classes, int count, REFCLSID clsid,
                                REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    for (int i = 0; i < count; ++i) {
        if (IsEqualCLSID(clsid, *classes[i].clsid)) {
            auto* factory = new CFilterFactory(classes[i]);
            HRESULT hr = factory->QueryInterface(iid, object);
            factory->Release();
            return hr;
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT FilterDllCanUnloadNow()
{
    return g_filterModuleLocks == 0 ? S_OK : S_FALSE;
}

HRESULT FilterDllRegister(const FilterClass* classes, int count, bool registering)
{
    bool initialised = SUCCEEDED(CoInitialize(nullptr));
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    for (int i = 0; SUCCEEDED(hr) && i < count; ++i) {
        const FilterClass& filterClass = classes[i];
        if (registering) {
            if (!WriteServerKey(filterClass)) {
                hr = SELFREG_E_CLASS;
                break;
            }
            REGFILTER2 filter = {};
            filter.dwVersion = 2;
            filter.dwMerit = filterClass.merit;
            filter.cPins2 = filterClass.pinCount;
            filter.rgPins2 = filterClass.pins;
            hr = mapper->RegisterFilter(*filterClass.clsid, filterClass.name, nullptr,
                                        &CLSID_LegacyAmFilterCategory, nullptr, &filter);
        } else {
            mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *filterClass.clsid);
            std::wstring key = ClassKey(*filterClass.clsid);
            RegDeleteKeyW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str());
            RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
        }
    }
    if (mapper)
        mapper->Release();
    if (initialised)
        CoUninitialize();
    return hr;
}
