#pragma once

#include <windows.h>

// Notifications a parent hands back to the child they came from arrive at the
// child as kReflectBase + the original message (WM_COMMAND as
// kReflectBase + WM_COMMAND, and so on). The offset is the one OLE controls
// use, so controls written for either convention understand each other.
const UINT kReflectBase = WM_USER + 0x1C00;

// What every window of ours has in common: a message map, asked first for each
// message, and the reflection of child notifications.
class CMessageMap {
public:
    virtual ~CMessageMap() = default;

    // The message map: true when the message was handled, with result set.
    // Unhandled messages take the window's default processing.
    virtual bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result);

    // Sends a child's notification (WM_COMMAND, WM_NOTIFY, WM_DRAWITEM,
    // WM_MEASUREITEM, WM_COMPAREITEM, WM_DELETEITEM, WM_CTLCOLOR*, WM_HSCROLL,
    // WM_VSCROLL, WM_VKEYTOITEM, WM_CHARTOITEM, WM_PARENTNOTIFY) back to that
    // child as kReflectBase + message. False for other messages and for
    // notifications without a child window. A WM_CTLCOLOR* the child answers
    // with no brush counts as unhandled, so the parent's default paints it.
    static bool ReflectNotification(HWND parent, UINT message, WPARAM wParam, LPARAM lParam,
                                    LRESULT& result);

    // The child a notification names, or null.
    static HWND NotificationSource(HWND parent, UINT message, WPARAM wParam, LPARAM lParam);
};
