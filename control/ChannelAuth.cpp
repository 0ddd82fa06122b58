#include "control/ChannelAuth.h"

#include "control/AuthChallenge.h"
#include "control/AutoLogin.h"
#include "ui/CClientPassDlg.h"
#include "ui/CClientUserPassDlg.h"

namespace {

// Answer stays running while the dialog is on screen.
template <class Dialog>
LRESULT RunDialog(Dialog& dialog, HWND parent, CDialogBase*& running)
{
    running = &dialog;
    const INT_PTR ended = dialog.DoModal(parent);
    running = nullptr;
    return ended == IDOK ? 1 : 0;
}

} // namespace

LRESULT CChannelAuth::Answer(const char* bytes, int length, HWND parent,
                             const std::wstring& pageAddress)
{
    const AuthChallenge challenge = ParseAuthChallenge(ChallengeText(bytes, length));
    m_running = true;
    LRESULT answer = 0;
    switch (challenge.kind) {
    case AuthChallenge::kPassword: {
        CClientPassDlg dialog(challenge.code);
        answer = RunDialog(dialog, parent, m_dialog);
        break;
    }
    case AuthChallenge::kUserPassword: {
        CClientUserPassDlg dialog(challenge.code);
        answer = RunDialog(dialog, parent, m_dialog);
        break;
    }
    case AuthChallenge::kAutoLogin:
        answer = AutoLogin(challenge.code, pageAddress) ? 1 : 0;
        break;
    }
    m_running = false;
    return answer;
}

void CChannelAuth::Cancel()
{
    if (m_dialog)
        m_dialog->EndDialog(IDCANCEL);
}
