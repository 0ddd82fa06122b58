#include "platform/window/MessageMap.h"

#include <commctrl.h>

bool CMessageMap::ProcessWindowMessage(HWND, UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

HWND CMessageMap::NotificationSource(HWND parent, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        // A menu or an accelerator sends no window.
        return reinterpret_cast<HWND>(lParam);
    case WM_NOTIFY:
        return lParam ? reinterpret_cast<const NMHDR*>(lParam)->hwndFrom : nullptr;
    case WM_PARENTNOTIFY:
        switch (LOWORD(wParam)) {
        case WM_CREATE:
        case WM_DESTROY:
            return reinterpret_cast<HWND>(lParam);
        default:
            return GetDlgItem(parent, HIWORD(wParam));
        }
    case WM_DRAWITEM: {
        auto item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item && item->CtlType != ODT_MENU ? item->hwndItem : nullptr;
    }
    case WM_MEASUREITEM: {
        auto item = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
        return item && item->CtlType != ODT_MENU ? GetDlgItem(parent, item->CtlID) : nullptr;
    }
    case WM_COMPAREITEM:
        return lParam ? reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_DELETEITEM:
        return lParam ? reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem : nullptr;
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
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
    default:
        return nullptr;
    }
}

bool CMessageMap::ReflectNotification(HWND parent, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result)
{
    HWND child = NotificationSource(parent, message, wParam, lParam);
    if (!child || !IsWindow(child))
        return false;
    result = SendMessageW(child, kReflectBase + message, wParam, lParam);
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC && !result)
        return false;
    return true;
}
