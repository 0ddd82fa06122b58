// Emoticons in the chat window with the picture class offered: codes typed
// or received become pictures, pictures go out as delimited codes and are
// copied as bare ones, and the picker's picks land in the input.
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/common/ProcessCounts.h"
#include "tests/platform/EmoticonClass.h"
#include "tests/ui/chat/ChatTestSupport.h"
#include "ui/chat/CCAXChatDlg.h"
#include "ui/chat/ChatIds.h"
#include "ui/chat/ChatText.h"
#include "ui/chat/EmoticonPicture.h"

namespace {

struct Sent {
    std::vector<std::string> records;
    static void Callback(const unsigned char* data, int length, void* user)
    {
        static_cast<Sent*>(user)->records.emplace_back(reinterpret_cast<const char*>(data), length);
    }
    std::u16string Text(size_t i) const
    {
        _tagChatMsg record;
        EXPECT_TRUE(record.FromBytes(records.at(i).data(), records.at(i).size(), AnsiToUtf16Text));
        return record.text;
    }
};

// The user values (code string ids) of a rich edit's objects, in text order.
std::vector<DWORD> ObjectCodes(COleRichEdit& edit)
{
    std::vector<DWORD> codes;
    IRichEditOle* ole = edit.Ole();
    for (LONG i = 0; ole && i < ole->GetObjectCount(); ++i) {
        REOBJECT reo = {};
        reo.cbStruct = sizeof reo;
        if (SUCCEEDED(ole->GetObject(i, &reo, REO_GETOBJ_NO_INTERFACES)))
            codes.push_back(reo.dwUser);
    }
    if (ole)
        ole->Release();
    return codes;
}

class ChatEmoticonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        offered_.reset(new EmoticonClassInProcess(TOVRA_EMOTICON_DLL, CLSID_EmoticonPicture));
        ASSERT_TRUE(offered_->Registered());
        chat_.SetSendCallback(&Sent::Callback, &sent_);
        chat_.Show();
        ASSERT_NE(nullptr, chat_.Handle());
    }
    void TearDown() override
    {
        chat_.DestroyWindow();
        offered_.reset();
        OleUninitialize();
    }
    HWND Input() { return chat_.Input().Handle(); }
    void Receive(const std::wstring& name, const std::wstring& text)
    {
        _tagChatMsg record;
        record.name.assign(name.begin(), name.end());
        record.text.assign(text.begin(), text.end());
        std::string bytes;
        ASSERT_TRUE(record.ToBytes(bytes));
        ASSERT_EQ(1, chat_.ReceiveRecord(bytes.data(), static_cast<int>(bytes.size())));
    }

    std::unique_ptr<EmoticonClassInProcess> offered_;
    Sent sent_;
    CCAXChatDlg chat_;
};

TEST_F(ChatEmoticonTest, ATypedCodeBecomesAPictureAtItsLastKey)
{
    TypeChars(Input(), L"a/:");
    EXPECT_TRUE(ObjectCodes(chat_.Input()).empty());
    TypeChars(Input(), L"A");
    EXPECT_EQ(std::vector<DWORD>{137}, ObjectCodes(chat_.Input()));
    // The caret stays after the picture: what follows is typed after it.
    TypeChars(Input(), L"b /:Z");
    EXPECT_EQ(std::vector<DWORD>{137}, ObjectCodes(chat_.Input()));
    EXPECT_EQ(L"a\x7F/:A\x7F" L"b /:Z", chat_.Input().GetCodeText());
}

TEST_F(ChatEmoticonTest, PicturesAreSentAsDelimitedCodes)
{
    TypeChars(Input(), L"/:A hello /:C!");
    EXPECT_EQ((std::vector<DWORD>{137, 139}), ObjectCodes(chat_.Input()));
    SendMessageW(Input(), WM_KEYDOWN, VK_RETURN, 1);
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(u"\x7F/:A\x7F hello \x7F/:C\x7F!", sent_.Text(0));
    // The sender's own log shows the pictures again.
    EXPECT_EQ((std::vector<DWORD>{137, 139}), ObjectCodes(chat_.Log()));
}

// Delimited codes render in a body; bare ones only in headers and notices.
TEST_F(ChatEmoticonTest, ReceivedCodesRenderWhereTheyMayStand)
{
    Receive(L"peer", L"x\x7F/:B\x7Fy");
    EXPECT_EQ(std::vector<DWORD>{138}, ObjectCodes(chat_.Log()));
    Receive(L"peer", L"bare /:B stays");
    EXPECT_EQ(std::vector<DWORD>{138}, ObjectCodes(chat_.Log()));
    Receive(L"/:D", L"name with a code");
    EXPECT_EQ((std::vector<DWORD>{138, 155}), ObjectCodes(chat_.Log()));
    Receive(L"", L"notice /:O");
    EXPECT_EQ((std::vector<DWORD>{138, 155, 166}), ObjectCodes(chat_.Log()));
    const std::wstring text = WindowText(chat_.Log().Handle());
    EXPECT_NE(std::wstring::npos, text.find(L"bare /:B stays"));
    EXPECT_EQ(std::wstring::npos, text.find(L"\x7F"));
}

TEST_F(ChatEmoticonTest, CopyingAPicturePutsItsBareCode)
{
    TypeChars(Input(), L"a/:Eb");
    ASSERT_EQ(std::vector<DWORD>{156}, ObjectCodes(chat_.Input()));
    CHARRANGE all = {0, -1};
    SendMessageW(Input(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    EXPECT_EQ(L"a/:Eb", chat_.Input().GetSelectionCodeText());
    SendMessageW(Input(), WM_COPY, 0, 0);
    EXPECT_EQ(L"a/:Eb", ClipboardText(chat_.Handle()));
}

TEST_F(ChatEmoticonTest, PicksGoIntoTheInputAndOverTwentyAreNotSent)
{
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_EMOTICONS, 0);
    ASSERT_NE(nullptr, chat_.Picker().Handle());
    EXPECT_TRUE(IsWindowVisible(chat_.Picker().Handle()));
    RECT picker, button;
    GetWindowRect(chat_.Picker().Handle(), &picker);
    GetWindowRect(GetDlgItem(chat_.Handle(), IDC_CHAT_EMOTICONS), &button);
    EXPECT_EQ(button.left, picker.left);
    EXPECT_EQ(button.bottom, picker.top);
    EXPECT_EQ(169, picker.right - picker.left);
    EXPECT_EQ(45, picker.bottom - picker.top);

    SendMessageW(chat_.Handle(), WM_EMOTICON_PICKED, 0, 0);
    EXPECT_TRUE(ObjectCodes(chat_.Input()).empty());
    EXPECT_TRUE(IsWindowVisible(chat_.Picker().Handle()));
    SendMessageW(chat_.Handle(), WM_EMOTICON_PICKED, 231, 138);
    EXPECT_EQ(std::vector<DWORD>{138}, ObjectCodes(chat_.Input()));
    EXPECT_FALSE(IsWindowVisible(chat_.Picker().Handle()));

    for (int i = 0; i < 20; ++i)
        SendMessageW(chat_.Handle(), WM_EMOTICON_PICKED, 230, 137);
    ASSERT_EQ(21u, ObjectCodes(chat_.Input()).size());
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
    EXPECT_TRUE(sent_.records.empty());
    EXPECT_EQ(21u, ObjectCodes(chat_.Input()).size());
    EXPECT_NE(std::wstring::npos,
              WindowText(chat_.Log().Handle()).find(L"系统提示：表情过多，请分多次发送"));

    // Twenty go.
    CHARRANGE first = {0, 1};
    SendMessageW(Input(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(Input(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(20u * 5, sent_.Text(0).size());
}

// 699 letters and a picture make 704 characters of code text: the cut at 700
// would split the code, so the whole code stays out.
TEST_F(ChatEmoticonTest, TheCutAt700NeverSplitsACode)
{
    const std::wstring letters(699, L'x');
    SetWindowTextW(Input(), letters.c_str());
    CHARRANGE end = {-1, -1};
    SendMessageW(Input(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(chat_.Handle(), WM_EMOTICON_PICKED, 230, 137);
    ASSERT_EQ(std::vector<DWORD>{137}, ObjectCodes(chat_.Input()));
    SendMessageW(chat_.Handle(), WM_COMMAND, IDC_CHAT_SEND, 0);
    ASSERT_EQ(1u, sent_.records.size());
    EXPECT_EQ(std::u16string(699, u'x'), sent_.Text(0));
}

// A record shows at most twenty pictures, whatever a peer packed into it:
// the name's bare codes count with the body's delimited ones, the rest stay
// text. The next record has twenty of its own.
TEST_F(ChatEmoticonTest, AReceivedRecordShowsAtMostTwentyPictures)
{
    std::wstring body;
    for (int i = 0; i < 30; ++i)
        body += L"\x7F/:B\x7F";
    Receive(L"/:A/:C", body);
    const std::vector<DWORD> shown = ObjectCodes(chat_.Log());
    ASSERT_EQ(20u, shown.size());
    EXPECT_EQ((std::vector<DWORD>{137, 139}), std::vector<DWORD>(shown.begin(), shown.begin() + 2));
    EXPECT_EQ(std::vector<DWORD>(18, 138), std::vector<DWORD>(shown.begin() + 2, shown.end()));
    std::wstring rest;
    for (int i = 0; i < 12; ++i)
        rest += L"\x7F/:B\x7F";
    const std::wstring text = WindowText(chat_.Log().Handle());
    EXPECT_EQ(text.size() - rest.size(), text.find(rest)) << "the last twelve codes stay text";

    Receive(L"peer", L"\x7F/:D\x7F\x7F/:D\x7F");
    EXPECT_EQ(22u, ObjectCodes(chat_.Log()).size());
}

// A record of 6,500 codes costs the process what twenty pictures cost; the
// counts are the process's own (GetGuiResources answers 0 under Wine), and
// they rise with pictures shown.
TEST_F(ChatEmoticonTest, AFloodOfCodesCostsNoMoreThanTwentyPictures)
{
    const int gdiBefore = testcounts::GdiObjectsOfThisProcess();
    const int windowsBefore = testcounts::WindowsOfThisProcess();
    Receive(L"friend", L"\x7F/:A\x7F\x7F/:B\x7F\x7F/:C\x7F\x7F/:D\x7F\x7F/:E\x7F");
    ASSERT_EQ(5u, ObjectCodes(chat_.Log()).size());
    const int gdiFive = testcounts::GdiObjectsOfThisProcess();
    const int windowsFive = testcounts::WindowsOfThisProcess();
    EXPECT_GT(gdiFive, gdiBefore);
    EXPECT_GT(windowsFive, windowsBefore);
    std::wstring flood;
    for (int i = 0; i < 6500; ++i)
        flood += L"\x7F/:A\x7F";
    Receive(L"hostile", flood);
    ASSERT_EQ(25u, ObjectCodes(chat_.Log()).size());
    const int gdiFlood = testcounts::GdiObjectsOfThisProcess();
    const int windowsFlood = testcounts::WindowsOfThisProcess();
    std::printf("GDI objects %d, five pictures %d, after the flood %d; windows %d, %d, %d\n",
                gdiBefore, gdiFive, gdiFlood, windowsBefore, windowsFive, windowsFlood);
    EXPECT_LE(gdiFlood - gdiFive, 400);
    EXPECT_LE(windowsFlood - windowsFive, 25);
}

// What the log is sent while a record shows.
struct LogMessages {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        ++count;
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    static WNDPROC original;
    static int count;
};
WNDPROC LogMessages::original = nullptr;
int LogMessages::count = 0;

// The codes of a long text are found in one reading of it: the log is sent
// about as many messages for 3,000 characters as for 300.
TEST_F(ChatEmoticonTest, FindingCodesInALongTextDoesNotAskTheLogPerCharacter)
{
    HWND log = chat_.Log().Handle();
    CHARFORMATW format = {};
    format.cbSize = sizeof format;
    SendMessageW(log, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    std::vector<int> counts;
    for (int words : {60, 600}) {
        std::wstring text;
        for (int i = 0; i < words; ++i)
            text += L"word ";
        SetWindowTextW(log, L"");
        chat_.AppendToLog(text + L"\x7F/:E\x7F", format);
        LogMessages::count = 0;
        LogMessages::original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LogMessages::Proc)));
        EXPECT_EQ(1, chat_.Log().RenderCodes(0, true));
        SetWindowLongPtrW(log, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogMessages::original));
        counts.push_back(LogMessages::count);
        EXPECT_EQ(std::vector<DWORD>{156}, ObjectCodes(chat_.Log()));
    }
    EXPECT_LT(counts[1], counts[0] + 100) << counts[0] << " then " << counts[1];
}

// A received text is cut where a sender cuts: 700 characters, never in a
// code, so a peer's 32 K characters cannot keep the log busy.
TEST_F(ChatEmoticonTest, AReceivedTextIsCutAt700Characters)
{
    Receive(L"peer", std::wstring(698, L'y') + L"\x7F/:A\x7F" + std::wstring(30000, L'z'));
    ASSERT_EQ(1u, chat_.History().size());
    EXPECT_EQ(std::u16string(698, u'y'), chat_.History().back().text);
    EXPECT_TRUE(ObjectCodes(chat_.Log()).empty());
}

}  // namespace
