#include <windows.h>
#include <oleidl.h>

#include <gtest/gtest.h>

#include "vodctl_h.h"

// The library loads and unloads in a plain process: its entry point starts
// nothing and needs nothing from the host.
TEST(VodctlModule, LoadsAndUnloadsWithoutAHost)
{
    HMODULE module = LoadLibraryA(VODCTL_PATH);
    ASSERT_NE(module, nullptr) << "LoadLibrary failed: " << GetLastError();
    EXPECT_TRUE(FreeLibrary(module));
}

typedef HRESULT(WINAPI* GetClassObjectFunction)(REFCLSID, REFIID, void**);
typedef HRESULT(WINAPI* CanUnloadFunction)();

template <typename Function>
Function Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The control's class object, straight from the library as COM takes it:
// the library may unload only while no object, class object or lock is held.
TEST(VodctlModule, CanUnloadFollowsObjectsClassObjectsAndLocks)
{
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    HMODULE module = LoadLibraryA(VODCTL_PATH);
    ASSERT_NE(module, nullptr);
    auto getClassObject = Export<GetClassObjectFunction>(module, "DllGetClassObject");
    auto canUnload = Export<CanUnloadFunction>(module, "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_OK);

    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &refused), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(refused, nullptr);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(CLSID_CStreamView, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnload(), S_FALSE) << "the class object is held";

    IUnknown* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                                      reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ICStreamView2, reinterpret_cast<void**>(&object)),
              S_OK);
    IUnknown* second = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleObject, reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();

    const struct {
        IUnknown** released;
        bool lockHeld;
        HRESULT answer;
    } steps[] = {{&object, true, S_FALSE}, {&second, true, S_FALSE}, {nullptr, false, S_OK}};
    for (const auto& step : steps) {
        if (step.released) {
            EXPECT_EQ((*step.released)->Release(), 0u);
        } else {
            ASSERT_EQ(getClassObject(CLSID_CStreamView, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
                      S_OK);
            EXPECT_EQ(factory->LockServer(FALSE), S_OK);
            factory->Release();
        }
        EXPECT_EQ(canUnload(), step.answer);
    }
    FreeLibrary(module);
    CoUninitialize();
}
