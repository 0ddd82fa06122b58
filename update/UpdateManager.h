#pragma once
#include <windows.h>
#include <wininet.h>

#include "update/UpdateEntry.h"
#include "update/Upkeep.h"

// The library's one process-wide object. Everything runs on the caller's
// thread; Stop is the one call meant for another thread, and only clears the
// running flag that the download loop reads between blocks.
class UpdateManager {
public:
    enum { kEntries = 100, kTextChars = 256 };

    UpdateManager();

    void Reset();
    bool SetPaths(const wchar_t* baseUrl, const wchar_t* infoName, const wchar_t* mainProgram);
    bool DownloadInfoFile();
    bool ReadInfoFile();
    bool ReadLocalVersions();
    bool CompareVersions();
    bool HasPendingPackage();
    void DownloadPackages();
    bool RunPackages();
    bool ExecuteMainProgram();
    bool AnyOfType2() const;
    void ClearEntries();
    void SetCallback(UpdateSpeedCallback callback, UINT_PTR user);
    void Stop();

private:
    bool DownloadFile(const wchar_t* urlName, const wchar_t* localName, const UpdateEntry* entry);
    bool Receive(HINTERNET request, HANDLE file, int length, const UpdateEntry* entry);
    void Report(const UpdateEntry& entry, int length, int written);
    bool ParseLine(const char* line, UpdateEntry& entry);

    wchar_t hostDir_[kTextChars];      // with its trailing backslash
    wchar_t mainProgram_[kTextChars];  // relative to the host directory
    wchar_t baseUrl_[kTextChars];
    wchar_t infoName_[kTextChars];
    UpdateEntry entries_[kEntries];
    UpdateSpeedCallback callback_;
    UINT_PTR user_;
    volatile LONG running_;
};
