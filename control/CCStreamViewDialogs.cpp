// The control's dialogs: the channel challenge, the programme list and the
// settings.
#include "control/CCStreamView.h"

#include <mshtml.h>
#include <shlwapi.h>

#include "control/ControlIds.h"
#include "control/SelfReference.h"
#include "ui/CSettingsDlg.h"
#include "vod/VodEngineMessages.h"

bool CCStreamView::ProcessDialogMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    switch (message) {
    case WM_VOD_PASSWORD:
        result = OnAuthChallenge(wParam, lParam);
        return true;
    case WM_CONTROL_OPEN:
        // An engine waits for our answer: it is closed once it has it, then
        // this open runs.
        if (!channelAuth_.Running())
            return false;
        openAfterChallenge_ = true;
        DeferCloseWhileChallenged();
        result = 0;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PLAYLIST && HIWORD(wParam) == 0) {
            OnPlaylistToggle();
        } else if (LOWORD(wParam) == ID_SETTINGS) {
            SelfReference hold(static_cast<ICStreamView2*>(this));
            CSettingsDlg settings;
            settings.DoModal(GetActiveWindow());
        } else {
            return false;
        }
        result = 0;
        return true;
    case WM_DESTROY:
        if (playList_.Handle())
            playList_.DestroyWindow();
        return false;
    }
    return false;
}

void CCStreamView::OnPlaylistToggle()
{
    if (coreKind_ != CORE_LIVE || !live_)
        return;
    HWND list = playList_.Handle();
    if (!list)
        playList_.Create(Window(), static_cast<std::uint64_t>(engineCid_), cgi_ ? cgi_ : L"");
    else
        ShowWindow(list, IsWindowVisible(list) ? SW_HIDE : SW_SHOW);
}

LRESULT CCStreamView::OnAuthChallenge(WPARAM bytes, LPARAM length)
{
    if (channelAuth_.Running())
        return 0;
    SelfReference hold(static_cast<ICStreamView2*>(this));
    const LRESULT answer = channelAuth_.Answer(reinterpret_cast<const char*>(bytes),
                                               static_cast<int>(length), GetActiveWindow(),
                                               LoginPageAddress());
    if (!closeAfterChallenge_)
        return answer;
    // The engine's Stop waits for its thread, which waits for this answer:
    // answer first, then close (and open, when that was asked for).
    ReplyMessage(0);
    const bool reopen = openAfterChallenge_ && WindowExists();
    closeAfterChallenge_ = openAfterChallenge_ = false;
    OnClose();
    if (reopen)
        OnOpen();
    return 0;
}

bool CCStreamView::DeferCloseWhileChallenged()
{
    if (!channelAuth_.Running())
        return false;
    closeAfterChallenge_ = true;
    channelAuth_.Cancel();
    return true;
}

// The page's address, or our program's file name outside a browser.
std::wstring CCStreamView::LoginPageAddress()
{
    std::wstring address;
    IHTMLDocument2* document = nullptr;
    if (GetTopDocument(&document)) {
        BSTR url = nullptr;
        if (SUCCEEDED(document->get_URL(&url)) && url)
            address.assign(url, SysStringLen(url));
        SysFreeString(url);
        document->Release();
    }
    if (address.empty()) {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        address = PathFindFileNameW(path);
    }
    return address;
}
