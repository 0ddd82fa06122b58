#pragma once
#include <windows.h>
#include <objbase.h>

// The emoticon picture class offered to this process only: TovraEmoticon.dll
// is loaded and its class object registered with COM for the apartment, so
// CoCreateInstance finds it while the prefix's registry stays untouched (a
// test that needs the class missing may run at the same time). The test's
// CMake entry defines TOVRA_EMOTICON_DLL (a Z: path) and depends on the DLL.
class EmoticonClassInProcess {
public:
    explicit EmoticonClassInProcess(const wchar_t* dll, REFCLSID clsid)
    {
        module_ = LoadLibraryW(dll);
        typedef HRESULT(WINAPI * GetClassObject)(REFCLSID, REFIID, void**);
        auto get = module_ ? reinterpret_cast<GetClassObject>(
                                 reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")))
                           : nullptr;
        IUnknown* factory = nullptr;
        if (get && SUCCEEDED(get(clsid, IID_IUnknown, reinterpret_cast<void**>(&factory)))) {
            registered_ = SUCCEEDED(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER,
                                                          REGCLS_MULTIPLEUSE, &cookie_));
            factory->Release();
        }
    }
    ~EmoticonClassInProcess()
    {
        if (registered_)
            CoRevokeClassObject(cookie_);
        // The module stays loaded: objects made from it may outlive this.
    }
    EmoticonClassInProcess(const EmoticonClassInProcess&) = delete;
    EmoticonClassInProcess& operator=(const EmoticonClassInProcess&) = delete;

    bool Registered() const { return registered_; }

private:
    HMODULE module_ = nullptr;
    DWORD cookie_ = 0;
    bool registered_ = false;
};
