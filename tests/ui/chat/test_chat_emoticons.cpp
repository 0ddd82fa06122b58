// Emoticons in the chat window with the picture class offered: codes typed
// or received become pictures, pictures go out as delimited codes and are
// copied as bare ones, and the picker's picks land in the input.
#include <windows.h>
#include <richedit.h>
#include <richole.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
