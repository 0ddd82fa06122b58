#include <windows.h>

#include "download/DownloadContext.h"
#include "download/TovraUpdate.h"

namespace {
DownloadContext g_context;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

int WINAPI http_init()
{
    return g_context.Init();
}

void WINAPI http_exit()
{
    g_context.Exit();
}

int WINAPI http_start(const wchar_t* url, const wchar_t* fileName, const wchar_t* directory)
{
    return g_context.Start(url, fileName, directory);
}

int WINAPI http_stop(const wchar_t* url)
{
    return g_context.Stop(url);
}

void WINAPI http_setcallback(DownloadProgressCallback callback, DWORD blockSize, DWORD pollMs,
                             UINT_PTR user)
{
    g_context.SetCallback(callback, blockSize, pollMs, user);
}
