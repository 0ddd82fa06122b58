#include "ui/CClientUserPassDlg.h"

#include <algorithm>
#include <cwctype>

#include "common/settings/CIni.h"
#include "common/xml/XMLELement.h"
#include "ui/DialogIds.h"
#include "ui/DialogText.h"
#include "ui/LoginDigest.h"

namespace {

const wchar_t kSection[] = L"http";

std::wstring ReadCredential(const wchar_t* key)
{
    std::wstring value;
    util::ReadIniString(util::GetUserIniPath(), value, kSection, key, L"");
    return value;
}

std::string SystemCodePage(const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string narrow(count > 0 ? count : 0, '\0');
    if (count > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, &narrow[0], count, nullptr, nullptr);
    return narrow;
}

} // namespace

INT_PTR CClientUserPassDlg::DoModal(HWND parent)
{
    return CDialogBase::DoModal(parent, MAKEINTRESOURCEW(IDD_CLIENT_USER_PASS));
}

bool CClientUserPassDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM,
                                              LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_COMMAND:
        result = 0;
        switch (LOWORD(wParam)) {
        case IDOK:
            if (m_loggedIn) {
                SaveCredentials();
                EndDialog(IDOK);
            } else {
                OnOK();
            }
            return true;
        case IDCANCEL:
            EndDialog(IDCANCEL);
            return true;
        case IDC_PASSWORD:
            if (HIWORD(wParam) != EN_CHANGE)
                return false;
            m_storedDigest = false;
            return true;
        }
        return false;
    case WM_HTTPHELPER_DONE:
        return OnHttpMessage(wParam, result);
    case WM_DESTROY:
        CancelAll();
        return false;
    }
    return false;
}

void CClientUserPassDlg::OnInitDialog()
{
    dialogs::CenterDialog(Handle());
    if (!m_user.empty())
        return;
    const std::wstring user = ReadCredential(L"user"), digest = ReadCredential(L"pass");
    if (lstrcmpiW(ReadCredential(L"url").c_str(), m_url.c_str()) != 0 || m_url.empty() ||
        user.empty() || digest.empty())
        return;
    m_user = user;
    m_password = digest;
    m_remember = true;
    ShowCredentials();
    // Filling the password item reported a change: the digest is still the stored one.
    m_storedDigest = true;
    PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(IDOK)));
}

void CClientUserPassDlg::OnOK()
{
    m_user = dialogs::ItemText(Handle(), IDC_USER_NAME);
    m_password = dialogs::ItemText(Handle(), IDC_PASSWORD);
    m_remember = IsDlgButtonChecked(Handle(), IDC_REMEMBER) == BST_CHECKED;
    if (m_user.empty()) {
        dialogs::ShowNotice(Handle(), IDS_NAME_EMPTY);
        return;
    }
    if (m_password.empty()) {
        dialogs::ShowNotice(Handle(), IDS_PASSWORD_EMPTY);
        return;
    }
    std::wstring digest = m_storedDigest ? m_password : PasswordDigest(m_password);
    std::transform(digest.begin(), digest.end(), digest.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    const std::string body = SystemCodePage(L"user=" + m_user + L"&pass=" + digest);
    Post(m_url.c_str(), body.data(), static_cast<int>(body.size()), kLoginRequest, 3);
    m_password = digest;
    // The field shows the digest that was sent. Filling it reports a change:
    // the flag keeps telling whether that digest was the stored one.
    const bool storedDigest = m_storedDigest;
    SetDlgItemTextW(Handle(), IDC_PASSWORD, m_password.c_str());
    m_storedDigest = storedDigest;
    EnableInput(false);
}

int CClientUserPassDlg::OnHttpDone(UINT, bool ok, const std::wstring& text)
{
    EnableInput(true);
    if (!ok) {
        dialogs::ShowNotice(Handle(), IDS_NETWORK_ERROR);
        return 0;
    }
    tool::XMLELement reply;
    reply.SetText(text);
    std::wstring login, reason;
    reply.GetTagValue(L"login", login);
    if (login == L"success") {
        m_loggedIn = true;
        PostMessageW(Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(IDOK)));
        return 1;
    }
    if (m_storedDigest) {
        // The remembered credentials no longer work: ask, without a notice.
        m_user.clear();
        m_password.clear();
        m_remember = false;
        ShowCredentials();
        m_storedDigest = false;
        SetFocus(Item(IDC_USER_NAME));
        return 0;
    }
    reply.GetTagValue(L"reason", reason);
    dialogs::ShowNotice(Handle(), reason);
    return 0;
}

void CClientUserPassDlg::EnableInput(bool enable)
{
    for (int id : {IDC_USER_NAME, IDC_PASSWORD, IDC_REMEMBER, IDOK})
        EnableWindow(Item(id), enable);
}

void CClientUserPassDlg::ShowCredentials()
{
    SetDlgItemTextW(Handle(), IDC_USER_NAME, m_user.c_str());
    SetDlgItemTextW(Handle(), IDC_PASSWORD, m_password.c_str());
    CheckDlgButton(Handle(), IDC_REMEMBER, m_remember ? BST_CHECKED : BST_UNCHECKED);
}

void CClientUserPassDlg::SaveCredentials()
{
    util::CIni ini(util::GetUserIniPath().c_str());
    ini.WriteString(kSection, L"url", m_remember ? m_url.c_str() : L"");
    ini.WriteString(kSection, L"user", m_remember ? m_user.c_str() : L"");
    ini.WriteString(kSection, L"pass", m_remember ? m_password.c_str() : L"");
}
