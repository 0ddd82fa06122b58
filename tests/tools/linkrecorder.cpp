// linkrecorder: stands in for the browser when a test opens a link.
//
// Tests copy it over the prefix's iexplore.exe (see tests/common/LinkRecorder.h):
// Wine's own browser stub is found first by ShellExecute and never exits
// without a browser engine. This one appends its command line, as UTF-8 and
// one line per launch, to the file named by TOVRA_LINK_LOG, then releases
// the semaphore named by TOVRA_LINK_SEMAPHORE once, and exits.
#include <windows.h>

#include <string>

namespace {

std::wstring Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(value, n) : std::wstring();
}

std::string Utf8(const std::wstring& text)
{
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string bytes(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n, nullptr,
                            nullptr);
    return bytes;
}

}  // namespace

int main()
{
    const std::wstring log = Variable(L"TOVRA_LINK_LOG");
    if (log.empty())
        return 2;
    std::wstring line = GetCommandLineW();
    // One launch per line: a line break inside the command line stays visible.
    for (wchar_t& c : line)
        if (c == L'\r' || c == L'\n')
            c = L'\x2424';
    const std::string bytes = Utf8(line) + "\n";
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size())
        return 4;
    const std::wstring name = Variable(L"TOVRA_LINK_SEMAPHORE");
    if (!name.empty()) {
        HANDLE semaphore = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, name.c_str());
        if (semaphore) {
            ReleaseSemaphore(semaphore, 1, nullptr);
            CloseHandle(semaphore);
        }
    }
    return 0;
}
