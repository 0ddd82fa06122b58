#pragma once
#include <windows.h>

#include "platform/window/DialogBase.h"

// The About dialog: who we are, the web site and the support mail address.
// Each address is a link: a click opens the browser on the site, or the mail
// program on the address.
class CAboutDlg : public CDialogBase {
public:
    // IDOK from its button, IDCANCEL when closed, -1 when it could not be made.
    INT_PTR DoModal(HWND parent);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    void OpenLink(int id);
    bool IsLink(HWND item) const;
};
