#pragma once

#include <windows.h>

class IMyWndMsgHost;

// A hidden window with a message loop on a thread of its own: the thread on
// which an engine runs. Other threads reach the host by sending or posting
// to Handle(); the host sets its timers on it.
class CMyWnd {
public:
    explicit CMyWnd(IMyWndMsgHost* host);
    ~CMyWnd();
    CMyWnd(const CMyWnd&) = delete;
    CMyWnd& operator=(const CMyWnd&) = delete;

    // 1 once the window exists on its thread; 0 for a null instance or when
    // the class, the thread or the window cannot be made (or it already runs).
    int Create(HINSTANCE instance);
    // Ends the window's thread; messages posted before are still handed to
    // the host, none after it returns. Never call it on the window's thread.
    void Destroy();

    HWND Handle() const { return m_window; }

    // The procedure of a window whose user data is its IMyWndMsgHost: messages
    // from WM_USER up and timers go to the host; WM_DESTROY tells the host and
    // ends the thread's message loop. Other hidden windows use it as well.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    static unsigned __stdcall ThreadProc(void* param);
    void WaitForThreadHandlingSentMessages();
    void Cleanup();

    IMyWndMsgHost* m_host;   // not owned: the engine that embeds this window
    HWND m_window;
    HANDLE m_thread;
    HINSTANCE m_instance;
    HANDLE m_ready;          // set by the thread once its window exists or failed
};
