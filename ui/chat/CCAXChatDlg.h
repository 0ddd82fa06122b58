#pragma once

#include <windows.h>
#include <richedit.h>

#include <deque>
#include <string>

#include "platform/window/DialogBase.h"
#include "platform/window/WindowBase.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SDrawBtn.h"
#include "ui/chat/CDisplayPicWnd.h"
#include "ui/chat/COleRichEdit.h"
#include "ui/chat/ChatMsg.h"

// Sent by the emoticon picker: wParam the GIF resource id (0: nothing
// picked), lParam the code string id.
const UINT WM_EMOTICON_PICKED = 5155;

// The chat window: a modeless, resizable top-level dialog with a log, an
// input, a nick name and the skinned buttons. Typed messages become chat
// records handed to the send callback; records of other viewers arrive
// through ReceiveRecord. Created on the first Show and only hidden when
// closed. Page thread only.
class CCAXChatDlg : public CDialogBase {
public:
    using SendCallback = void (*)(const unsigned char* data, int length, void* user);

    static const UINT_PTR kAnimateTimer = 1;
    static const UINT_PTR kSendGuardTimer = 256;
    static const size_t kHistoryLimit = 10;
    static const size_t kMessageLimit = 700;
    static const LONG kPictureLimit = 20;

    CCAXChatDlg();
    ~CCAXChatDlg() override;

    // What the control stores; the cookie values count when the window is made.
    void SetSendCallback(SendCallback callback, void* user);
    void SetNameCookie(int enabled) { nameCookie_ = enabled; }
    void SetCookie(const std::wstring& url, const std::wstring& name);

    void Show();
    void ShowHistory();
    void SendRecord(const _tagChatMsg& record);
    // 1 when the bytes read as a record, else 0.
    int ReceiveRecord(const void* bytes, int length);
    void AppendMessage(const _tagChatMsg& record, bool greyed);
    void AppendToLog(const std::wstring& text, CHARFORMATW& format);
    void GetNameFromCookie();

    const std::wstring& CookieUrl() const { return cookieUrl_; }
    const std::wstring& CookieName() const { return cookieName_; }
    int NameCookie() const { return nameCookie_; }
    const std::wstring& NickName() const { return nickName_; }
    const std::deque<_tagChatMsg>& History() const { return history_; }
    COleRichEdit& Input() { return input_; }
    COleRichEdit& Log() { return log_; }
    bool CanSend() const { return canSend_ != 0; }
    CDisplayPicWnd& Picker() { return picker_; }

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    // Hands the input's and the log's messages to the dialog first.
    class EditHook : public CWindowBase {
    public:
        EditHook(CCAXChatDlg& owner, int map) : owner_(owner), map_(map) {}
        bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  LRESULT& result) override;

    private:
        CCAXChatDlg& owner_;
        int map_;
    };

    void OnInitDialog();
    void InitButtons();
    void Layout();
    void Paint();
    bool OnCommand(WORD id, WORD code);
    bool OnNotify(const NMHDR& header, LRESULT& result);
    bool OnEditMessage(int map, UINT message, WPARAM wParam, LPARAM lParam);
    void OnSend();
    void OnRename();
    void OnFont();
    void OnEmoticons();
    void OnEmoticonPicked(UINT gif, UINT codeId);
    void OnLink(const ENLINK& link);
    void OnClose();
    void ShowNotice(const std::wstring& text);
    static void CutToMessageLimit(std::wstring& text);
    void Remember(const _tagChatMsg& record);
    CHARFORMATW DefaultFormat(HWND edit) const;
    LONG LogLength() const;

    UI::SDrawBtn renameButton_, sendButton_, fontButton_, emoticonButton_, closeButton_;
    UI_Mgr::SBmpMapMgr skin_;
    SIZE buttonSizes_[5] = {};
    int toolbarHeight_ = 0;
    int toolbarTop_ = 0;
    int bottomBarTop_ = 0;
    HMODULE richEditModule_ = nullptr;
    int canSend_ = 1;
    EditHook inputHook_{*this, 1};
    EditHook logHook_{*this, 2};
    COleRichEdit input_;
    COleRichEdit log_;
    std::wstring nickName_;
    int nameCookie_ = 0;
    std::wstring cookieName_;
    std::wstring cookieUrl_;
    std::deque<_tagChatMsg> history_;
    CDisplayPicWnd picker_;
    SendCallback sendCallback_ = nullptr;
    void* sendUser_ = nullptr;

    bool rendering_ = false;
    CHARRANGE pressedLink_ = {-1, -1};
};
