// Keeps the Wine desktop up for a whole test run.
//
// Wine ends its desktop a second after the last program with a window on it
// has gone, and a program that creates its first window meanwhile gets none.
// The test wrapper starts this program first in a fresh wineserver and waits
// for its "ready" line: from then on the desktop has a user until the
// wineserver is stopped.
#include <windows.h>

#include <cstdio>

int main()
{
    HWND window = nullptr;
    // The desktop may still be starting: try for up to ten seconds.
    for (int tries = 0; window == nullptr && tries < 100; ++tries) {
        window = CreateWindowExW(0, L"STATIC", L"desktop holder", WS_OVERLAPPED, 0, 0, 1, 1,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (window == nullptr) {
            Sleep(100);
        }
    }
    if (window == nullptr) {
        std::printf("failed %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    return 0;
}
