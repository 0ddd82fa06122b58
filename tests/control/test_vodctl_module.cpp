#include <windows.h>
#include <gtest/gtest.h>

// The library loads and unloads in a plain process: its entry point starts
// nothing and needs nothing from the host.
TEST(VodctlModule, LoadsAndUnloadsWithoutAHost)
{
    HMODULE module = LoadLibraryA(VODCTL_PATH);
    ASSERT_NE(module, nullptr) << "LoadLibrary failed: " << GetLastError();
    EXPECT_TRUE(FreeLibrary(module));
}
