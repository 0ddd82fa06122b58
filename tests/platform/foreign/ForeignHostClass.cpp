#include "tests/platform/foreign/ForeignHostClass.h"

namespace {

HINSTANCE g_module = nullptr;

LRESULT CALLBACK ForeignProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kForeignQuery)
        return kForeignAnswer;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        g_module = module;
    return TRUE;
}

extern "C" __declspec(dllexport) int ForeignRegisterClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_GLOBALCLASS;
    wc.lpfnWndProc = ForeignProc;
    wc.hInstance = g_module;
    wc.lpszClassName = L"AtlAxWin71";
    return RegisterClassExW(&wc) != 0;
}

extern "C" __declspec(dllexport) HWND ForeignCreateWindow(HWND parent)
{
    return CreateWindowExW(0, L"AtlAxWin71", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent,
                           nullptr, g_module, nullptr);
}
