#include "platform/window/WindowBase.h"

namespace {

// The window property that holds the bound object: it leaves GWLP_USERDATA to
// the window's own class, which a subclassed control may use.
const wchar_t kObjectProperty[] = L"Tovra.WindowBase";
// The original procedure of a window we unsubclassed while a later subclass
// still calls ours: we go on passing its messages there.
const wchar_t kOriginalProperty[] = L"Tovra.WindowBase.Proc";

// The object a thread is creating a window for: WM_GETMINMAXINFO and
// WM_NCCREATE arrive before CreateWindowEx returns.
thread_local CWindowBase* t_creating = nullptr;

} // namespace

CWindowBase::~CWindowBase()
{
    if (!m_hwnd)
        return;
    // The derived part is gone: the window must not call into it again.
    HWND hwnd = m_hwnd;
    if (m_originalProc) {
        UnsubclassWindow();
    } else {
        Unbind();
        ::DestroyWindow(hwnd);
    }
}

HINSTANCE CWindowBase::ModuleInstance()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CWindowBase::ModuleInstance), &module);
    return module;
}

void CWindowBase::DescribeClass(WNDCLASSEXW& wc)
{
    wc.style = CS_DBLCLKS;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"TovraWindow";
}

bool CWindowBase::RegisterClassOnce(WNDCLASSEXW& wc)
{
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) {
        if (existing.lpfnWndProc == wc.lpfnWndProc)
            return true;
        // Left behind by an earlier load of this DLL at another address.
        UnregisterClassW(wc.lpszClassName, wc.hInstance);
    }
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowBase::Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style,
                         DWORD exStyle, UINT_PTR idOrMenu)
{
    if (m_hwnd)
        return nullptr;
    WNDCLASSEXW wc = {};
    DescribeClass(wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ModuleInstance();
    if (!wc.lpszClassName || !RegisterClassOnce(wc))
        return nullptr;
    CWindowBase* outer = t_creating;
    t_creating = this;
    HWND hwnd = CreateWindowExW(exStyle, wc.lpszClassName, title, style, rect.left, rect.top,
                                rect.right - rect.left, rect.bottom - rect.top, parent,
                                reinterpret_cast<HMENU>(idOrMenu), wc.hInstance, nullptr);
    t_creating = outer;
    return hwnd;
}

BOOL CWindowBase::DestroyWindow()
{
    return m_hwnd ? ::DestroyWindow(m_hwnd) : FALSE;
}

bool CWindowBase::Bind(HWND hwnd)
{
    if (m_hwnd || !SetPropW(hwnd, kObjectProperty, this))
        return false;
    m_hwnd = hwnd;
    return true;
}

void CWindowBase::Unbind()
{
    RemovePropW(m_hwnd, kObjectProperty);
    m_hwnd = nullptr;
}

bool CWindowBase::SubclassWindow(HWND hwnd)
{
    if (!IsWindow(hwnd) || FromHandle(hwnd) ||
        GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId() || !Bind(hwnd))
        return false;
    m_originalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
    if (!m_originalProc) {
        Unbind();
        return false;
    }
    return true;
}

HWND CWindowBase::UnsubclassWindow()
{
    if (!m_originalProc)
        return nullptr;
    HWND hwnd = m_hwnd;
    // Put the original back only if nobody subclassed the window after us;
    // otherwise our procedure stays in their chain and passes messages on.
    auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (current == WindowProc)
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_originalProc));
    else
        SetPropW(hwnd, kOriginalProperty, reinterpret_cast<HANDLE>(m_originalProc));
    m_originalProc = nullptr;
    Unbind();
    return hwnd;
}

CWindowBase* CWindowBase::FromHandle(HWND hwnd)
{
    return static_cast<CWindowBase*>(GetPropW(hwnd, kObjectProperty));
}

LRESULT CWindowBase::DefaultProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_originalProc)
        return CallWindowProcW(m_originalProc, m_hwnd, message, wParam, lParam);
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowBase* self = FromHandle(hwnd);
    if (!self && t_creating) {
        self = t_creating;
        t_creating = nullptr;
        if (!self->Bind(hwnd))
            self = nullptr;
    }
    if (!self) {
        // An object that unsubclassed while another subclass sat above it.
        auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kOriginalProperty));
        if (original) {
            if (message == WM_NCDESTROY)
                RemovePropW(hwnd, kOriginalProperty);
            return CallWindowProcW(original, hwnd, message, wParam, lParam);
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (message != WM_NCDESTROY && self->ProcessWindowMessage(hwnd, message, wParam, lParam, result))
        return result;
    if (message != WM_NCDESTROY)
        return self->DefaultProc(message, wParam, lParam);

    // The last message: let the map and the default see it, then let go.
    self->ProcessWindowMessage(hwnd, message, wParam, lParam, result);
    result = self->DefaultProc(message, wParam, lParam);
    if (self->m_originalProc &&
        reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == WindowProc)
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->m_originalProc));
    self->m_originalProc = nullptr;
    self->Unbind();
    self->OnFinalMessage(hwnd);
    return result;
}
