#include "platform/axhost/AxHost.h"

#include <olectl.h>

#include <new>
#include <vector>

#include "platform/axhost/AxHostSite.h"

namespace axhost {

namespace {

CAxHostSite* SiteOf(HWND window)
{
    return reinterpret_cast<CAxHostSite*>(GetWindowLongPtrW(window, 0));
}

// The child a notification comes from, for reflection; null when the
// message names none.
HWND NotifyingChild(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<HWND>(lParam);
    case WM_NOTIFY:
        return lParam ? reinterpret_cast<NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_DRAWITEM:
        return wParam && lParam ? reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_MEASUREITEM:
        return wParam && lParam
                   ? GetDlgItem(window, reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlID)
                   : nullptr;
    case WM_COMPAREITEM:
        return lParam ? reinterpret_cast<COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lParam ? reinterpret_cast<DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return reinterpret_cast<HWND>(lParam);
    case WM_PARENTNOTIFY:
        if (LOWORD(wParam) == WM_CREATE || LOWORD(wParam) == WM_DESTROY)
            return reinterpret_cast<HWND>(lParam);
        return nullptr;
    default:
        return nullptr;
    }
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CAxHostSite* site = SiteOf(window);
    switch (message) {
    case WM_CREATE: {
        site = new (std::nothrow) CAxHostSite(window);
        if (!site)
            return -1;
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(site));
        const int length = GetWindowTextLengthW(window);
        if (length > 0) {
            std::vector<wchar_t> name(length + 1);
            GetWindowTextW(window, name.data(), length + 1);
            if (FAILED(site->CreateControl(name.data(), window, nullptr)))
                return -1;
        }
        return 0;
    }
    case WM_SIZE:
        if (site)
            site->Resize();
        break;
    case WM_SETFOCUS:
        if (site && site->ControlWindow()) {
            SetFocus(site->ControlWindow());
            return 0;
        }
        break;
    case WM_ERASEBKGND:
        // The control paints the whole client area.
        if (site && site->ControlWindow())
            return 1;
        break;
    case WM_DESTROY:
        if (site)
            site->ReleaseControl();
        break;
    case WM_NCDESTROY:
        if (site) {
            SetWindowLongPtrW(window, 0, 0);
            site->Release();
        }
        break;
    default: {
        HWND child = NotifyingChild(window, message, wParam, lParam);
        if (child && IsWindow(child) && GetParent(child) == window)
            return SendMessageW(child, OCM__BASE + message, wParam, lParam);
        break;
    }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&HostWindowProc), &module);
    return module;
}

// The class is this module's own (not global): other components of the
// process may register a global class of the same name, which is theirs and
// stays so. A window created with this module's instance finds the local
// class first; everyone else finds theirs.
bool RegisterHostClass()
{
    HMODULE module = ThisModule();
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExW(module, kHostClassName, &existing) && existing.hInstance == module) {
        if (existing.lpfnWndProc == HostWindowProc)
            return true;
        // Ours by its instance, but left by an earlier load of this library
        // whose code is gone: replaced (it fails while a window of it lives,
        // and the next call tries again).
        UnregisterClassW(kHostClassName, module);
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = HostWindowProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = module;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kHostClassName;
    return RegisterClassExW(&wc) != 0;
}

// The site of a window of this module's class only: other windows' extra
// bytes mean something else, also those of another module's class of the
// same name.
CAxHostSite* HostSite(HWND window)
{
    wchar_t name[32] = {};
    if (!IsWindow(window) || !GetClassNameW(window, name, 32) || lstrcmpW(name, kHostClassName) != 0 ||
        reinterpret_cast<HMODULE>(GetClassLongPtrW(window, GCLP_HMODULE)) != ThisModule())
        return nullptr;
    return SiteOf(window);
}

}  // namespace

bool AxWinInit()
{
    return RegisterHostClass();
}

HRESULT AxGetControl(HWND host, IUnknown** control)
{
    if (!control)
        return E_POINTER;
    *control = nullptr;
    CAxHostSite* site = HostSite(host);
    if (!site || !site->Control())
        return E_FAIL;
    *control = site->Control();
    (*control)->AddRef();
    return S_OK;
}

HRESULT AxGetHost(HWND host, IUnknown** site)
{
    if (!site)
        return E_POINTER;
    *site = nullptr;
    CAxHostSite* found = HostSite(host);
    if (!found)
        return E_FAIL;
    return found->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(site));
}

}  // namespace axhost
