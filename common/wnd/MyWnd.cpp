#include "common/wnd/MyWnd.h"

#include <process.h>

#include "common/wnd/IMyWndMsgHost.h"

namespace {

const wchar_t kClassName[] = L"MyWnd";

bool RegisterWindowClass(HINSTANCE instance, WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    // Another CMyWnd of the process may have registered it already.
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

CMyWnd::CMyWnd(IMyWndMsgHost* host)
    : m_host(host), m_window(nullptr), m_thread(nullptr), m_instance(nullptr), m_ready(nullptr)
{
}

CMyWnd::~CMyWnd()
{
    Destroy();
}

int CMyWnd::Create(HINSTANCE instance)
{
    if (!instance || m_thread)
        return 0;
    m_ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_ready)
        return 0;
    m_instance = instance;
    if (!RegisterWindowClass(instance, WindowProc)) {
        Cleanup();
        return 0;
    }
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, this, 0, nullptr));
    if (!m_thread) {
        UnregisterClassW(kClassName, m_instance);
        Cleanup();
        return 0;
    }
    WaitForSingleObject(m_ready, INFINITE);
    if (m_window) {
        CloseHandle(m_ready);
        m_ready = nullptr;
        return 1;
    }
    WaitForSingleObject(m_thread, INFINITE);
    UnregisterClassW(kClassName, m_instance);
    Cleanup();
    return 0;
}

void CMyWnd::Destroy()
{
    if (!m_thread)
        return;
    // WM_DESTROY posts the quit message: what was posted before it is still
    // delivered, then the loop ends and the system removes the window.
    SendMessageW(m_window, WM_DESTROY, 0, 0);
    WaitForThreadHandlingSentMessages();
    UnregisterClassW(kClassName, m_instance);
    Cleanup();
}

// The host may send to this thread while it drains its queue (an engine
// asking its owner something): keep answering sent messages, or both wait
// for each other for ever.
void CMyWnd::WaitForThreadHandlingSentMessages()
{
    for (;;) {
        // Peeking handles the sent messages that are waiting; posted ones stay.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD woken = MsgWaitForMultipleObjects(1, &m_thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1)
            return;
    }
}

void CMyWnd::Cleanup()
{
    if (m_thread)
        CloseHandle(m_thread);
    if (m_ready)
        CloseHandle(m_ready);
    m_thread = nullptr;
    m_ready = nullptr;
    m_window = nullptr;
    m_instance = nullptr;
}

unsigned __stdcall CMyWnd::ThreadProc(void* param)
{
    CMyWnd* self = static_cast<CMyWnd*>(param);
    if (!self->m_instance) {
        SetEvent(self->m_ready);
        return 0;
    }
    HWND window = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, self->m_instance, nullptr);
    if (!window) {
        SetEvent(self->m_ready);
        return 0;
    }
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self->m_host));
    self->m_window = window;
    SetEvent(self->m_ready);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<unsigned>(msg.wParam);
}

LRESULT CALLBACK CMyWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    IMyWndMsgHost* host = reinterpret_cast<IMyWndMsgHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message >= WM_USER) {
        if (host)
            host->OnMessage(message, wParam, lParam);
        return 0;
    }
    switch (message) {
    case WM_TIMER:
        if (host)
            host->OnTimer(wParam);
        return 0;
    case WM_DESTROY:
        if (host)
            host->OnDestroy();
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}
