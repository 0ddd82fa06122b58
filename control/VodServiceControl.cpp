#include "control/VodServiceControl.h"

#include "platform/com/ComModule.h"

namespace {

const wchar_t kServiceName[] = L"kxsvc";

typedef void(WINAPI* RundllEntry)(HWND, HINSTANCE, LPSTR, int);

// The service installed by the rundll entry of our own file, loaded by its
// path as rundll32 would; true when the service then exists (its handle in
// service).
bool InstallThroughRundll(SC_HANDLE manager, SC_HANDLE& service)
{
    wchar_t path[MAX_PATH];
    if (!com::ModulePath(path))
        return false;
    HMODULE library = LoadLibraryW(path);
    if (!library)
        return false;
    auto install = reinterpret_cast<RundllEntry>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "RundllInstallA")));
    if (install) {
        char commandLine[] = "kxsvc";
        install(nullptr, library, commandLine, 0);
        service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    }
    FreeLibrary(library);
    return service != nullptr;
}

}  // namespace

HRESULT StartKxService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return E_FAIL;
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service && !InstallThroughRundll(manager, service)) {
        CloseServiceHandle(manager);
        return E_FAIL;
    }
    StartServiceW(service, 0, nullptr);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return S_OK;
}

HRESULT StopKxService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return S_OK;
    SC_HANDLE service = OpenServiceW(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (service) {
        SERVICE_STATUS status = {};
        if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED)
            ControlService(service, SERVICE_CONTROL_STOP, &status);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return S_OK;
}
