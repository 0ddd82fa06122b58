#include <windows.h>

#include "update/UpdateManager.h"
#include "update/Upkeep.h"

namespace {
// Built when the library is loaded; it owns nothing to free.
UpdateManager g_manager;

UpdateManager& Manager()
{
    return g_manager;
}
}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        DisableThreadLibraryCalls(instance);
    return TRUE;
}

int WINAPI Update_Init(const wchar_t* baseUrl, const wchar_t* infoName, const wchar_t* mainProgram)
{
    return Manager().SetPaths(baseUrl, infoName, mainProgram) && Manager().DownloadInfoFile();
}

int WINAPI Update_InitEx(const wchar_t* baseUrl, const wchar_t* infoName, const wchar_t* mainProgram)
{
    return Manager().SetPaths(baseUrl, infoName, mainProgram);
}

int WINAPI Update_Exit()
{
    Manager().ClearEntries();
    return 1;
}

int WINAPI Update_CompNeedUpdate(BYTE* pending)
{
    if (!pending)
        return 0;
    *pending = Manager().HasPendingPackage() ? 1 : 0;
    return *pending || Manager().DownloadInfoFile();
}

int WINAPI Update_CheckUpdateInfo()
{
    return Manager().ReadInfoFile() && Manager().ReadLocalVersions() && Manager().CompareVersions();
}

int WINAPI Update_GetUpdateType()
{
    return Manager().AnyOfType2();
}

int WINAPI Update_StartUpdate()
{
    Manager().DownloadPackages();
    return 1;
}

void WINAPI Update_StopUpdate()
{
    Manager().Stop();
}

int WINAPI Update_DecompressionFile()
{
    return Manager().RunPackages();
}

int WINAPI Update_ExecuteMainProc()
{
    return Manager().ExecuteMainProgram();
}

void WINAPI Update_SetUpdateSpeedCB(UpdateSpeedCallback callback, UINT_PTR user)
{
    Manager().SetCallback(callback, user);
}
