#include "control/ControlView.h"

#include "control/ControlIds.h"

HWND CControlView::Create(HWND parent, const RECT& position)
{
    HWND hwnd = CDialogBase::Create(parent, MAKEINTRESOURCEW(IDD_CSTREAMVIEW));
    if (hwnd)
        MoveWindow(hwnd, position.left, position.top, position.right - position.left,
                   position.bottom - position.top, FALSE);
    return hwnd;
}

bool CControlView::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    // FALSE: the page keeps the focus; the bar takes it only when clicked.
    if (message == WM_INITDIALOG) {
        result = FALSE;
        return true;
    }
    if (owner_ && owner_->ProcessWindowMessage(hwnd, message, wParam, lParam, result))
        return true;
    return ReflectNotification(hwnd, message, wParam, lParam, result);
}
