#pragma once
#include <windows.h>

#include <string>

#include "platform/window/DialogBase.h"

// Asks for a channel's password and checks it against the digest the
// tracker gave. A remembered digest ("user.ini" [pass] "pass") equal to it
// lets the channel in without asking.
class CClientPassDlg : public CDialogBase {
public:
    // digest: 32 hexadecimal digits, either case.
    explicit CClientPassDlg(const std::wstring& digest) : m_digest(digest) {}

    // IDOK when the password is right, IDCANCEL, or -1.
    INT_PTR DoModal(HWND parent);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    void OnOK();

    std::wstring m_password;
    std::wstring m_digest;
    bool m_remember = false;
};
