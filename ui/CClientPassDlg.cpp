#include "ui/CClientPassDlg.h"

#include "common/settings/CIni.h"
#include "ui/DialogIds.h"
#include "ui/DialogText.h"
#include "ui/LoginDigest.h"

namespace {

const wchar_t kSection[] = L"pass";
const wchar_t kKey[] = L"pass";

} // namespace

INT_PTR CClientPassDlg::DoModal(HWND parent)
{
    return CDialogBase::DoModal(parent, MAKEINTRESOURCEW(IDD_CLIENT_PASS));
}

bool CClientPassDlg::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM,
                                          LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG: {
        dialogs::CenterDialog(hwnd);
        std::wstring remembered;
        util::ReadIniString(util::GetUserIniPath(), remembered, kSection, kKey, L"");
        if (!remembered.empty() && lstrcmpiW(remembered.c_str(), m_digest.c_str()) == 0)
            EndDialog(IDOK);
        result = TRUE;
        return true;
    }
    case WM_COMMAND:
        result = 0;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return true;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(IDCANCEL);
            return true;
        }
        return false;
    }
    return false;
}

void CClientPassDlg::OnOK()
{
    m_password = dialogs::ItemText(Handle(), IDC_PASSWORD);
    m_remember = IsDlgButtonChecked(Handle(), IDC_REMEMBER) == BST_CHECKED;
    if (m_password.empty() ||
        lstrcmpiW(PasswordDigest(m_password).c_str(), m_digest.c_str()) != 0) {
        dialogs::ShowNotice(Handle(), IDS_WRONG_PASSWORD);
        return;
    }
    util::CIni(util::GetUserIniPath().c_str())
        .WriteString(kSection, kKey, m_remember ? m_digest.c_str() : L"");
    EndDialog(IDOK);
}
