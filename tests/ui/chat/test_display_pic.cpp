// The emoticon picker driven by real input: its cells on screen and in
// pixels, the hovered cell's frame, animation and tooltip, the click that
// names an emoticon to the owner, and the clicks elsewhere that hide it
// while the chat's input keeps the focus.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tests/ui/SkinPixels.h"
#include "tests/ui/WidgetHost.h"
#include "ui/CPictureEx.h"
#include "ui/chat/CCAXChatDlg.h"
#include "ui/chat/CDisplayPicWnd.h"
#include "ui/chat/EmoticonTable.h"

namespace {

// The chat's stand-in: a log and an input, and the picks it was sent.
class Owner : public CWindowBase {
public:
    Owner()
    {
        RECT r = {100, 100, 500, 400};
        Create(nullptr, r, L"owner", WS_POPUP | WS_VISIBLE);
        log = CreateWindowExW(0, L"EDIT", L"log", WS_CHILD | WS_VISIBLE | ES_READONLY, 10, 150,
                              380, 60, Handle(), nullptr, nullptr, nullptr);
        input = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 10, 230, 380, 30,
                                Handle(), nullptr, nullptr, nullptr);
    }
    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override
    {
        if (message != WM_EMOTICON_PICKED)
            return false;
        picks.push_back({static_cast<UINT>(wParam), static_cast<UINT>(lParam)});
        result = 0;
        return true;
    }
    HWND log = nullptr;
    HWND input = nullptr;
    std::vector<std::pair<UINT, UINT>> picks;

protected:
    void DescribeClass(WNDCLASSEXW& wc) override
    {
        CWindowBase::DescribeClass(wc);
        wc.lpszClassName = L"TovraPickerOwner";
    }
};

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OleInitialize(nullptr);
        BuildEmoticonTable();
        SetForegroundWindow(owner.Handle());
        SetFocus(owner.input);
        ASSERT_TRUE(picker.Create(owner.Handle(), place, nullptr, WS_POPUP | WS_BORDER,
                                  WS_EX_NOACTIVATE));
        picker.ShowAt(place);
        ASSERT_TRUE(IsWindowVisible(picker.Handle()));
    }
    void TearDown() override
    {
        picker.DestroyWindow();
        owner.DestroyWindow();
        OleUninitialize();
    }
    POINT CellCentre(int i)
    {
        RECT cell = picker.CellRect(230 + i);
        POINT p = {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
        ClientToScreen(picker.Handle(), &p);
        return p;
    }
    bool HoverCell(int i)
    {
        POINT p = CellCentre(i);
        MouseMoveTo(p.x, p.y);
        return PumpUntil([&] { return picker.HoveredGif() == static_cast<UINT>(230 + i); });
    }
    void ClickAt(POINT p)
    {
        MouseMoveTo(p.x, p.y);
        PumpUntil([] { return false; }, 0);
        MouseButton(true);
        MouseButton(false);
    }

    RECT place = {150, 120, 150 + 169, 120 + 45};
    Owner owner;
    CDisplayPicWnd picker;
};

TEST_F(PickerTest, CellsLieEightToARowOnePixelApart)
{
    DibCanvas dib(169, 45);
    SendMessageW(picker.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dib.Dc()),
                 PRF_CLIENT);
    for (int i = 0; i < kEmoticonCount; ++i) {
        RECT cell = picker.CellRect(230 + i);
        int left = 2 + 20 * (i % 8), top = 1 + 20 * (i / 8);
        EXPECT_EQ(left, cell.left) << i;
        EXPECT_EQ(top, cell.top) << i;
        EXPECT_EQ(left + 19, cell.right) << i;
        EXPECT_EQ(top + 19, cell.bottom) << i;
        // The faces' outlines touch the cell's top edge; the gap left of a cell is white.
        if (i != 2 && i != 6) {
            EXPECT_EQ(RGB(214, 120, 0), dib.At(left + 9, top)) << i;
        }
        EXPECT_EQ(RGB(255, 255, 255), dib.At(left - 1, top + 9)) << i;
    }
    RECT none = picker.CellRect(245);
    EXPECT_TRUE(IsRectEmpty(&none));
}

TEST_F(PickerTest, HoverFramesAnimatesAndNamesOneCellAtATime)
{
    ASSERT_TRUE(HoverCell(0));
    EXPECT_TRUE(picker.Cell(230)->IsRunning());
    wchar_t text[80] = {};
    TTTOOLINFOW info = {};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.hwnd = owner.Handle();
    info.uId = reinterpret_cast<UINT_PTR>(picker.Handle());
    info.lpszText = text;
    SendMessageW(picker.ToolTip(), TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(L"\u5bb3\u7f9e /:A", text);
    // The tip shows over the picker, which is never the active window.
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(picker.ToolTip()) != FALSE; }));

    // The black frame lies on the hovered cell's rectangle.
    DibCanvas dib(169, 45);
    SendMessageW(picker.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dib.Dc()), PRF_CLIENT);
    EXPECT_EQ(RGB(0, 0, 0), dib.At(2, 1));
    EXPECT_EQ(RGB(0, 0, 0), dib.At(20, 19));

    ASSERT_TRUE(HoverCell(14));
    EXPECT_FALSE(picker.Cell(230)->IsRunning());
    EXPECT_TRUE(picker.Cell(244)->IsRunning());
    SendMessageW(picker.ToolTip(), TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(L"\u653e\u7535 /:O", text);

    // Between two cells nothing is hovered and nothing runs.
    POINT gap = {21, 5};
    ClientToScreen(picker.Handle(), &gap);
    MouseMoveTo(gap.x, gap.y);
    ASSERT_TRUE(PumpUntil([&] { return picker.HoveredGif() == 0; }));
    EXPECT_FALSE(picker.Cell(244)->IsRunning());
    SendMessageW(picker.Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dib.Dc()), PRF_CLIENT);
    EXPECT_EQ(RGB(255, 255, 255), dib.At(2 + 20 * 6, 1 + 20));
}

TEST_F(PickerTest, AClickNamesTheCellsEmoticonAndKeepsTheFocus)
{
    const std::pair<int, std::pair<UINT, UINT>> cases[] = {
        {0, {230, 137}}, {7, {237, 159}}, {8, {238, 160}}, {14, {244, 166}}};
    for (const auto& c : cases) {
        owner.picks.clear();
        ASSERT_TRUE(HoverCell(c.first)) << c.first;
        MouseButton(true);
        MouseButton(false);
        ASSERT_TRUE(PumpUntil([&] { return !owner.picks.empty(); })) << c.first;
        EXPECT_EQ(c.second, owner.picks[0]) << c.first;
        EXPECT_EQ(1u, owner.picks.size());
        // The chat hides it; the click alone does not.
        EXPECT_TRUE(IsWindowVisible(picker.Handle()));
        EXPECT_EQ(owner.input, GetFocus());
        EXPECT_EQ(owner.Handle(), GetForegroundWindow());
    }
}

TEST_F(PickerTest, AClickElsewhereHidesItAndOneInsideDoesNot)
{
    for (int round = 0; round < 2; ++round) {
        // A click inside (seen through the pick it sends) leaves it open.
        owner.picks.clear();
        ASSERT_TRUE(HoverCell(3));
        MouseButton(true);
        MouseButton(false);
        ASSERT_TRUE(PumpUntil([&] { return !owner.picks.empty(); })) << round;
        EXPECT_TRUE(IsWindowVisible(picker.Handle())) << round;
        ASSERT_TRUE(HoverCell(3));
        ClickAt({200, 280});   // in the log
        ASSERT_TRUE(PumpUntil([&] { return !IsWindowVisible(picker.Handle()); })) << round;
        EXPECT_EQ(0u, picker.HoveredGif());
        EXPECT_FALSE(picker.Cell(233)->IsRunning());
        EXPECT_EQ(owner.log, GetFocus()) << "the click's own window, never the picker";
        // Shown again, it hides again: the hook came back with it.
        picker.ShowAt(place);
        SetFocus(owner.input);
    }
}

}  // namespace
