#pragma once
// Public interface of TovraUpdate.dll: download one URL into a file on a
// worker thread, with a progress callback after every block.
#include <windows.h>

extern "C" {

// Called on the worker thread after every block written. percent is
// received / contentLength * 100, truncated; 0 while the length is unknown.
// Every download that completes ends with exactly one call at 100.
typedef int(WINAPI* DownloadProgressCallback)(const wchar_t* url, const wchar_t* fileName,
                                              const wchar_t* directory, DWORD contentLength,
                                              int threadIndex, int percent, DWORD blockBytes,
                                              UINT_PTR user);

int WINAPI http_init();
void WINAPI http_exit();
// 1 started, 2 already listed, 0 failed. directory + fileName is the output.
int WINAPI http_start(const wchar_t* url, const wchar_t* fileName, const wchar_t* directory);
// 1 when the download was listed and is now stopped and removed, else 0.
int WINAPI http_stop(const wchar_t* url);
void WINAPI http_setcallback(DownloadProgressCallback callback, DWORD blockSize,
                             DWORD pollMs, UINT_PTR user);
}
