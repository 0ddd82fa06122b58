#pragma once

#include <windows.h>

#include "platform/window/MessageMap.h"

// windowsx.h (pulled in by DirectShow's and other headers) defines
// SubclassWindow as a macro, which would rewrite the member below.
#ifdef SubclassWindow
#undef SubclassWindow
#endif

// A window bound to a C++ object: either one this object creates, of a class
// it registers, or an existing window (a dialog item, a control) it subclasses.
// Each message goes first to the object's message map, then to the default
// procedure: DefWindowProc for created windows, the original procedure for
// subclassed ones. The object must outlive its window or destroy it first;
// its destructor does so (or unsubclasses) for a window still bound.
class CWindowBase : public CMessageMap {
public:
    CWindowBase() = default;
    ~CWindowBase() override;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;

    // Registers the class (DescribeClass) on first use and creates the window.
    // Null when a window is already bound or creation fails.
    HWND Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                DWORD exStyle = 0, UINT_PTR idOrMenu = 0);
    BOOL DestroyWindow();

    // Binds an existing window of this thread; false when one is bound already.
    bool SubclassWindow(HWND hwnd);
    // Gives the window its original procedure back; the window, or null.
    HWND UnsubclassWindow();

    HWND Handle() const { return m_hwnd; }
    bool IsSubclassed() const { return m_originalProc != nullptr; }

    // The object bound to a window by this base, or null.
    static CWindowBase* FromHandle(HWND hwnd);

    // The module whose code this is: an exe or one of our DLLs.
    static HINSTANCE ModuleInstance();

protected:
    // The class Create registers. The default: "TovraWindow", CS_DBLCLKS,
    // arrow cursor, window-coloured background. Override to change any field
    // but lpfnWndProc, cbSize and hInstance.
    virtual void DescribeClass(WNDCLASSEXW& wc);

    // The default processing of the current window.
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Called once the window is gone (after WM_NCDESTROY); the object is no
    // longer bound and may delete itself here.
    virtual void OnFinalMessage(HWND hwnd) {}

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool Bind(HWND hwnd);
    void Unbind();
    bool RegisterClassOnce(WNDCLASSEXW& wc);

    HWND m_hwnd = nullptr;
    WNDPROC m_originalProc = nullptr;   // set only while subclassing
};
