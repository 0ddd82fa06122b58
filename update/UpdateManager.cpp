#include "update/UpdateManager.h"

#include "common/text/FixedText.h"

#include <shellapi.h>
#include <stdio.h>
#include <wininet.h>

#include <string>
#include <vector>

namespace {

// The information file as the check and the package runs delete it: by this
// literal name, whatever name the host gave.
const wchar_t kInfoFileName[] = L"update.ini";
const DWORD kConnectTimeoutMs = 5000;
const DWORD kBlockBytes = 256;
const DWORD kSettleMs = 500;
// Lines times line length, plus the last line's end: anything longer
// cannot be a valid information file.
const DWORD kMaxInfoFileBytes = upkeep::kMaxInfoLines * upkeep::kMaxInfoLineBytes + 2;

// Copies what fits; the rest of a too long text is dropped.
template <size_t N>
void CopyTruncated(wchar_t (&to)[N], const std::wstring& from)
{
    size_t length = from.size() < N ? from.size() : N - 1;
    wmemcpy(to, from.data(), length);
    to[length] = L'\0';
}

class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
    ~InternetHandle()
    {
        if (handle_)
            InternetCloseHandle(handle_);
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_; }

private:
    HINTERNET handle_;
};

// The host runs from the host part up to the next "/" (a port given after
// a colon stays in it); the path keeps its query.
bool SplitUrl(const std::wstring& url, std::wstring& host, std::wstring& path)
{
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts) || !parts.lpszHostName)
        return false;
    host = parts.lpszHostName;
    host = host.substr(0, host.find(L'/'));
    if (parts.lpszUrlPath)
        path.assign(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    else
        path.clear();
    return true;
}

// A Content-Length of decimal digits that fits the callback's int.
bool ParseContentLength(const wchar_t* text, int& length)
{
    if (!*text)
        return false;
    long long value = 0;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9')
            return false;
        value = value * 10 + (*text - L'0');
        if (value > 0x7FFFFFFF)
            return false;
    }
    length = static_cast<int>(value);
    return true;
}

bool ReadVersionResource(const wchar_t* path, upkeep::LocalVersion& version)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return false;
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!GetFileVersionInfoW(path, 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
        infoSize < sizeof *info)
        return false;
    version.part[0] = HIWORD(info->dwFileVersionMS);
    version.part[1] = LOWORD(info->dwFileVersionMS);
    version.part[2] = HIWORD(info->dwFileVersionLS);
    version.part[3] = LOWORD(info->dwFileVersionLS);
    return true;
}

bool ReadSmallFile(const std::wstring& path, std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.resize(kMaxInfoFileBytes + 1);
    DWORD got = 0;
    bool ok = ReadFile(file, &bytes[0], kMaxInfoFileBytes + 1, &got, nullptr) && got <= kMaxInfoFileBytes;
    CloseHandle(file);
    bytes.resize(got);
    return ok;
}

}  // namespace

UpdateManager::UpdateManager()
{
    Reset();
}

void UpdateManager::Reset()
{
    hostDir_[0] = mainProgram_[0] = baseUrl_[0] = infoName_[0] = L'\0';
    ClearEntries();
    callback_ = nullptr;
    user_ = 0;
    running_ = 1;
}

bool UpdateManager::SetPaths(const wchar_t* baseUrl, const wchar_t* infoName,
                             const wchar_t* mainProgram)
{
    if (!baseUrl || !infoName || !*baseUrl || !*infoName)
        return false;
    if (!mainProgram)
        mainProgram = L"";
    // A text that does not fit is refused whole, never cut into another URL
    // or path.
    if (wcslen(baseUrl) >= kTextChars || wcslen(infoName) >= kTextChars ||
        wcslen(mainProgram) >= kTextChars)
        return false;
    CopyText(baseUrl_, baseUrl);
    CopyText(infoName_, infoName);
    CopyText(mainProgram_, mainProgram);

    DWORD length = GetModuleFileNameW(nullptr, hostDir_, kTextChars);
    wchar_t* slash = length && length < kTextChars ? wcsrchr(hostDir_, L'\\') : nullptr;
    if (!slash) {
        hostDir_[0] = L'\0';
        return false;
    }
    slash[1] = L'\0';
    return true;
}

bool UpdateManager::DownloadInfoFile()
{
    // A stop that ended an earlier package download does not refuse a new
    // update.
    InterlockedExchange(&running_, 1);
    return DownloadFile(infoName_, infoName_, nullptr);
}

// Downloads base URL + urlName into host directory + localName. Only a whole
// body of a 2xx answer with its announced length counts: anything else
// fails and removes the partial file, so a broken package is never run.
bool UpdateManager::DownloadFile(const wchar_t* urlName, const wchar_t* localName,
                                 const UpdateEntry* entry)
{
    std::wstring host, path;
    if (!SplitUrl(std::wstring(baseUrl_) + urlName, host, path))
        return false;

    InternetHandle session(InternetOpenW(L"WinHTTP", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.get())
        return false;
    DWORD timeout = kConnectTimeoutMs;
    InternetSetOptionW(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
    // The update server listens on port 80, whatever the URL says.
    InternetHandle connection(InternetConnectW(session.get(), host.c_str(), 80, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    InternetHandle request(connection.get()
                               ? HttpOpenRequestW(connection.get(), L"GET", path.c_str(), nullptr,
                                                  nullptr, nullptr, INTERNET_FLAG_NO_CACHE_WRITE, 0)
                               : nullptr);
    if (!request.get() || !HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0))
        return false;

    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                        &size, nullptr) ||
        status < 200 || status > 299)
        return false;
    wchar_t lengthText[32];
    size = sizeof lengthText;
    int length = 0;
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &size, nullptr) ||
        !ParseContentLength(lengthText, length))
        return false;

    std::wstring target = std::wstring(hostDir_) + localName;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool whole = Receive(request.get(), file, length, entry);
    CloseHandle(file);
    if (!whole)
        DeleteFileW(target.c_str());
    return whole;
}

bool UpdateManager::Receive(HINTERNET request, HANDLE file, int length, const UpdateEntry* entry)
{
    char block[kBlockBytes];
    int written = 0;
    while (written < length) {
        DWORD got = 0, put = 0;
        if (!running_ || !InternetReadFile(request, block, sizeof block, &got) || got == 0)
            return false;
        if (got > static_cast<DWORD>(length - written))
            return false;
        if (!WriteFile(file, block, got, &put, nullptr) || put != got)
            return false;
        written += static_cast<int>(got);
        if (entry)
            Report(*entry, length, written);
    }
    return true;
}

void UpdateManager::Report(const UpdateEntry& entry, int length, int written)
{
    if (!callback_)
        return;
    wchar_t local[48];
    const unsigned* part = entry.localVersion.part;
    swprintf(local, 48, L"%d.%d.%d.%d", static_cast<int>(part[0]), static_cast<int>(part[1]),
             static_cast<int>(part[2]), static_cast<int>(part[3]));
    callback_(entry.package, entry.version, local, entry.type, length, written, user_);
}

bool UpdateManager::ReadInfoFile()
{
    std::string bytes;
    std::vector<std::string> lines;
    if (!ReadSmallFile(std::wstring(hostDir_) + infoName_, bytes) ||
        !upkeep::SplitInfoLines(bytes, lines))
        return false;
    for (size_t k = 0; k < lines.size(); ++k) {
        if (!ParseLine(lines[k].c_str(), entries_[k]))
            return false;
    }
    return true;
}

bool UpdateManager::ParseLine(const char* line, UpdateEntry& entry)
{
    if (entry.used)
        return false;
    wchar_t wide[upkeep::kMaxInfoLineBytes];
    int length = MultiByteToWideChar(CP_ACP, 0, line, -1, wide, upkeep::kMaxInfoLineBytes);
    if (length == 0)
        return false;
    upkeep::InfoLine parsed = upkeep::ParseInfoLine(wide);
    CopyTruncated(entry.package, parsed.package);
    CopyTruncated(entry.localPath, parsed.localPath);
    CopyTruncated(entry.version, parsed.version);
    entry.type = parsed.type;
    entry.used = true;
    return true;
}

// Entry 0's file must have a version; any later file without one keeps
// 0.0.0.0 and the scan goes on, so the entries after it are still compared
// with what is really installed.
bool UpdateManager::ReadLocalVersions()
{
    for (int k = 0; k < kEntries && entries_[k].used; ++k) {
        if (!ReadVersionResource(entries_[k].localPath, entries_[k].localVersion) && k == 0)
            return false;
    }
    return true;
}

bool UpdateManager::CompareVersions()
{
    bool any = false;
    for (UpdateEntry& entry : entries_) {
        entry.update = upkeep::IsNewerVersion(entry.version, entry.localVersion);
        any = any || entry.update;
    }
    if (!any)
        DeleteFileW((std::wstring(hostDir_) + kInfoFileName).c_str());
    return any;
}

bool UpdateManager::HasPendingPackage()
{
    bool pending = false;
    if (ReadInfoFile()) {
        for (int k = 0; k < kEntries && entries_[k].used && !pending; ++k) {
            DWORD attributes = GetFileAttributesW((std::wstring(hostDir_) + entries_[k].package).c_str());
            pending = entries_[k].package[0] && attributes != INVALID_FILE_ATTRIBUTES &&
                      !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    ClearEntries();
    return pending;
}

void UpdateManager::DownloadPackages()
{
    InterlockedExchange(&running_, 1);
    for (int k = 0; k < kEntries && running_; ++k) {
        const UpdateEntry& entry = entries_[k];
        if (entry.update && !DownloadFile(entry.package, entry.package, &entry))
            break;
    }
}

bool UpdateManager::RunPackages()
{
    for (const UpdateEntry& entry : entries_) {
        if (!entry.update)
            continue;
        std::wstring package = std::wstring(hostDir_) + entry.package;
        // Quoted, so a host directory with spaces names the package and not
        // a program at its first word.
        std::wstring command = L"\"" + package + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process))
            return false;
        CloseHandle(process.hThread);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hProcess);
        // Lets the package's own handles on its file go before it is deleted.
        Sleep(kSettleMs);
        DeleteFileW(package.c_str());
        DeleteFileW((std::wstring(hostDir_) + kInfoFileName).c_str());
    }
    return true;
}

bool UpdateManager::ExecuteMainProgram()
{
    if (!mainProgram_[0])
        return true;
    std::wstring program = std::wstring(hostDir_) + mainProgram_;
    HINSTANCE result = ShellExecuteW(nullptr, L"Open", program.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool UpdateManager::AnyOfType2() const
{
    for (const UpdateEntry& entry : entries_)
        if (entry.type == 2)
            return true;
    return false;
}

void UpdateManager::ClearEntries()
{
    for (UpdateEntry& entry : entries_)
        entry = UpdateEntry();
}

void UpdateManager::SetCallback(UpdateSpeedCallback callback, UINT_PTR user)
{
    callback_ = callback;
    user_ = user;
}

void UpdateManager::Stop()
{
    InterlockedExchange(&running_, 0);
}
