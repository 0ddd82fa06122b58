#pragma once
// What the upkeep tests share: the library loaded as a host loads it, the
// host directory (the test program's own folder) and the package record.
#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/TestFiles.h"
#include "update/Upkeep.h"

struct UpkeepApi {
    HMODULE module = nullptr;
    decltype(&Update_Init) init = nullptr;
    decltype(&Update_InitEx) initEx = nullptr;
    decltype(&Update_Exit) exit = nullptr;
    decltype(&Update_CompNeedUpdate) compNeedUpdate = nullptr;
    decltype(&Update_CheckUpdateInfo) checkUpdateInfo = nullptr;
    decltype(&Update_GetUpdateType) getUpdateType = nullptr;
    decltype(&Update_StartUpdate) startUpdate = nullptr;
    decltype(&Update_StopUpdate) stopUpdate = nullptr;
    decltype(&Update_DecompressionFile) decompressionFile = nullptr;
    decltype(&Update_ExecuteMainProc) executeMainProc = nullptr;
    decltype(&Update_SetUpdateSpeedCB) setUpdateSpeedCB = nullptr;

    // Loads the library and resolves every export by its plain name; false
    // when any is missing.
    bool Load(const wchar_t* path);
};

// The folder of the test program, with its trailing backslash: the library
// takes the host's folder from the process's executable.
std::wstring HostDir();


// The record of tests/update/TestPackage.cpp: every run of a package or main
// program appends its command line. Start sets the environment the packages
// inherit and empties the record.
class PackageRecord {
public:
    void Start();
    std::vector<std::string> Lines() const;
    // Waits, with a bound, until the record holds this many runs: a program
    // started without waiting (the main program) records its run later.
    bool WaitForRuns(size_t count);
    ~PackageRecord();

private:
    std::wstring path_;
    HANDLE ran_ = nullptr;
};

std::string Utf8(const std::wstring& text);
