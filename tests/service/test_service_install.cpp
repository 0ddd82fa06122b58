#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/ServiceInstall.h"

// Installation and removal of the service in the prefix's real service
// manager and registry, through vodctl.dll's exports (and rundll32).

namespace {

const wchar_t kGroupKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Svchost";
const wchar_t kServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\kxsvc";
const wchar_t kParametersKey[] = L"SYSTEM\\CurrentControlSet\\Services\\kxsvc\\Parameters";

typedef void(WINAPI* RundllEntry)(HWND, HINSTANCE, LPSTR, int);
typedef int(WINAPI* CheckDllPathEntry)(LPCSTR);

template <typename Entry>
Entry Export(HMODULE module, const char* name)
{
    // Through a plain function pointer type: FARPROC has another signature.
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::wstring DllPath()
{
    std::string narrow = VODCTL_PATH;
    std::wstring path(narrow.begin(), narrow.end());
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// Value type and bytes; false when absent.
bool ReadValue(const wchar_t* keyPath, const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    data.resize(size);
    if (result == ERROR_SUCCESS && size)
        result = RegQueryValueExW(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::wstring AsText(const std::vector<BYTE>& data)
{
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
}

void SetGroupValue(const std::wstring& multi)
{
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupKey, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegSetValueExW(key, L"kxsvc", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi.data()),
                   static_cast<DWORD>(multi.size() * sizeof(wchar_t)));
    RegCloseKey(key);
}

void RemoveEverything()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager) {
        SC_HANDLE service = OpenServiceW(manager, L"kxsvc", SERVICE_ALL_ACCESS);
        if (service) {
            SERVICE_STATUS status;
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            DeleteService(service);
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kGroupKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"kxsvc");
        RegCloseKey(key);
    }
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kParametersKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kServiceKey);
}

struct Config {
    bool exists = false;
    DWORD type = 0, start = 0, error = 0;
    std::wstring binary, display, group, dependencies;
};

Config QueryConfig()
{
    Config config;
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, L"kxsvc", SERVICE_QUERY_CONFIG) : nullptr;
    if (service) {
        std::vector<BYTE> buffer(8192);
        DWORD needed = 0;
        auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
        if (QueryServiceConfigW(service, q, static_cast<DWORD>(buffer.size()), &needed)) {
            config.exists = true;
            config.type = q->dwServiceType;
            config.start = q->dwStartType;
            config.error = q->dwErrorControl;
            config.binary = q->lpBinaryPathName ? q->lpBinaryPathName : L"";
            config.display = q->lpDisplayName ? q->lpDisplayName : L"";
            config.group = q->lpLoadOrderGroup ? q->lpLoadOrderGroup : L"";
            config.dependencies = q->lpDependencies ? q->lpDependencies : L"";
        }
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
    return config;
}

class ServiceInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RemoveEverything();
        m_dll = LoadLibraryW(DllPath().c_str());
        ASSERT_NE(m_dll, nullptr);
        m_install = Export<RundllEntry>(m_dll, "RundllInstallA");
        m_uninstall = Export<RundllEntry>(m_dll, "RundllUninstallA");
        m_check = Export<CheckDllPathEntry>(m_dll, "CheckDllPathA");
        ASSERT_TRUE(m_install && m_uninstall && m_check);
    }
    void TearDown() override
    {
        RemoveEverything();
        if (m_dll)
            FreeLibrary(m_dll);
    }

    void Install(const char* name = "")
    {
        std::string line = name;
        m_install(nullptr, nullptr, &line[0], SW_HIDE);
    }

    HMODULE m_dll = nullptr;
    RundllEntry m_install = nullptr;
    RundllEntry m_uninstall = nullptr;
    CheckDllPathEntry m_check = nullptr;
};

// Runs "rundll32 <dll>,<entry>" and waits for it.
DWORD RunRundll32(const std::wstring& entry)
{
    std::wstring line = L"rundll32.exe " + DllPath() + L"," + entry;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    DWORD waited = WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return waited == WAIT_OBJECT_0 ? 0 : WAIT_TIMEOUT;
}

} // namespace

TEST_F(ServiceInstallTest, Rundll32InstallCreatesExactlyTheServiceAndItsValues)
{
    ASSERT_EQ(RunRundll32(L"RundllInstallA"), 0u);

    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadValue(kGroupKey, L"kxsvc", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(AsText(data), std::wstring(L"kxsvc\0\0", 7));

    Config config = QueryConfig();
    ASSERT_TRUE(config.exists);
    EXPECT_EQ(config.type, static_cast<DWORD>(SERVICE_WIN32_SHARE_PROCESS));
    EXPECT_EQ(config.start, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(config.error, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
    EXPECT_EQ(config.binary, L"%SystemRoot%\\System32\\svchost.exe -k kxsvc");
    EXPECT_EQ(config.display, L"KXStreamViewServices");
    EXPECT_EQ(config.group, L"");
    EXPECT_EQ(config.dependencies, L"");

    // "Parameters" holds the one value "ServiceDll" and nothing else.
    ASSERT_TRUE(ReadValue(kParametersKey, L"ServiceDll", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(AsText(data), DllPath() + std::wstring(1, L'\0'));
    HKEY parameters;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kParametersKey, 0, KEY_READ, &parameters),
              ERROR_SUCCESS);
    DWORD subkeys = 0, values = 0;
    RegQueryInfoKeyW(parameters, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(parameters);
    EXPECT_EQ(subkeys, 0u);
    EXPECT_EQ(values, 1u);
}

TEST_F(ServiceInstallTest, AnExistingGroupValueThatListsTheNameIsKept)
{
    SetGroupValue(std::wstring(L"other\0KXSVC\0\0", 13));
    Install();
    EXPECT_TRUE(QueryConfig().exists);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadValue(kGroupKey, L"kxsvc", type, data));
    EXPECT_EQ(AsText(data), std::wstring(L"other\0KXSVC\0\0", 13));
}

TEST_F(ServiceInstallTest, AGroupValueWithoutTheNameRefusesTheInstallation)
{
    SetGroupValue(std::wstring(L"other\0\0", 7));
    // Linked here: the return value, which rundll32 discards.
    EXPECT_NE(InstallService(L"kxsvc"), 0u);
    EXPECT_FALSE(QueryConfig().exists);
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(ReadValue(kParametersKey, L"ServiceDll", type, data));
    ASSERT_TRUE(ReadValue(kGroupKey, L"kxsvc", type, data));
    EXPECT_EQ(AsText(data), std::wstring(L"other\0\0", 7));
}

TEST_F(ServiceInstallTest, InstallingAgainCorrectsTheDisplayNameAndTheLibraryPath)
{
    Install();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, L"kxsvc", SERVICE_ALL_ACCESS);
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(ChangeServiceConfigW(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                     SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, L"kxstreamviewservices"));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    ASSERT_EQ(m_check("C:\\elsewhere\\vodctl.dll"), 1);

    Install();
    EXPECT_EQ(QueryConfig().display, L"KXStreamViewServices");
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadValue(kParametersKey, L"ServiceDll", type, data));
    EXPECT_EQ(AsText(data), DllPath() + std::wstring(1, L'\0'));
}

TEST_F(ServiceInstallTest, UninstallRemovesTheServiceTheGroupValueAndTheKey)
{
    Install();
    ASSERT_TRUE(QueryConfig().exists);
    ASSERT_EQ(RunRundll32(L"RundllUninstallA"), 0u);

    EXPECT_FALSE(QueryConfig().exists);
    DWORD type = 0;
    std::vector<BYTE> data;
    EXPECT_FALSE(ReadValue(kGroupKey, L"kxsvc", type, data));
    HKEY key;
    EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kServiceKey, 0, KEY_READ, &key), ERROR_SUCCESS);

    // Nothing left to remove: the manager's error comes back.
    EXPECT_EQ(UninstallService(nullptr), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServiceInstallTest, CheckDllPathRewritesOnlyADifferingPath)
{
    EXPECT_EQ(m_check("C:\\any\\vodctl.dll"), 0) << "not installed";
    Install();
    std::string narrow(VODCTL_PATH);
    for (char& c : narrow)
        if (c == '/')
            c = '\\';
    std::string upper = narrow;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    EXPECT_EQ(m_check(upper.c_str()), 0) << "same path, other case";
    EXPECT_EQ(m_check(narrow.substr(0, narrow.size() - 4).c_str()), 0) << "a prefix counts";

    EXPECT_EQ(m_check("C:\\moved\\vodctl.dll"), 1);
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(ReadValue(kParametersKey, L"ServiceDll", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(AsText(data), std::wstring(L"C:\\moved\\vodctl.dll\0", 20));
    EXPECT_EQ(m_check("C:\\moved\\vodctl.dll"), 0);
}
