// The "AtlAxWin71" host class beside another component's global class of the
// same name, registered first and in use: each keeps its own. A process of
// its own, so the other component is there before the first host is made.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>

#include "platform/axhost/AxHost.h"
#include "tests/platform/StandinSupport.h"
#include "tests/platform/foreign/ForeignHostClass.h"

namespace {

const wchar_t kProbeText[] = L"{7A0C3E51-4B2D-4F7E-9C11-5D2A6B8E0F31}";

template <class Fn>
Fn Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool HostsAControl(HWND window)
{
    IUnknown* control = nullptr;
    if (FAILED(axhost::AxGetControl(window, &control)))
        return false;
    control->Release();
    return true;
}

TEST(ForeignHostClassTest, AnotherComponentsClassStaysTheirsAndOurHostsStillWork)
{
    ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
    ASSERT_TRUE(RegisterStandins());
    HMODULE foreign = LoadLibraryW(FOREIGN_CLASS_PATH);
    ASSERT_NE(nullptr, foreign);
    auto registerClass = Export<ForeignRegisterClassFn>(foreign, "ForeignRegisterClass");
    auto createWindow = Export<ForeignCreateWindowFn>(foreign, "ForeignCreateWindow");
    ASSERT_TRUE(registerClass && createWindow);
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);

    // Theirs first, with a window of it alive.
    ASSERT_EQ(1, registerClass());
    HWND theirs = createWindow(parent);
    ASSERT_NE(nullptr, theirs);

    // Ours: made, and hosting, twice over (nothing is decided once for all).
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(axhost::AxWinInit()) << round;
        HWND ours = CreateWindowExW(0, axhost::kHostClassName, kProbeText, WS_CHILD | WS_VISIBLE, 0, 0,
                                    320, 240, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(nullptr, ours) << round;
        EXPECT_TRUE(HostsAControl(ours)) << round;
        EXPECT_NE(kForeignAnswer, SendMessageW(ours, kForeignQuery, 0, 0)) << round;
        DestroyWindow(ours);
    }

    // Theirs is no host of ours, keeps working, and still makes new windows.
    IUnknown* site = nullptr;
    EXPECT_EQ(E_FAIL, axhost::AxGetHost(theirs, &site));
    EXPECT_EQ(kForeignAnswer, SendMessageW(theirs, kForeignQuery, 0, 0));
    HWND another = createWindow(parent);
    ASSERT_NE(nullptr, another);
    EXPECT_EQ(kForeignAnswer, SendMessageW(another, kForeignQuery, 0, 0));
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExW(foreign, axhost::kHostClassName, &info));
    EXPECT_EQ(foreign, info.hInstance);

    DestroyWindow(parent);
    OleUninitialize();
}

}  // namespace
