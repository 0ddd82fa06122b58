// The control's right-click menu and the About dialog it offers.
#include "control/CCStreamView.h"

#include "control/CAboutDlg.h"
#include "control/ControlIds.h"
#include "control/SelfReference.h"
#include "platform/window/WindowBase.h"

namespace {

// The menu's popups: settings and About, the chat's own, settings alone.
const int kPopupWithAbout = 0;
const int kPopupSettingsOnly = 2;

}  // namespace

// A right button pressed over the control or its player. The chosen command
// comes back as WM_COMMAND to the control window.
void CCStreamView::OnMouseActivate(LPARAM lParam)
{
    if (HIWORD(lParam) != WM_RBUTTONDOWN || !enableContexMenu_)
        return;
    HMENU menu = LoadMenuW(CWindowBase::ModuleInstance(), MAKEINTRESOURCEW(IDM_CONTROL));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, enableShowAbout_ ? kPopupWithAbout : kPopupSettingsOnly);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    if (popup)
        TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y,
                       0, Window(), nullptr);
    DestroyMenu(menu);
}

void CCStreamView::ShowAbout()
{
    SelfReference hold(static_cast<ICStreamView2*>(this));
    CAboutDlg about;
    about.DoModal(GetActiveWindow());
}
