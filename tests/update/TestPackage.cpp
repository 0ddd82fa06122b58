// A stand-in for an update package or a host's main program: it records
// that it ran by appending its command line (UTF-8) and a line feed to the
// file named by TOVRA_PKG_LOG, then sets the event named by TOVRA_PKG_EVENT.
// A windows program, as installers are: started without a console, it makes
// Wine start no console host either.
#include <windows.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void Record(const std::wstring& log)
{
    const wchar_t* command = GetCommandLineW();
    int size = WideCharToMultiByte(CP_UTF8, 0, command, -1, nullptr, 0, nullptr, nullptr);
    std::string line(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, command, -1, &line[0], size, nullptr, nullptr);
    line.back() = '\n';
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::wstring log = Variable(L"TOVRA_PKG_LOG");
    if (!log.empty())
        Record(log);
    std::wstring eventName = Variable(L"TOVRA_PKG_EVENT");
    if (!eventName.empty()) {
        HANDLE ran = OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str());
        SetEvent(ran);
        CloseHandle(ran);
    }
    return 0;
}
