// The programme list against the content server of
// tests/fixtures/content_server.py: its request, its rows and their times,
// the column widths, the refresh button while a reply is awaited, closing.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/NetTestSupport.h"
#include "tests/ui/WidgetHost.h"
#include "ui/CPlayListDlg.h"
#include "ui/DialogIds.h"

namespace {

std::wstring Cell(HWND list, int row, int column)
{
    wchar_t text[128] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

std::vector<std::wstring> Rows(HWND list)
{
    std::vector<std::wstring> rows;
    for (int row = 0; row < ListView_GetItemCount(list); ++row)
        rows.push_back(Cell(list, row, 0) + L"=" + Cell(list, row, 1));
    return rows;
}

int SystemTextWidth(const wchar_t* text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

class PlayListDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(content.Ready()) << "run through the content_server fixture";
        content.Set("{\"reset\": true}");
        const std::string url = nettest::FixtureUrl("TOVRA_CONTENT_PORT", "/cgi-bin/vod.fcgi");
        cgi.assign(url.begin(), url.end());
    }
    int Lists() { return content.WaitCount("route=getplaylist", 0, 0); }
    bool WaitForReply(CPlayListDlg& dialog)
    {
        return PumpUntil([&] { return IsWindowEnabled(dialog.Item(IDC_REFRESH_LIST)) != FALSE; },
                         10000);
    }

    nettest::FixtureControl content{"TOVRA_CONTENT_PORT"};
    std::wstring cgi;
};

TEST_F(PlayListDialog, RowsShowNamesAndDurations)
{
    content.Set("{\"playlist\": \"<s>A|59</s><s>B|3661</s><s>C|90000</s><s>D</s>"
                "<s>E|0</s><s>F|-5</s>\"}");
    CPlayListDlg dialog;
    ASSERT_NE(dialog.Create(nullptr, 77, cgi), nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
    EXPECT_NE(SendMessageW(dialog.Handle(), WM_GETICON, ICON_BIG, 0), 0);
    ASSERT_TRUE(WaitForReply(dialog));
    HWND list = dialog.Item(IDC_PROGRAMMES);
    const std::vector<std::wstring> expected = {L"A=00:59", L"B=01:01:01", L"C=01:00:00",
                                                L"D=00:00", L"E=00:00", L"F=00:00"};
    EXPECT_EQ(Rows(list), expected);
    const std::string state = content.Get("/_state");
    EXPECT_NE(state.find("d3:cidi77e3:msg11:getplayliste"), std::string::npos) << state;

    // A row needs the hours: the time column takes their width, the name
    // column the rest of the list.
    RECT inner;
    GetClientRect(list, &inner);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), SystemTextWidth(L"00:00:00") + 10);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0) + ListView_GetColumnWidth(list, 1), inner.right);

    // Shorter times give the width back; an empty list leaves no row.
    dialog.ShowList(L"<s>X|5</s>");
    EXPECT_EQ(Rows(list), std::vector<std::wstring>{L"X=00:05"});
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), SystemTextWidth(L"00:00") + 10);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0) + ListView_GetColumnWidth(list, 1), inner.right);
    dialog.ShowList(L"");
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

TEST_F(PlayListDialog, RefreshWaitsForTheReplyAndBadRepliesKeepTheList)
{
    content.Set("{\"delay_ms\": {\"getplaylist\": 1500}, \"playlist\": \"<s>A|1</s>\"}");
    CPlayListDlg dialog;
    ASSERT_NE(dialog.Create(nullptr, 77, cgi), nullptr);
    EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_REFRESH_LIST)));
    ASSERT_TRUE(WaitForReply(dialog));
    EXPECT_EQ(Rows(dialog.Item(IDC_PROGRAMMES)), std::vector<std::wstring>{L"A=00:01"});

    // A reply without a list changes nothing but the button.
    content.Set("{\"playlist\": \"\"}");
    SendMessageW(dialog.Handle(), WM_COMMAND, IDC_REFRESH_LIST, 0);
    EXPECT_FALSE(IsWindowEnabled(dialog.Item(IDC_REFRESH_LIST)));
    ASSERT_TRUE(WaitForReply(dialog));
    EXPECT_EQ(Lists(), 2);
    EXPECT_EQ(Rows(dialog.Item(IDC_PROGRAMMES)), std::vector<std::wstring>{L"A=00:01"});
}

TEST_F(PlayListDialog, NothingIsAskedWithoutAChannelOrAnAddress)
{
    for (std::uint64_t channel : {0ull, 5ull}) {
        CPlayListDlg dialog;
        ASSERT_NE(dialog.Create(nullptr, channel, channel ? L"" : cgi), nullptr);
        EXPECT_TRUE(IsWindowEnabled(dialog.Item(IDC_REFRESH_LIST)));
    }
    EXPECT_EQ(Lists(), 0);
}

TEST_F(PlayListDialog, ClosingHides)
{
    CPlayListDlg dialog;
    ASSERT_NE(dialog.Create(nullptr, 77, cgi), nullptr);
    ASSERT_TRUE(WaitForReply(dialog));
    SendMessageW(dialog.Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(dialog.Handle()));
    EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
}

} // namespace
