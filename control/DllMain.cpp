#include <windows.h>

// Loading the library starts nothing: no thread, window or engine exists
// until a host calls one of the exports.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}
