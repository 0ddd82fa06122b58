#include "tests/update/UpkeepHost.h"

namespace {

template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const DWORD kRunWaitMs = 20000;

}  // namespace

bool UpkeepApi::Load(const wchar_t* path)
{
    module = LoadLibraryW(path);
    if (!module)
        return false;
    init = Resolve<decltype(init)>(module, "Update_Init");
    initEx = Resolve<decltype(initEx)>(module, "Update_InitEx");
    exit = Resolve<decltype(exit)>(module, "Update_Exit");
    compNeedUpdate = Resolve<decltype(compNeedUpdate)>(module, "Update_CompNeedUpdate");
    checkUpdateInfo = Resolve<decltype(checkUpdateInfo)>(module, "Update_CheckUpdateInfo");
    getUpdateType = Resolve<decltype(getUpdateType)>(module, "Update_GetUpdateType");
    startUpdate = Resolve<decltype(startUpdate)>(module, "Update_StartUpdate");
    stopUpdate = Resolve<decltype(stopUpdate)>(module, "Update_StopUpdate");
    decompressionFile = Resolve<decltype(decompressionFile)>(module, "Update_DecompressionFile");
    executeMainProc = Resolve<decltype(executeMainProc)>(module, "Update_ExecuteMainProc");
    setUpdateSpeedCB = Resolve<decltype(setUpdateSpeedCB)>(module, "Update_SetUpdateSpeedCB");
    return init && initEx && exit && compNeedUpdate && checkUpdateInfo && getUpdateType &&
           startUpdate && stopUpdate && decompressionFile && executeMainProc && setUpdateSpeedCB;
}

std::wstring HostDir()
{
    wchar_t exe[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dir(exe, length);
    return dir.substr(0, dir.rfind(L'\\') + 1);
}

std::string Utf8(const std::wstring& text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string out(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size,
                        nullptr, nullptr);
    return out;
}

void PackageRecord::Start()
{
    path_ = HostDir() + L"packages.log";
    DeleteFileW(path_.c_str());
    SetEnvironmentVariableW(L"TOVRA_PKG_LOG", path_.c_str());
    if (!ran_) {
        wchar_t name[64];
        wsprintfW(name, L"tovra-package-ran-%lu", GetCurrentProcessId());
        ran_ = CreateEventW(nullptr, FALSE, FALSE, name);
        SetEnvironmentVariableW(L"TOVRA_PKG_EVENT", name);
    }
    ResetEvent(ran_);
}

std::vector<std::string> PackageRecord::Lines() const
{
    std::string text = ReadBytes(path_);
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

bool PackageRecord::WaitForRuns(size_t count)
{
    // Every run sets the event after it wrote its line.
    DWORD start = GetTickCount();
    while (Lines().size() < count) {
        DWORD waited = GetTickCount() - start;
        if (waited >= kRunWaitMs || WaitForSingleObject(ran_, kRunWaitMs - waited) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

PackageRecord::~PackageRecord()
{
    if (ran_)
        CloseHandle(ran_);
}
