#include "service/ServiceControl.h"

#include <atomic>

#include <boost/thread/mutex.hpp>

#include "service/MainWnd.h"
#include "service/ServiceDebug.h"

namespace {

// The service reports itself as an own-process service although it is
// installed into the shared host; the manager accepts either.
const DWORD kReportedType = SERVICE_WIN32_OWN_PROCESS;
const DWORD kAcceptedControls =
    SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
const DWORD kWaitHint = 3000;

// Written by the service thread and by the control thread.
std::atomic<DWORD> g_currentState{SERVICE_STOPPED};
std::atomic<SERVICE_STATUS_HANDLE> g_statusHandle{nullptr};
// Set while ServiceMain runs the service window; cleared before the object
// goes, so a late stop control finds no window. The lock keeps the object
// alive while the control thread reads its window handle; it is never held
// while sending to the window.
boost::mutex g_serviceWindowLock;
CMainWnd* g_serviceWindow = nullptr;

void SetServiceWindow(CMainWnd* window)
{
    boost::mutex::scoped_lock lock(g_serviceWindowLock);
    g_serviceWindow = window;
}

HWND ServiceWindowHandle()
{
    boost::mutex::scoped_lock lock(g_serviceWindowLock);
    return g_serviceWindow ? g_serviceWindow->GetHandle() : nullptr;
}
std::atomic<ServiceStatusReporter> g_reporter{&SetServiceStatus};

void ReportControl(DWORD pendingState, DWORD finalState, const wchar_t* trace)
{
    SetTheServiceStatus(pendingState, NO_ERROR, 1);
    ServiceDebugPrint(trace);
    SetTheServiceStatus(finalState, NO_ERROR, 0);
}

} // namespace

void SetServiceStatusReporter(ServiceStatusReporter reporter)
{
    g_reporter = reporter ? reporter : &SetServiceStatus;
}

BOOL SetTheServiceStatus(DWORD state, DWORD exitCode, DWORD checkpoint)
{
    g_currentState = state;
    SERVICE_STATUS status = {};
    status.dwServiceType = kReportedType;
    status.dwCurrentState = state;
    status.dwControlsAccepted = kAcceptedControls;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkpoint;
    status.dwWaitHint = kWaitHint;
    return g_reporter.load()(g_statusHandle, &status);
}

void WINAPI ServiceHandler(DWORD control)
{
    switch (control) {
    // Stop and shutdown never report "stopped" here: the host ends its
    // process once its last service reports it, which would cut the
    // service thread short (seeders still running) and this control's
    // answer. ServiceMain reports it when everything has ended.
    case SERVICE_CONTROL_STOP:
        SetTheServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 1);
        ServiceDebugPrint(L"SvcHostDLL: ServiceHandler called SERVICE_CONTROL_STOP");
        Sleep(10);
        break;
    case SERVICE_CONTROL_PAUSE:
        // Pausing changes nothing in the seeding: the seeders keep serving.
        ReportControl(SERVICE_PAUSE_PENDING, SERVICE_PAUSED,
                      L"SvcHostDLL: ServiceHandler called SERVICE_CONTROL_PAUSE");
        break;
    case SERVICE_CONTROL_CONTINUE:
        ReportControl(SERVICE_CONTINUE_PENDING, SERVICE_RUNNING,
                      L"SvcHostDLL: ServiceHandler called SERVICE_CONTROL_CONTINUE");
        break;
    case SERVICE_CONTROL_INTERROGATE:
        ServiceDebugPrint(L"SvcHostDLL: ServiceHandler called SERVICE_CONTROL_INTERROGATE");
        SetTheServiceStatus(g_currentState, NO_ERROR, 0);
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        ServiceDebugPrint(L"SvcHostDLL: ServiceHandler called SERVICE_CONTROL_SHUTDOWN");
        break;
    default:
        break;
    }

    bool ending = control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN;
    SetTheServiceStatus(ending ? SERVICE_STOP_PENDING : SERVICE_RUNNING, NO_ERROR, 0);
    ServiceDebugPrint(L"SetTheServiceStatus, Service_Ctrl function\n");
    if (!ending)
        return;
    // Sent, not posted: the window stops its seeders on the service thread
    // and ends its loop, which lets ServiceMain finish.
    if (HWND window = ServiceWindowHandle())
        SendMessageW(window, WM_DESTROY, 0, 0);
    ServiceDebugPrint(L"Signal service_main thread\n");
}

extern "C" void WINAPI ServiceMain(DWORD argc, LPWSTR* argv)
{
    const wchar_t* name = argc > 0 && argv && argv[0] ? argv[0] : L"";
    SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerW(name, &ServiceHandler);
    if (!handle) {
        ServiceDebugPrint(L"SvcHostDLL: RegisterServiceCtrlHandler %ls failed", name);
        return;
    }
    g_statusHandle = handle;
    SetTheServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);

    CMainWnd* window = new CMainWnd;
    SetServiceWindow(window);
    // A stop that came while the window did not exist yet found nothing to
    // end: honour it instead of running on.
    if (window->Startup() && g_currentState != SERVICE_STOP_PENDING) {
        SetTheServiceStatus(SERVICE_RUNNING, NO_ERROR, 0);
        window->RunMessageLoop();
    }
    // A stop sent during the start-up waits for this thread: let it in.
    MSG pending;
    PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE);
    SetServiceWindow(nullptr);
    delete window;

    ServiceDebugPrint(L"SetTheServiceStatus, SERVICE_STOPPED\n");
    SetTheServiceStatus(SERVICE_STOPPED, NO_ERROR, 0);
    ServiceDebugPrint(L"SvcHostDLL: ServiceMain done");
}
