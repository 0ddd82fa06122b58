// The control's dialogs: settings.
#include "control/CCStreamView.h"

#include "control/ControlIds.h"
#include "ui/CSettingsDlg.h"

bool CCStreamView::ProcessDialogMessage(HWND, UINT message, WPARAM wParam, LPARAM,
                                        LRESULT& result)
{
    if (message == WM_COMMAND && LOWORD(wParam) == ID_SETTINGS) {
        CSettingsDlg settings;
        settings.DoModal(GetActiveWindow());
        result = 0;
        return true;
    }
    return false;
}
