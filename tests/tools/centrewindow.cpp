// A window of another process over the centre of the screen, counting the
// left-button-downs it receives: for tests of what a program may click.
//
// Prints "ready" once the window is up; each "count" line on stdin answers
// "clicks N"; ends when stdin ends.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

volatile LONG g_clicks = 0;

LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDOWN)
        InterlockedIncrement(&g_clicks);
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI Answer(void* thread)
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "count", 5) == 0) {
            std::printf("clicks %ld\n", g_clicks);
            std::fflush(stdout);
        }
    }
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), WM_QUIT, 0, 0);
    return 0;
}

}  // namespace

int main()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TovraCentreWindow";
    RegisterClassW(&wc);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HWND window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                  width / 2 - 50, height / 2 - 50, 100, 100, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (!window) {
        std::printf("failed %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    CreateThread(nullptr, 0, Answer,
                 reinterpret_cast<void*>(static_cast<UINT_PTR>(GetCurrentThreadId())), 0, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
