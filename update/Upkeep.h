#pragma once
// Public interface of upkeep.dll: brings a host program's installed
// components up to date from an update-information file. Every export runs on
// the caller's thread; only Update_StopUpdate may come from another thread.
#include <windows.h>

extern "C" {

// Called after every block written to a package file. localVersion is
// "%d.%d.%d.%d"; contentLength is the server's, written the total so far.
typedef int(WINAPI* UpdateSpeedCallback)(const wchar_t* package, const wchar_t* announcedVersion,
                                         const wchar_t* localVersion, int type, int contentLength,
                                         int written, UINT_PTR user);

int WINAPI Update_Init(const wchar_t* baseUrl, const wchar_t* infoName, const wchar_t* mainProgram);
int WINAPI Update_InitEx(const wchar_t* baseUrl, const wchar_t* infoName,
                         const wchar_t* mainProgram);
int WINAPI Update_Exit();
int WINAPI Update_CompNeedUpdate(BYTE* pending);
int WINAPI Update_CheckUpdateInfo();
int WINAPI Update_GetUpdateType();
int WINAPI Update_StartUpdate();
void WINAPI Update_StopUpdate();
int WINAPI Update_DecompressionFile();
int WINAPI Update_ExecuteMainProc();
void WINAPI Update_SetUpdateSpeedCB(UpdateSpeedCallback callback, UINT_PTR user);
}
