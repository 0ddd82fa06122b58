#pragma once
#include <windows.h>

#include <string>

#include "control/HttpHelper.h"
#include "platform/window/DialogBase.h"

// Asks for a user name and password and posts them to the channel's login
// URL; the server's "login" reply decides. Credentials remembered for the same
// URL ("user.ini" [http]) are posted at once, and the dialog is only seen
// when the server refuses them.
class CClientUserPassDlg : public CDialogBase, public CHttpHelper<CClientUserPassDlg> {
public:
    explicit CClientUserPassDlg(const std::wstring& loginUrl) : m_url(loginUrl) {}

    // IDOK once logged in, IDCANCEL, or -1.
    INT_PTR DoModal(HWND parent);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    int OnHttpDone(UINT id, bool ok, const std::wstring& text) override;
    UINT GetCodePage(UINT) override { return CP_UTF8; }

    using CDialogBase::Handle;

private:
    static const UINT kLoginRequest = 1;

    void OnInitDialog();
    void OnOK();
    void EnableInput(bool enable);
    void ShowCredentials();
    void SaveCredentials();

    std::wstring m_user;
    std::wstring m_password;   // once sent, the upper-case digest
    std::wstring m_url;
    bool m_loggedIn = false;
    bool m_remember = false;
    bool m_storedDigest = false;   // the password item holds a remembered digest
};
