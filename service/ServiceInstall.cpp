#include "service/ServiceInstall.h"

#include <shlwapi.h>

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "service/ServiceDebug.h"

namespace {

const wchar_t kGroupName[] = L"kxsvc";
const wchar_t kDisplayName[] = L"KXStreamViewServices";
const wchar_t kGroupKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const wchar_t kImagePath[] = L"%SystemRoot%\\System32\\svchost.exe -k kxsvc";
const DWORD kGroupValueMaxBytes = 2000;

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    HKEY* Out() { Close(); return &m_key; }
    HKEY Get() const { return m_key; }
    void Close()
    {
        if (m_key)
            RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

class ScHandle {
public:
    ScHandle() = default;
    ~ScHandle() { Close(); }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    void Reset(SC_HANDLE handle) { Close(); m_handle = handle; }
    SC_HANDLE Get() const { return m_handle; }
    void Close()
    {
        if (m_handle)
            CloseServiceHandle(m_handle);
        m_handle = nullptr;
    }

private:
    SC_HANDLE m_handle = nullptr;
};

const wchar_t* NameOrDefault(const wchar_t* name)
{
    return name && *name ? name : kGroupName;
}

// The registry calls hand their error back instead of setting the last
// error: the failure path reads the last error, so set it.
bool RegOk(LONG result)
{
    if (result == ERROR_SUCCESS)
        return true;
    SetLastError(static_cast<DWORD>(result));
    return false;
}

DWORD Fail(const wchar_t* text)
{
    DWORD error = GetLastError();
    ServiceDebugPrint(L"%ls error %d", text, static_cast<int>(error));
    return error;
}

std::wstring ServiceKeyPath(const wchar_t* name)
{
    return std::wstring(kServicesKey) + name;
}

// The entries of a REG_MULTI_SZ value.
std::vector<std::wstring> SplitMultiString(const wchar_t* text, size_t units)
{
    std::vector<std::wstring> entries;
    size_t at = 0;
    while (at < units && text[at]) {
        size_t end = at;
        while (end < units && text[end])
            ++end;
        entries.emplace_back(text + at, end - at);
        at = end + 1;
    }
    return entries;
}

// Step 1-2: the host's group value must list the service, or not exist yet.
bool CheckGroup(const wchar_t* name, const wchar_t*& failText)
{
    RegKey key;
    if (!RegOk(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupKey, 0, KEY_QUERY_VALUE, key.Out()))) {
        ServiceDebugPrint(L"RegOpenKeyEx(%ls) KEY_QUERY_VALUE error %d.", kGroupKey,
                          static_cast<int>(GetLastError()));
        failText = L"RegOpenKeyEx(kxsvc)";
        return false;
    }
    wchar_t value[kGroupValueMaxBytes / sizeof(wchar_t) + 2] = {};
    DWORD type = 0;
    DWORD bytes = kGroupValueMaxBytes;
    LONG read = RegQueryValueExW(key.Get(), kGroupName, nullptr, &type,
                                 reinterpret_cast<BYTE*>(value), &bytes);
    key.Close();

    if (read != ERROR_SUCCESS) {
        // The list holds the group's name, whichever service is installed.
        const wchar_t entry[] = L"kxsvc\0";
        if (!RegOk(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupKey, 0, KEY_SET_VALUE, key.Out())) ||
            !RegOk(RegSetValueExW(key.Get(), kGroupName, 0, REG_MULTI_SZ,
                                  reinterpret_cast<const BYTE*>(entry), sizeof entry))) {
            ServiceDebugPrint(L"RegSetValueEx");
            failText = L"RegSetValueEx kxsvc";
            return false;
        }
        return true;
    }

    std::vector<std::wstring> entries = SplitMultiString(value, bytes / sizeof(wchar_t));
    for (const std::wstring& entry : entries) {
        if (_wcsicmp(entry.c_str(), name) == 0)
            return true;
    }
    ServiceDebugPrint(L"you specify service name not in Svchost\\netsvcs, must be one of following:");
    for (const std::wstring& entry : entries)
        ServiceDebugPrint(L" - %ls", entry.c_str());
    // The last error stays whatever the registry left; make it say why.
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    failText = L"RegQueryValueEx()";
    return false;
}

// Step 4 for a service that exists: stop it when it runs (true: start it
// again at the end) and put its display name right.
bool PrepareExistingService(SC_HANDLE service)
{
    bool restart = false;
    SERVICE_STATUS status = {};
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        restart = true;
    }

    std::vector<BYTE> buffer(1024);
    DWORD needed = 0;
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    BOOL queried = QueryServiceConfigW(service, config, static_cast<DWORD>(buffer.size()), &needed);
    if (!queried && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        queried = QueryServiceConfigW(service, config, needed, &needed);
    }
    if (queried && (!config->lpDisplayName || wcscmp(config->lpDisplayName, kDisplayName) != 0)) {
        ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, kDisplayName);
    }
    return restart;
}

// Polls at most 5 times, a second apart, while the service has not stopped.
void WaitUntilStopped(SC_HANDLE service)
{
    SERVICE_STATUS status = {};
    for (int poll = 0; poll < 5; ++poll) {
        if (poll > 0)
            Sleep(1000);
        if (!QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED)
            return;
    }
}

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&InstallService), &module);
    return module;
}

// Opens the service key of name with KEY_ALL_ACCESS, creating it when needed.
bool OpenOrCreateServiceKey(const wchar_t* name, RegKey& key)
{
    std::wstring path = ServiceKeyPath(name);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) ==
        ERROR_SUCCESS)
        return true;
    if (RegOk(RegCreateKeyW(HKEY_LOCAL_MACHINE, path.c_str(), key.Out())))
        return true;
    ServiceDebugPrint(L"RegOpenKeyEx(%ls)  %ls KEY_SET_VALUE error %d.", name, path.c_str(),
                      static_cast<int>(GetLastError()));
    return false;
}

bool SetServiceDll(HKEY parameters, const wchar_t* path)
{
    DWORD bytes = static_cast<DWORD>((wcslen(path) + 1) * sizeof(wchar_t));
    return RegOk(RegSetValueExW(parameters, L"ServiceDll", 0, REG_EXPAND_SZ,
                                reinterpret_cast<const BYTE*>(path), bytes));
}

} // namespace

DWORD InstallService(const wchar_t* serviceName)
{
    const wchar_t* name = NameOrDefault(serviceName);
    const wchar_t* failText = nullptr;
    if (!CheckGroup(name, failText))
        return Fail(failText);

    ServiceDebugPrint(L"OpenSCManager");
    ScHandle manager, service;
    manager.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.Get())
        return Fail(L"OpenSCManager()");

    bool restart = false;
    service.Reset(CreateServiceW(manager.Get(), name, kDisplayName, SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_SHARE_PROCESS, SERVICE_AUTO_START,
                                 SERVICE_ERROR_NORMAL, kImagePath, nullptr, nullptr, nullptr,
                                 nullptr, nullptr));
    if (!service.Get()) {
        DWORD error = GetLastError();
        if (error != ERROR_SERVICE_EXISTS) {
            ServiceDebugPrint(L"CreateService(%ls) error %d", name, static_cast<int>(error));
            SetLastError(error);
            return Fail(L"CreateService");
        }
        service.Reset(OpenServiceW(manager.Get(), name, SERVICE_ALL_ACCESS));
        if (service.Get())
            restart = PrepareExistingService(service.Get());
    }

    ServiceDebugPrint(L"CreateService(%ls) SUCCESS. Config it", name);
    if (!restart) {
        service.Close();
        manager.Close();
    }

    RegKey serviceKey, parameters;
    if (!OpenOrCreateServiceKey(name, serviceKey))
        return Fail(L"RegCreateKey(Parameters)");
    if (!RegOk(RegCreateKeyW(serviceKey.Get(), L"Parameters", parameters.Out())))
        return Fail(L"RegCreateKey(Parameters)");

    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (length >= MAX_PATH)
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return Fail(L"GetModuleFileName() get dll path");
    }
    if (!SetServiceDll(parameters.Get(), path))
        return Fail(L"RegSetValueEx(ServiceDll)");

    ServiceDebugPrint(L"Config service %ls ok.", name);
    if (restart) {
        // The stop sent in step 4 may still be under way; starting a
        // service that has not stopped fails.
        WaitUntilStopped(service.Get());
        StartServiceW(service.Get(), 0, nullptr);
    }
    return 0;
}

DWORD UninstallService(const wchar_t* serviceName)
{
    const wchar_t* name = NameOrDefault(serviceName);
    ScHandle manager, service;
    manager.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager.Get()) {
        DWORD error = GetLastError();
        ServiceDebugPrint(L"OpenSCManager() error %d", static_cast<int>(error));
        return error;
    }

    // GCC has no structured exception handling; none of the calls below
    // raises one.
    DWORD result = 0;
    {
        service.Reset(OpenServiceW(manager.Get(), name, SERVICE_ALL_ACCESS));
        if (!service.Get()) {
            result = GetLastError();
            ServiceDebugPrint(L"OpenService(%ls) error %d", name, static_cast<int>(result));
            return result;
        }

        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service.Get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
            ControlService(service.Get(), SERVICE_CONTROL_STOP, &status);
            WaitUntilStopped(service.Get());
        }

        if (!DeleteService(service.Get())) {
            result = GetLastError();
            ServiceDebugPrint(L"OpenService(%ls) error %d", name, static_cast<int>(result));
            return result;
        }

        // Both removals use the group's name, whichever service is removed.
        RegKey group, services;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupKey, 0, KEY_ALL_ACCESS, group.Out()) ==
            ERROR_SUCCESS)
            RegDeleteValueW(group.Get(), kGroupName);
        result = ERROR_FILE_NOT_FOUND;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ALL_ACCESS, services.Out()) ==
            ERROR_SUCCESS)
            result = static_cast<DWORD>(SHDeleteKeyW(services.Get(), kGroupName));
        // The manager may have removed the key with the service already.
        if (result == ERROR_FILE_NOT_FOUND)
            result = 0;

        ServiceDebugPrint(L"DeleteService(%ls) SUCCESS.", name);
    }
    return result;
}

int CheckDllPath(const char* path)
{
    if (!path)
        return 0;
    std::wstring keyPath = ServiceKeyPath(kGroupName) + L"\\Parameters";
    wchar_t registered[MAX_PATH + 1] = {};
    DWORD bytes = MAX_PATH * sizeof(wchar_t);
    RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, key.Out()) !=
            ERROR_SUCCESS ||
        RegQueryValueExW(key.Get(), L"ServiceDll", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(registered), &bytes) != ERROR_SUCCESS ||
        registered[0] == L'\0')
        return 0;
    key.Close();

    // A given path that begins the registered one counts as the same.
    char narrow[4 * MAX_PATH + 1] = {};
    WideCharToMultiByte(CP_ACP, 0, registered, -1, narrow, sizeof narrow - 1, nullptr, nullptr);
    if (_strnicmp(narrow, path, strlen(path)) == 0)
        return 0;

    RegKey serviceKey, parameters;
    if (!OpenOrCreateServiceKey(kGroupName, serviceKey))
        return 0;
    if (RegOpenKeyExW(serviceKey.Get(), L"Parameters", 0, KEY_ALL_ACCESS, parameters.Out()) !=
            ERROR_SUCCESS &&
        RegCreateKeyW(serviceKey.Get(), L"Parameters", parameters.Out()) != ERROR_SUCCESS)
        return 0;

    int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 0)
        return 0;
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], units);
    return SetServiceDll(parameters.Get(), wide.c_str()) ? 1 : 0;
}
