#include "tests/common/LinkRecorder.h"

#include <shellapi.h>

#include "tests/common/TestFiles.h"

namespace {

bool SameFile(const std::wstring& a, const std::wstring& b)
{
    bool existsA = false, existsB = false;
    const std::string bytesA = ReadBytes(a, &existsA), bytesB = ReadBytes(b, &existsB);
    return existsA && existsB && bytesA == bytesB;
}

// Wine prefers its own programs in the system folder: the prefix's overrides
// name the copy there as the one to run. (The environment's overrides are
// read from the Unix side at start, so setting them here would not reach a
// program this process starts.)
bool OverrideBrowser()
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    static const wchar_t kNative[] = L"native";
    const LONG result = RegSetValueExW(key, L"iexplore.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNative),
                                       sizeof kNative);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring Wide(const std::string& utf8)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(n > 0 ? n : 0, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], n);
    return text;
}

}  // namespace

LinkRecorder::~LinkRecorder()
{
    if (m_semaphore)
        CloseHandle(m_semaphore);
    if (!m_log.empty())
        DeleteFileW(m_log.c_str());
}

bool LinkRecorder::Install()
{
    wchar_t system[MAX_PATH];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        m_error = "no system folder";
        return false;
    }
    const std::wstring browser = std::wstring(system, n) + L"\\iexplore.exe";
    const std::wstring recorder = LINKRECORDER_PATH;
    // Tests of one prefix share the copy: replace it only when it differs,
    // through a file of this process's own so no one sees half a program.
    if (!SameFile(recorder, browser)) {
        const std::wstring staged = browser + L"." + std::to_wstring(GetCurrentProcessId());
        if (!CopyFileW(recorder.c_str(), staged.c_str(), FALSE) ||
            (!MoveFileExW(staged.c_str(), browser.c_str(), MOVEFILE_REPLACE_EXISTING) &&
             !SameFile(recorder, browser))) {
            DeleteFileW(staged.c_str());
            m_error = "cannot replace iexplore.exe: " + std::to_string(GetLastError());
            return false;
        }
    }
    wchar_t folder[MAX_PATH], file[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"lnk", 0, file)) {
        m_error = "no log file";
        return false;
    }
    m_log = file;
    const std::wstring name = L"TovraLinkRecorder." + std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(GetTickCount());
    m_semaphore = CreateSemaphoreW(nullptr, 0, 1000, name.c_str());
    if (!m_semaphore) {
        m_error = "no semaphore";
        return false;
    }
    SetEnvironmentVariableW(L"TOVRA_LINK_LOG", m_log.c_str());
    SetEnvironmentVariableW(L"TOVRA_LINK_SEMAPHORE", name.c_str());
    if (!OverrideBrowser()) {
        m_error = "cannot set the override";
        return false;
    }
    return true;
}

bool LinkRecorder::WaitForLaunches(size_t count, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (m_seen < count) {
        const DWORD spent = GetTickCount() - start;
        const DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
        if (WaitForSingleObject(m_semaphore, left) != WAIT_OBJECT_0)
            return false;
        ++m_seen;
    }
    return true;
}

std::vector<std::wstring> LinkRecorder::CommandLines() const
{
    std::vector<std::wstring> lines;
    const std::string bytes = ReadBytes(m_log);
    size_t begin = 0;
    for (size_t end; (end = bytes.find('\n', begin)) != std::string::npos; begin = end + 1)
        lines.push_back(Wide(bytes.substr(begin, end - begin)));
    return lines;
}

std::vector<std::wstring> LinkRecorder::Arguments(size_t i) const
{
    const std::vector<std::wstring> lines = CommandLines();
    std::vector<std::wstring> arguments;
    if (i >= lines.size())
        return arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(lines[i].c_str(), &count);
    if (!argv)
        return arguments;
    for (int a = 1; a < count; ++a)
        arguments.push_back(argv[a]);
    LocalFree(argv);
    return arguments;
}

SchemeToRecorder::SchemeToRecorder(const wchar_t* scheme)
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring command = L"\"" + std::wstring(system) + L"\\iexplore.exe\" \"%1\"";
    const std::wstring key = std::wstring(scheme) + L"\\shell\\open\\command";
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &m_key, nullptr) != ERROR_SUCCESS) {
        m_key = nullptr;
        return;
    }
    wchar_t old[1024] = {};
    DWORD size = sizeof old - sizeof(wchar_t);
    if (RegQueryValueExW(m_key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS)
        m_old = old;
    m_ok = Set(command);
}

SchemeToRecorder::~SchemeToRecorder()
{
    if (!m_key)
        return;
    if (m_old)
        Set(*m_old);
    else
        RegDeleteValueW(m_key, nullptr);
    RegCloseKey(m_key);
}

bool SchemeToRecorder::Set(const std::wstring& command)
{
    return RegSetValueExW(m_key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
