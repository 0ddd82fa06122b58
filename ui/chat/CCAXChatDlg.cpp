// The chat window's set-up, layout, painting and the messages of its items.
#include "ui/chat/CCAXChatDlg.h"

#include <commdlg.h>

#include "ui/BrowserLink.h"
#include "ui/SkinIds.h"
#include "ui/ToolTipWindow.h"
#include "ui/chat/ChatIds.h"
#include "ui/chat/ChatText.h"
#include "ui/chat/EmoticonTable.h"
#include "ui/chat/InsertEmoticon.h"

namespace {

const UINT kAnimateMs = 50;
const int kMinTrackWidth = 380;
const int kMinTrackHeight = 340;
const UINT kSkinBackground = 1025;
const UINT kSkinToolbar = 1021;
const UINT kSkinNameLeft = 1022;
const UINT kSkinNameMid = 1023;
const UINT kSkinNameRight = 1024;
const size_t kLinkLimit = 512;

// The buttons in the order of the skin's pictures and sizes.
enum ButtonIndex { kRename, kSend, kFont, kEmoticons, kClose };

void Place(HWND window, int x, int y, SIZE size)
{
    SetWindowPos(window, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CCAXChatDlg::CCAXChatDlg() : richEditModule_(LoadLibraryW(L"RICHED20.DLL")) {}

CCAXChatDlg::~CCAXChatDlg()
{
    // The rich edits hold the callbacks of input_ and log_: they go first.
    if (Handle())
        DestroyWindow();
    if (richEditModule_)
        FreeLibrary(richEditModule_);
}

void CCAXChatDlg::SetSendCallback(SendCallback callback, void* user)
{
    sendCallback_ = callback;
    sendUser_ = user;
}

void CCAXChatDlg::SetCookie(const std::wstring& url, const std::wstring& name)
{
    cookieUrl_ = url;
    cookieName_ = name;
}

void CCAXChatDlg::Show()
{
    if (!Handle() && !Create(nullptr, MAKEINTRESOURCEW(IDD_CHAT)))
        return;
    ShowWindow(Handle(), SW_SHOW);
    ShowHistory();
}

void CCAXChatDlg::OnInitDialog()
{
    HWND dialog = Handle();
    const HINSTANCE module = CWindowBase::ModuleInstance();
    auto icon = [module](int size) {
        return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_CHAT), IMAGE_ICON,
                                             size, size, LR_SHARED));
    };
    SendMessageW(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(icon(GetSystemMetrics(SM_CXICON))));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(icon(GetSystemMetrics(SM_CXSMICON))));

    BuildEmoticonTable();
    input_.Attach(Item(IDC_CHAT_INPUT));
    log_.Attach(Item(IDC_CHAT_LOG));

    CHARFORMATW format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET;
    format.yHeight = 200;
    format.crTextColor = RGB(0, 0, 0);
    format.bCharSet = DEFAULT_CHARSET;
    lstrcpynW(format.szFaceName, LoadChatText(IDS_DEFAULT_FACE).c_str(), LF_FACESIZE);

    HWND input = input_.Handle();
    SendMessageW(input, EM_AUTOURLDETECT, TRUE, 0);
    const LRESULT mask = SendMessageW(input, EM_GETEVENTMASK, 0, 0);
    SendMessageW(input, EM_SETEVENTMASK, 0, mask | ENM_LINK | ENM_CHANGE);
    SendMessageW(input, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    SetFocus(input);
    SendMessageW(input, EM_EXLIMITTEXT, 0, kMessageLimit);

    HWND log = log_.Handle();
    SendMessageW(log, EM_AUTOURLDETECT, TRUE, 0);
    SendMessageW(log, EM_SETEVENTMASK, 0, SendMessageW(log, EM_GETEVENTMASK, 0, 0) | ENM_LINK);
    SendMessageW(log, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));

    // No owner: the window stays open on its own, whatever the page does.
    SetWindowLongPtrW(dialog, GWLP_HWNDPARENT, 0);
    SetWindowLongW(dialog, GWL_STYLE,
                   GetWindowLongW(dialog, GWL_STYLE) | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                       WS_MINIMIZEBOX | WS_MAXIMIZEBOX);

    inputHook_.SubclassWindow(input);
    logHook_.SubclassWindow(log);
    SetFocus(input);

    InitButtons();

    GetNameFromCookie();
    if (nickName_.empty())
        nickName_ = LoadChatText(IDS_GUEST);
    SetDlgItemTextW(dialog, IDC_CHAT_NAME, nickName_.c_str());
    SendDlgItemMessageW(dialog, IDC_CHAT_NAME, EM_LIMITTEXT, 20, 0);
    EnableWindow(Item(IDC_CHAT_RENAME), FALSE);

    SetWindowPos(dialog, nullptr, 0, 0, 580, 540, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT window, work;
    GetWindowRect(dialog, &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(dialog, nullptr, work.left + (work.right - work.left - 580) / 2,
                 work.top + (work.bottom - work.top - 540) / 2, 0, 0,
                 SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
    SetTimer(dialog, kAnimateTimer, kAnimateMs, nullptr);
    Layout();
}

void CCAXChatDlg::InitButtons()
{
    HWND dialog = Handle();
    skin_.Load(IDR_SKINSET_CHAT, IDB_SKIN_CHAT);
    const COLORREF key = skin_.IsLoaded() ? skin_.GetItemKeyColor(IDB_CT_TRANS) : 0;
    HWND tip = GetToolTipWindow(dialog, true);
    const struct {
        UI::SDrawBtn* button;
        int item;
        UINT pictures;
        UINT tip;
    } buttons[] = {
        {&renameButton_, IDC_CHAT_RENAME, 1005, IDS_TIP_RENAME},
        {&sendButton_, IDC_CHAT_SEND, 1009, IDS_TIP_SEND},
        {&fontButton_, IDC_CHAT_FONT, 1013, IDS_TIP_FONT},
        {&emoticonButton_, IDC_CHAT_EMOTICONS, 1017, IDS_TIP_EMOTICONS},
        {&closeButton_, IDC_CHAT_CLOSE, IDB_CT_CLOSE_N, IDS_TIP_CLOSE_CHAT},
    };
    for (size_t i = 0; i < 5; ++i) {
        UI::SDrawBtn& button = *buttons[i].button;
        HWND item = Item(buttons[i].item);
        button.SubclassWindow(item);
        SetWindowLongW(item, GWL_STYLE, GetWindowLongW(item, GWL_STYLE) | BS_OWNERDRAW);
        button.skin = &skin_;
        button.SetPictures(buttons[i].pictures);
        buttonSizes_[i] = skin_.ItemSize(buttons[i].pictures);
        button.SetTransparent(true, key);
        button.SetToolTip(tip, LoadChatText(buttons[i].tip).c_str());
    }
    toolbarHeight_ = skin_.ItemSize(kSkinToolbar).cy;
}

// C the client area, I = C inset by 6, 5, 7, 4; the input takes the lower
// third of I above the bottom bar, the toolbar row sits on the input.
void CCAXChatDlg::Layout()
{
    HWND dialog = Handle();
    RECT c;
    GetClientRect(dialog, &c);
    const RECT i = {c.left + 6, c.top + 5, c.right - 7, c.bottom - 4};
    const int a = (i.bottom - i.top) / 3;

    SetWindowPos(input_.Handle(), nullptr, i.left, i.bottom - a, c.right - i.left - 7, a - 35,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    bottomBarTop_ = c.bottom - 34;
    const int toolbarBottom = i.bottom - a;
    toolbarTop_ = toolbarBottom - toolbarHeight_;

    auto rowY = [this](int height) { return toolbarTop_ + (toolbarHeight_ - height) / 2; };
    Place(fontButton_.Handle(), i.left + 10, rowY(buttonSizes_[kFont].cy), buttonSizes_[kFont]);
    Place(emoticonButton_.Handle(), i.left + 10 + buttonSizes_[kFont].cx + 5,
          rowY(buttonSizes_[kEmoticons].cy), buttonSizes_[kEmoticons]);

    SetWindowPos(log_.Handle(), nullptr, i.left, i.top, i.right - i.left, toolbarTop_ - i.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    auto barY = [this, &i](int height) { return bottomBarTop_ + (i.bottom - bottomBarTop_ - height) / 2; };
    SetWindowPos(Item(IDC_CHAT_NAME), nullptr, i.left + 7, barY(18), 106, 18,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Place(renameButton_.Handle(), i.left + 122, barY(buttonSizes_[kRename].cy),
          buttonSizes_[kRename]);
    const int sendX = i.right - buttonSizes_[kSend].cx;
    Place(sendButton_.Handle(), sendX, barY(buttonSizes_[kSend].cy), buttonSizes_[kSend]);
    Place(closeButton_.Handle(), sendX - 10 - buttonSizes_[kClose].cx,
          barY(buttonSizes_[kClose].cy), buttonSizes_[kClose]);
    InvalidateRect(dialog, nullptr, TRUE);
}

void CCAXChatDlg::Paint()
{
    HWND dialog = Handle();
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(dialog, &ps);
    if (skin_.IsLoaded()) {
        RECT c;
        GetClientRect(dialog, &c);
        const RECT i = {c.left + 6, c.top + 5, c.right - 7, c.bottom - 4};
        skin_.DrawItem(dc, c, kSkinBackground);
        const RECT row = {i.left, toolbarTop_, i.right, toolbarTop_ + toolbarHeight_};
        skin_.DrawItem(dc, row, kSkinToolbar);
        const RECT frame = {i.left, bottomBarTop_, i.left + 180,
                            bottomBarTop_ + skin_.ItemSize(kSkinNameLeft).cy};
        skin_.DrawItem3(dc, frame, kSkinNameLeft, kSkinNameMid, kSkinNameRight, true,
                        skin_.GetItemKeyColor(IDB_CT_TRANS));
    }
    EndPaint(dialog, &ps);
}

bool CCAXChatDlg::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = FALSE;  // the input has the focus
        return true;
    case WM_COMMAND:
        result = 0;
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        return lParam && OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result);
    case WM_DRAWITEM:
        return ReflectNotification(hwnd, message, wParam, lParam, result);
    case WM_TIMER:
        if (wParam == kAnimateTimer) {
            input_.AnimateObjects();
            log_.AnimateObjects();
        } else if (wParam == kSendGuardTimer) {
            KillTimer(hwnd, kSendGuardTimer);
            canSend_ = 1;
        } else {
            return false;
        }
        result = 0;
        return true;
    case WM_MENUCHAR:
        if (LOWORD(wParam) == L'c' || LOWORD(wParam) == L's') {
            SendMessageW(hwnd, WM_COMMAND, LOWORD(wParam) == L'c' ? IDC_CHAT_CLOSE : IDC_CHAT_SEND, 0);
            result = MAKELRESULT(0, MNC_CLOSE);
            return true;
        }
        return false;
    case WM_EMOTICON_PICKED:
        OnEmoticonPicked(static_cast<UINT>(wParam), static_cast<UINT>(lParam));
        result = 0;
        return true;
    case WM_CLOSE:
        OnClose();
        result = 0;
        return true;
    case WM_SIZE:
        Layout();
        result = 0;
        return true;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = kMinTrackWidth;
        info->ptMinTrackSize.y = kMinTrackHeight;
        result = 0;
        return true;
    }
    case WM_PAINT:
        Paint();
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_DESTROY:
        KillTimer(hwnd, kAnimateTimer);
        KillTimer(hwnd, kSendGuardTimer);
        SetWindowTextW(input_.Handle(), L"");
        SetWindowTextW(log_.Handle(), L"");
        picker_.DestroyWindow();
        GetToolTipWindow(hwnd, false);
        return false;
    default:
        return false;
    }
}

bool CCAXChatDlg::OnCommand(WORD id, WORD code)
{
    switch (id) {
    case IDC_CHAT_SEND:
        OnSend();
        return true;
    case IDC_CHAT_RENAME:
        OnRename();
        return true;
    case IDC_CHAT_FONT:
        OnFont();
        return true;
    case IDC_CHAT_EMOTICONS:
        OnEmoticons();
        return true;
    case IDC_CHAT_CLOSE:
    case IDCANCEL:
        OnClose();
        return true;
    case ID_CHAT_CLEAR:
        SetWindowTextW(log_.Handle(), L"");
        history_.clear();
        return true;
    case IDC_CHAT_NAME:
        if (code == EN_CHANGE)
            EnableWindow(Item(IDC_CHAT_RENAME), TRUE);
        return true;
    case IDC_CHAT_INPUT:
        // Rendering changes the text itself: its own notices are not news.
        if (code == EN_CHANGE && !rendering_) {
            rendering_ = true;
            input_.RenderCodes(0, false);
            rendering_ = false;
        }
        return true;
    default:
        return false;
    }
}

bool CCAXChatDlg::OnNotify(const NMHDR& header, LRESULT& result)
{
    if (header.code != EN_LINK ||
        (header.idFrom != IDC_CHAT_LOG && header.idFrom != IDC_CHAT_INPUT))
        return false;
    OnLink(reinterpret_cast<const ENLINK&>(header));
    result = 0;
    return true;
}

// A link opens in the browser on a click: press and release on the same
// link (see OpenBrowserLink for the links refused).
void CCAXChatDlg::OnLink(const ENLINK& link)
{
    if (link.msg == WM_LBUTTONDOWN) {
        pressedLink_ = link.chrg;
        return;
    }
    if (link.msg != WM_LBUTTONUP || link.chrg.cpMin != pressedLink_.cpMin ||
        link.chrg.cpMax != pressedLink_.cpMax)
        return;
    pressedLink_ = {-1, -1};
    LONG last = link.chrg.cpMax;
    if (last - link.chrg.cpMin > static_cast<LONG>(kLinkLimit))
        last = link.chrg.cpMin + kLinkLimit;
    wchar_t text[kLinkLimit + 1] = {};
    TEXTRANGEW range = {{link.chrg.cpMin, last}, text};
    SendMessageW(link.nmhdr.hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    OpenBrowserLink(text);
}

bool CCAXChatDlg::EditHook::ProcessWindowMessage(HWND, UINT message, WPARAM wParam,
                                                 LPARAM lParam, LRESULT& result)
{
    if (!owner_.OnEditMessage(map_, message, wParam, lParam))
        return false;
    result = 0;
    return true;
}

bool CCAXChatDlg::OnEditMessage(int map, UINT message, WPARAM wParam, LPARAM)
{
    if (map == 1 && message == WM_KEYDOWN && wParam == VK_RETURN &&
        GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0) {
        SendMessageW(Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
        return true;
    }
    if (map == 2 && message == WM_RBUTTONUP) {
        HMENU menu = LoadMenuW(CWindowBase::ModuleInstance(), MAKEINTRESOURCEW(IDM_CHAT));
        if (menu) {
            POINT at;
            GetCursorPos(&at);
            TrackPopupMenu(GetSubMenu(menu, 1), TPM_LEFTBUTTON, at.x, at.y, 0, Handle(), nullptr);
            DestroyMenu(menu);
        }
        return true;
    }
    return false;
}

// The rich-edit font dialog: the input's default format in, the chosen one
// out as what the next messages carry.
void CCAXChatDlg::OnFont()
{
    CHARFORMATW format = DefaultFormat(input_.Handle());
    LOGFONTW font = {};
    HDC screen = GetDC(nullptr);
    font.lfHeight = -MulDiv(format.yHeight, GetDeviceCaps(screen, LOGPIXELSY), 1440);
    ReleaseDC(nullptr, screen);
    font.lfWeight = (format.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (format.dwEffects & CFE_ITALIC) != 0;
    font.lfUnderline = (format.dwEffects & CFE_UNDERLINE) != 0;
    font.lfStrikeOut = (format.dwEffects & CFE_STRIKEOUT) != 0;
    font.lfCharSet = format.bCharSet;
    font.lfPitchAndFamily = format.bPitchAndFamily;
    lstrcpynW(font.lfFaceName, format.szFaceName, LF_FACESIZE);
    CHOOSEFONTW choose = {};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = Handle();
    choose.lpLogFont = &font;
    choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT;
    choose.rgbColors = format.crTextColor;
    if (!ChooseFontW(&choose))
        return;
    format.dwMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC |
                    CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = (font.lfWeight >= FW_BOLD ? CFE_BOLD : 0) |
                       (font.lfItalic ? CFE_ITALIC : 0) | (font.lfUnderline ? CFE_UNDERLINE : 0) |
                       (font.lfStrikeOut ? CFE_STRIKEOUT : 0);
    format.yHeight = choose.iPointSize * 2;  // tenths of a point to twips
    format.crTextColor = choose.rgbColors;
    format.bCharSet = font.lfCharSet;
    format.bPitchAndFamily = font.lfPitchAndFamily;
    lstrcpynW(format.szFaceName, font.lfFaceName, LF_FACESIZE);
    SendMessageW(input_.Handle(), EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

// The picker opens just below its button; it never takes the focus.
void CCAXChatDlg::OnEmoticons()
{
    RECT button;
    GetWindowRect(emoticonButton_.Handle(), &button);
    const RECT place = {button.left, button.bottom, button.left + 169, button.bottom + 45};
    if (!picker_.Handle() &&
        !picker_.Create(Handle(), place, nullptr, WS_POPUP | WS_BORDER, WS_EX_NOACTIVATE))
        return;
    picker_.ShowAt(place);
}

void CCAXChatDlg::OnEmoticonPicked(UINT gif, UINT codeId)
{
    if (gif == 0)
        return;
    InsertEmoticon(input_.Handle(), input_.Ole(), gif, codeId);
    if (picker_.Handle())
        ShowWindow(picker_.Handle(), SW_HIDE);
    SetFocus(input_.Handle());
}

void CCAXChatDlg::OnClose()
{
    SetWindowTextW(input_.Handle(), L"");
    SetWindowTextW(log_.Handle(), L"");
    ShowWindow(Handle(), SW_HIDE);
}
