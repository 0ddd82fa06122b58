// The chat window as the page uses it: messages typed and sent through the
// send callback, records received from peers, the history, renaming, the
// nick name from a cookie and links handed to the browser.
#include <windows.h>
#include <richedit.h>
#include <wininet.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/LinkRecorder.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/OpenMenu.h"
#include "tests/ui/chat/ChatTestSupport.h"
#include "ui/BrowserLink.h"
#include "ui/chat/CCAXChatDlg.h"
#include "ui/chat/ChatIds.h"
#include "ui/chat/ChatText.h"

namespace {

std::u16string U16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

struct Sent {
    std::vector<std::string> records;

    static void Callback(const unsigned char* data, int length, void* user)
    {
        static_cast<Sent*>(user)->records.emplace_back(reinterpret_cast<const char*>(data), length);
    }
    _tagChatMsg Record(size_t i) const
    {
        _tagChatMsg record;
        EXPECT_TRUE(record.FromBytes(records.at(i).data(), records.at(i).size(), AnsiToUtf16Text));
        return record;
    }
};

class ChatDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        chat_.SetSendCallback(&Sent::Callback, &sent_);
    }
    void TearDown() override
    {
        chat_.DestroyWindow();
        OleUninitialize();
    }
    HWND InputWindow() { return chat_.Input().Handle(); }
    std::wstring LogText() { return WindowText(chat_.Log().Handle()); }
    void Type(const std::wstring& text) { TypeChars(InputWindow(), text); }
    void Send() { SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_SEND, 0); }
    std::string Packed(const std::wstring& name, const std::wstring& text)
    {
        _tagChatMsg record;
        record.name = U16(name);
        record.text = U16(text);
        std::string bytes;
        EXPECT_TRUE(record.ToBytes(bytes));
        return bytes;
    }
    // The character format at a position of the log.
    CHARFORMATW LogFormatAt(LONG at)
    {
        CHARRANGE range = {at, at + 1};
        SendMessageW(chat_.Log().Handle(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
        CHARFORMATW format = {};
        format.cbSize = sizeof format;
        SendMessageW(chat_.Log().Handle(), EM_GETCHARFORMAT, SCF_SELECTION,
                     reinterpret_cast<LPARAM>(&format));
        return format;
    }
    // Key state of this thread, as GetKeyState reads it.
    void HoldShift(bool down)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }

    Sent sent_;
    CCAXChatDlg chat_;
};

TEST_F(ChatDialogTest, SendsTypedTextAndGuardsTheNextSecond)
{
    chat_.Show();
    ASSERT_NE(nullptr, chat_.Handle());
    EXPECT_TRUE(IsWindowVisible(chat_.Handle()));
    EXPECT_EQ(L"游客", chat_.NickName());

    Type(L"hi there");
    Send();
    ASSERT_EQ(1u, sent_.records.size());
    const _tagChatMsg record = sent_.Record(0);
    EXPECT_EQ(u"游客", record.name);
    EXPECT_EQ(u"hi there", record.text);
    EXPECT_EQ(92u, record.format.cbSize);
    EXPECT_EQ(200, record.format.yHeight);
    EXPECT_EQ(std::u16string(u"宋体"), std::u16string(record.format.szFaceName));
    EXPECT_EQ(L"", WindowText(InputWindow()));
    EXPECT_NE(std::wstring::npos, LogText().find(L"游客 说("));
    EXPECT_NE(std::wstring::npos, LogText().find(L"\r  hi there"));
    EXPECT_EQ(1u, chat_.History().size());

    // Within the second: not sent, the notice shown, the guard restarted.
    Type(L"again");
    Send();
    EXPECT_EQ(1u, sent_.records.size());
    EXPECT_NE(std::wstring::npos, LogText().find(L"系统提示：请不要太快说话"));
    EXPECT_EQ(std::wstring::npos, LogText().find(L"again"));

    ASSERT_TRUE(PumpUntil([&] { return chat_.CanSend(); }, 5000));
    Type(L"later");
    Send();
    ASSERT_EQ(2u, sent_.records.size());
    EXPECT_EQ(u"later", sent_.Record(1).text);

    // Nothing typed: nothing sent, no notice.
    ASSERT_TRUE(PumpUntil([&] { return chat_.CanSend(); }, 5000));
    Send();
    EXPECT_EQ(2u, sent_.records.size());
}

TEST_F(ChatDialogTest, AMessageIsCutTo700Characters)
{
    chat_.Show();
    const std::wstring text(701, L'x');
    SetWindowTextW(InputWindow(), text.c_str());
    ASSERT_EQ(text, WindowText(InputWindow()));
    Send();
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(700u, sent_.Record(0).text.size());
}

TEST_F(ChatDialogTest, EnterSendsAndShiftEnterBreaksTheLine)
{
    chat_.Show();
    Type(L"one");
    HoldShift(true);
    SendMessageW(InputWindow(), WM_KEYDOWN, VK_RETURN, 1);
    HoldShift(false);
    Type(L"two");
    EXPECT_TRUE(sent_.records.empty());
    // A line break of the control's own (Wine's text getters spell it as a
    // blank): two lines, three letters on either side.
    EXPECT_EQ(2, SendMessageW(InputWindow(), EM_GETLINECOUNT, 0, 0));
    const std::wstring typed = WindowText(InputWindow());
    ASSERT_EQ(7u, typed.size());
    EXPECT_EQ(L"one", typed.substr(0, 3));
    EXPECT_EQ(L"two", typed.substr(4));

    SendMessageW(InputWindow(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(U16(typed), sent_.Record(0).text);
}

TEST_F(ChatDialogTest, RenamingSendsANoticeOnlyForANewName)
{
    chat_.Show();
    HWND rename = GetDlgItem(chat_.Handle(), IDC_CHAT_RENAME);
    EXPECT_FALSE(IsWindowEnabled(rename));
    SetDlgItemTextW(chat_.Handle(), IDC_CHAT_NAME, L"游客");
    EXPECT_TRUE(IsWindowEnabled(rename));  // any change of the name edit
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_RENAME, 0);
    EXPECT_TRUE(sent_.records.empty());

    SetDlgItemTextW(chat_.Handle(), IDC_CHAT_NAME, L"bob");
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_RENAME, 0);
    ASSERT_EQ(1u, sent_.records.size());
    const _tagChatMsg notice = sent_.Record(0);
    EXPECT_EQ(u"", notice.name);
    EXPECT_EQ(u"用户 游客 改名为 bob", notice.text);
    EXPECT_EQ(L"bob", chat_.NickName());
    EXPECT_FALSE(IsWindowEnabled(rename));
    EXPECT_NE(std::wstring::npos, LogText().find(L"系统提示：用户 游客 改名为 bob"));
    // Notices stay out of the history.
    EXPECT_TRUE(chat_.History().empty());
}

TEST_F(ChatDialogTest, HistoryKeepsTheLastTenAndReplaysThemGreyed)
{
    // Hidden (not even made yet): records only go to the history.
    for (int i = 0; i < 25; ++i) {
        const std::string bytes = Packed(L"peer" + std::to_wstring(i), L"msg" + std::to_wstring(i));
        EXPECT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    }
    const std::string cut = Packed(L"x", L"y");
    EXPECT_EQ(0, chat_.ReceiveRecord(cut.data(), static_cast<int>(cut.size()) - 1));
    EXPECT_EQ(0, chat_.ReceiveRecord(nullptr, 0));
    const std::string notice = Packed(L"", L"notice");
    EXPECT_EQ(1, chat_.ReceiveRecord(notice.data(), static_cast<int>(notice.size())));
    ASSERT_EQ(10u, chat_.History().size());
    EXPECT_EQ(u"peer15", chat_.History().front().name);

    chat_.Show();
    const std::wstring log = LogText();
    EXPECT_EQ(std::wstring::npos, log.find(L"peer14 "));
    EXPECT_EQ(std::wstring::npos, log.find(L"notice"));
    const size_t body = log.find(L"  msg24");
    ASSERT_NE(std::wstring::npos, body);
    EXPECT_EQ(0x808080u, LogFormatAt(static_cast<LONG>(body) + 2).crTextColor);

    // Closing hides; showing again replays the same ten.
    SendMessageW(chat_.Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(chat_.Handle()));
    EXPECT_EQ(L"", LogText());
    chat_.Show();
    EXPECT_EQ(log, LogText());

    SendMessageW(chat_.Handle(), WM_COMMAND, ID_CHAT_CLEAR, 0);
    EXPECT_EQ(L"", LogText());
    EXPECT_TRUE(chat_.History().empty());
}

// A peer's character format is applied with our size and a terminated face
// name, whatever cbSize and face bytes arrived.
TEST_F(ChatDialogTest, AReceivedFormatIsBoundedAndShownInItsColour)
{
    chat_.Show();
    _tagChatMsg record;
    record.name = u"peer";
    record.text = u"coloured";
    record.format.cbSize = 0x7FFFFFFF;
    record.format.dwMask = CFM_COLOR | CFM_FACE;
    record.format.crTextColor = 0x00A000;
    for (char16_t& unit : record.format.szFaceName)
        unit = u'Q';
    std::string bytes;
    ASSERT_TRUE(record.ToBytes(bytes));
    ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    const std::wstring log = LogText();
    const size_t body = log.find(L"coloured");
    ASSERT_NE(std::wstring::npos, body);
    const CHARFORMATW format = LogFormatAt(static_cast<LONG>(body));
    EXPECT_EQ(0x00A000u, format.crTextColor);
    EXPECT_EQ(std::wstring(31, L'Q'), std::wstring(format.szFaceName));
    // The header is grey, the notice red.
    EXPECT_EQ(0x808080u, LogFormatAt(static_cast<LONG>(log.find(L"peer 说"))).crTextColor);
}

// Of a peer's format only the font dialog's members apply: no link,
// protected or hidden text, a height between 6 and 72 points, no offset.
// A format from our own font dialog applies as it was.
TEST_F(ChatDialogTest, AReceivedFormatKeepsOnlyTheFontDialogsMembers)
{
    chat_.Show();
    const DWORD dangerous = CFE_LINK | CFE_PROTECTED | CFE_HIDDEN;
    struct Case {
        const wchar_t* text;
        DWORD mask, effects;
        LONG height, offset;
        DWORD effectsShown;
        LONG heightShown;
    };
    const Case cases[] = {
        {L"hostile", CFM_ALL2, dangerous | CFE_BOLD | CFE_SUBSCRIPT, 0x7FFFFFFF, -10000, CFE_BOLD,
         1440},
        {L"tiny", CFM_SIZE | CFM_OFFSET | CFM_ITALIC | CFM_HIDDEN, CFE_ITALIC | CFE_HIDDEN, 1,
         10000, CFE_ITALIC, 120},
        {L"dialog", CFM_SIZE | CFM_COLOR | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT,
         CFE_UNDERLINE | CFE_STRIKEOUT, 280, 0,
         CFE_UNDERLINE | CFE_STRIKEOUT, 280},
    };
    for (const Case& c : cases) {
        _tagChatMsg record;
        record.name = u"peer";
        record.text = U16(c.text);
        record.format.dwMask = c.mask;
        record.format.dwEffects = c.effects;
        record.format.yHeight = c.height;
        record.format.yOffset = c.offset;
        std::string bytes;
        ASSERT_TRUE(record.ToBytes(bytes));
        ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
        const size_t body = LogText().rfind(c.text);
        ASSERT_NE(std::wstring::npos, body) << c.text;
        const CHARFORMATW format = LogFormatAt(static_cast<LONG>(body) + 1);
        const DWORD shown = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT | dangerous |
                            CFE_SUBSCRIPT;
        EXPECT_EQ(c.effectsShown, format.dwEffects & shown) << c.text;
        EXPECT_EQ(c.heightShown, format.yHeight) << c.text;
        EXPECT_EQ(0, format.yOffset) << c.text;
    }
}

// The font dialog's OK: the size, the effects and the colour picked become
// the input's format, so they travel with the next message.
TEST_F(ChatDialogTest, TheFontDialogsChoiceBecomesTheInputsFormat)
{
    chat_.Show();
    // The dialog's own items: strikeout, underline, size list, colour list.
    const int strikeout = 0x410, underline = 0x411, sizes = 0x472, colours = 0x473;
    bool picked = false;
    HWND reactivated = nullptr;
    DialogDriver driver({[&](HWND d) {
        const LRESULT size = SendDlgItemMessageW(d, sizes, CB_FINDSTRINGEXACT, -1,
                                                 reinterpret_cast<LPARAM>(L"20"));
        LRESULT red = CB_ERR;
        const LRESULT count = SendDlgItemMessageW(d, colours, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count && red == CB_ERR; ++i)
            if (SendDlgItemMessageW(d, colours, CB_GETITEMDATA, i, 0) == RGB(255, 0, 0))
                red = i;
        picked = size != CB_ERR && red != CB_ERR;
        SendDlgItemMessageW(d, sizes, CB_SETCURSEL, size, 0);
        SendDlgItemMessageW(d, colours, CB_SETCURSEL, red, 0);
        DialogDriver::Check(d, strikeout, true);
        DialogDriver::Check(d, underline, true);
        for (int item : {strikeout, underline})
            PostMessageW(d, WM_COMMAND, MAKEWPARAM(item, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, item)));
        for (int item : {sizes, colours})
            PostMessageW(d, WM_COMMAND, MAKEWPARAM(item, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, item)));
        DialogDriver::Press(d, IDOK);
    }, [&](HWND d) { reactivated = d; }});
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_FONT, 0);
    // The chat (a dialog itself) is active again once the font dialog is gone.
    EXPECT_EQ(2, driver.Shown());
    EXPECT_EQ(0, driver.Unexpected());
    EXPECT_EQ(chat_.Handle(), reactivated);
    ASSERT_TRUE(picked);
    CHARFORMATW format = {};
    format.cbSize = sizeof format;
    SendMessageW(InputWindow(), EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(400, format.yHeight);
    EXPECT_EQ(static_cast<DWORD>(CFE_UNDERLINE | CFE_STRIKEOUT),
              format.dwEffects & (CFE_UNDERLINE | CFE_STRIKEOUT | CFE_BOLD | CFE_ITALIC));
    EXPECT_EQ(static_cast<COLORREF>(RGB(255, 0, 0)), format.crTextColor);
    Type(L"styled");
    Send();
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(400, sent_.Record(0).format.yHeight);
    EXPECT_EQ(static_cast<std::uint32_t>(RGB(255, 0, 0)), sent_.Record(0).format.crTextColor);
}

TEST_F(ChatDialogTest, WindowAnswers)
{
    chat_.Show();
    MINMAXINFO info = {};
    SendMessageW(chat_.Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(380, info.ptMinTrackSize.x);
    EXPECT_EQ(340, info.ptMinTrackSize.y);
    RECT window;
    GetWindowRect(chat_.Handle(), &window);
    EXPECT_EQ(580, window.right - window.left);
    EXPECT_EQ(540, window.bottom - window.top);
    EXPECT_EQ(nullptr, GetWindow(chat_.Handle(), GW_OWNER));
    EXPECT_NE(0, SendMessageW(chat_.Handle(), WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(0, SendMessageW(chat_.Handle(), WM_GETICON, ICON_SMALL, 0));
    const struct {
        int id;
        const wchar_t* tip;
    } buttons[] = {{IDC_CHAT_RENAME, L"更改用户名"}, {IDC_CHAT_SEND, L"发送消息"},
                   {IDC_CHAT_FONT, L"字体"}, {IDC_CHAT_EMOTICONS, L"表情"},
                   {IDC_CHAT_CLOSE, L"关闭聊天框"}};
    for (const auto& b : buttons) {
        HWND item = GetDlgItem(chat_.Handle(), b.id);
        auto* button = dynamic_cast<UI::SDrawBtn*>(CWindowBase::FromHandle(item));
        ASSERT_NE(nullptr, button) << b.id;
        EXPECT_EQ(std::wstring(b.tip), button->ToolTipText()) << b.id;
        EXPECT_TRUE(GetWindowLongW(item, GWL_STYLE) & BS_OWNERDRAW) << b.id;
    }
    // Lower-case c and s only.
    Type(L"menu");
    SendMessageW(chat_.Handle(), WM_MENUCHAR, L'S', 0);
    EXPECT_TRUE(sent_.records.empty());
    SendMessageW(chat_.Handle(), WM_MENUCHAR, L's', 0);
    EXPECT_EQ(1u, sent_.records.size());
    SendMessageW(chat_.Handle(), WM_MENUCHAR, L'c', 0);
    EXPECT_FALSE(IsWindowVisible(chat_.Handle()));
}

RECT ItemRect(HWND dialog, int id)
{
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The chat skin's pictures: send and close 65 x 22, rename 51 x 20, font and
// emoticons 18 x 18, the toolbar row 22 high.
TEST_F(ChatDialogTest, LayoutFollowsTheClientArea)
{
    chat_.Show();
    for (SIZE size : {SIZE{580, 540}, SIZE{700, 650}}) {
        SetWindowPos(chat_.Handle(), nullptr, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOMOVE);
        RECT c;
        GetClientRect(chat_.Handle(), &c);
        const RECT i = {6, 5, c.right - 7, c.bottom - 4};
        const int a = (i.bottom - i.top) / 3;
        const int rowTop = i.bottom - a - 22;
        const int barTop = c.bottom - 34;
        const struct {
            int id;
            RECT expected;
        } items[] = {
            {IDC_CHAT_INPUT, {i.left, i.bottom - a, c.right - 7, i.bottom - 35}},
            {IDC_CHAT_LOG, {i.left, i.top, i.right, rowTop}},
            {IDC_CHAT_FONT, {i.left + 10, rowTop + 2, i.left + 28, rowTop + 20}},
            {IDC_CHAT_EMOTICONS, {i.left + 33, rowTop + 2, i.left + 51, rowTop + 20}},
            {IDC_CHAT_NAME, {i.left + 7, barTop + (i.bottom - barTop - 18) / 2, i.left + 113,
                             barTop + (i.bottom - barTop - 18) / 2 + 18}},
            {IDC_CHAT_RENAME, {i.left + 122, barTop + (i.bottom - barTop - 20) / 2, i.left + 173,
                               barTop + (i.bottom - barTop - 20) / 2 + 20}},
            {IDC_CHAT_SEND, {i.right - 65, barTop + (i.bottom - barTop - 22) / 2, i.right,
                             barTop + (i.bottom - barTop - 22) / 2 + 22}},
            {IDC_CHAT_CLOSE, {i.right - 140, barTop + (i.bottom - barTop - 22) / 2, i.right - 75,
                              barTop + (i.bottom - barTop - 22) / 2 + 22}},
        };
        for (const auto& item : items) {
            const RECT got = ItemRect(chat_.Handle(), item.id);
            EXPECT_EQ(item.expected.left, got.left) << item.id << " at " << size.cx;
            EXPECT_EQ(item.expected.top, got.top) << item.id << " at " << size.cx;
            EXPECT_EQ(item.expected.right, got.right) << item.id << " at " << size.cx;
            EXPECT_EQ(item.expected.bottom, got.bottom) << item.id << " at " << size.cx;
        }
    }
}

// The menu a right click opens runs its own modal loop: a thread timer reads
// it and picks its first item with the keyboard.
UINT g_firstMenuItem = 0;

void CALLBACK DriveMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HMENU items = nullptr;
    HWND menu = OpenMenuOfThisThread(&items);
    if (!menu)
        return;
    KillTimer(nullptr, timer);
    g_firstMenuItem = GetMenuItemID(items, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
}

TEST_F(ChatDialogTest, RightClickInTheLogOffersClearing)
{
    chat_.Show();
    const std::string bytes = Packed(L"peer", L"to be cleared");
    ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    ASSERT_NE(L"", LogText());
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, DriveMenu);
    SendMessageW(chat_.Log().Handle(), WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    KillTimer(nullptr, timer);
    EXPECT_EQ(static_cast<UINT>(ID_CHAT_CLEAR), g_firstMenuItem);
    EXPECT_TRUE(PumpUntil([&] { return LogText().empty(); }, 5000));
    EXPECT_TRUE(chat_.History().empty());
}

// Cookies of this process's WinInet, as the page's browser would hold them.
TEST(ChatNameCookie, DecodesEscapedAnsiBytesOrKeepsTheGuestName)
{
    OleInitialize(nullptr);
    const wchar_t* url = L"http://127.0.0.1/chat/";
    ASSERT_TRUE(InternetSetCookieW(url, L"first", L"1"));
    // 你好 in code page 936: C4 E3 BA C3, lower and upper case escapes.
    ASSERT_TRUE(InternetSetCookieW(url, L"nick", L"%c4%E3%Ba%C3"));
    const struct {
        const wchar_t* name;
        int enabled;
        const wchar_t* expected;
    } cases[] = {
        {L"nick", 1, L"你好"},
        {L"absent", 1, L"游客"},
        {L"nick", 0, L"游客"},
    };
    for (const auto& c : cases) {
        CCAXChatDlg chat;
        chat.SetNameCookie(c.enabled);
        chat.SetCookie(url, c.name);
        chat.Show();
        EXPECT_EQ(std::wstring(c.expected), chat.NickName()) << c.name;
        wchar_t shown[32] = {};
        GetDlgItemTextW(chat.Handle(), IDC_CHAT_NAME, shown, 32);
        EXPECT_EQ(std::wstring(c.expected), shown);
    }
    EXPECT_EQ(L"a+b c", UnescapeCookieValue(L"a+b%20c"));
    EXPECT_EQ(L"%zz%4", UnescapeCookieValue(L"%zz%4"));
    OleUninitialize();
}

TEST_F(ChatDialogTest, ALinkClickOpensTheBrowserWithOneQuotedArgument)
{
    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    chat_.Show();
    const std::string bytes = Packed(L"peer", L"see http://127.0.0.1/a?b=1&c=2 now");
    ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    HWND log = chat_.Log().Handle();
    const LONG at = static_cast<LONG>(LogText().find(L"http://")) + 4;
    POINTL point = {};
    SendMessageW(log, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), at);
    const LPARAM where = MAKELPARAM(point.x + 1, point.y + 2);
    SendMessageW(log, WM_LBUTTONDOWN, MK_LBUTTON, where);
    SendMessageW(log, WM_LBUTTONUP, 0, where);
    ASSERT_TRUE(recorder.WaitForLaunches(1, 20000));
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1/a?b=1&c=2"}), recorder.Arguments(0));

    // A link holding a double quote is not handed on.
    const std::string quoted = Packed(L"peer", L"http://127.0.0.1/x\"-y");
    ASSERT_EQ(1, chat_.ReceiveRecord(quoted.data(), static_cast<int>(quoted.size())));
    const std::wstring text = LogText();
    const LONG first = static_cast<LONG>(text.rfind(L"http://"));
    ENLINK link = {};
    link.nmhdr.hwndFrom = log;
    link.nmhdr.idFrom = IDC_CHAT_LOG;
    link.nmhdr.code = EN_LINK;
    link.chrg = {first, static_cast<LONG>(text.size())};
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) {
        link.msg = message;
        SendMessageW(chat_.Handle(), WM_NOTIFY, IDC_CHAT_LOG, reinterpret_cast<LPARAM>(&link));
    }
    EXPECT_FALSE(recorder.WaitForLaunches(2, 1000));
}

// A link that the browser would read as a switch is not handed on; the
// next plain link is.
TEST_F(ChatDialogTest, ALinkStartingAsASwitchIsNotOpened)
{
    const struct {
        const wchar_t* link;
        bool opened;
    } table[] = {{L"-switch", false}, {L"/switch", false}, {L"http://a/-b", true},
                 {L"x\"y", false}, {L"", false}};
    for (const auto& c : table)
        EXPECT_EQ(c.opened, IsBrowserLink(c.link)) << c.link;

    LinkRecorder recorder;
    ASSERT_TRUE(recorder.Install()) << recorder.Error();
    chat_.Show();
    const std::string bytes = Packed(L"peer", L"-nohome /nohome http://127.0.0.1/after");
    ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    const std::wstring text = LogText();
    HWND log = chat_.Log().Handle();
    auto click = [&](const wchar_t* what, size_t length) {
        const LONG first = static_cast<LONG>(text.find(what));
        ENLINK link = {};
        link.nmhdr.hwndFrom = log;
        link.nmhdr.idFrom = IDC_CHAT_LOG;
        link.nmhdr.code = EN_LINK;
        link.chrg = {first, first + static_cast<LONG>(length)};
        for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONUP}) {
            link.msg = message;
            SendMessageW(chat_.Handle(), WM_NOTIFY, IDC_CHAT_LOG, reinterpret_cast<LPARAM>(&link));
        }
    };
    click(L"-nohome", 7);
    click(L"/nohome", 7);
    click(L"http://127.0.0.1/after", 22);
    ASSERT_TRUE(recorder.WaitForLaunches(1, 20000));
    EXPECT_EQ((std::vector<std::wstring>{L"http://127.0.0.1/after"}), recorder.Arguments(0));
    EXPECT_FALSE(recorder.WaitForLaunches(2, 1000));
}

}  // namespace
