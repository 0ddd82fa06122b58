#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/window/DialogBase.h"
#include "platform/window/WindowBase.h"
#include "tests/platform/test_window_base_ids.h"

namespace {

const UINT kAsk = WM_USER + 1;

std::wstring TextOf(HWND hwnd)
{
    wchar_t text[64] = {};
    GetWindowTextW(hwnd, text, 64);
    return text;
}

// A created window that records what its map saw and answers kAsk with 42.
class RecordingWindow : public CWindowBase {
public:
    std::vector<UINT> seen;
    HWND finalHwnd = nullptr;
    bool* deleted = nullptr;     // set: the object deletes itself at the end

    bool ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) override
    {
        seen.push_back(message);
        if (message == kAsk) {
            result = 42 + lParam;
            return true;
        }
        return false;
    }
    bool Saw(UINT message) const
    {
        for (UINT m : seen)
            if (m == message)
                return true;
        return false;
    }

protected:
    void OnFinalMessage(HWND hwnd) override
    {
        finalHwnd = hwnd;
        if (deleted) {
            *deleted = true;
            delete this;
        }
    }
};

HWND CreatePopup(CWindowBase& window)
{
    RECT rect = {0, 0, 200, 100};
    return window.Create(nullptr, rect, L"first", WS_OVERLAPPEDWINDOW);
}

TEST(WindowBase, CreatedWindowsAreBoundToTheirObjectsFromTheFirstMessage)
{
    RecordingWindow a, b;
    HWND ha = CreatePopup(a);
    HWND hb = CreatePopup(b);
    ASSERT_TRUE(ha && hb);
    EXPECT_EQ(ha, a.Handle());
    EXPECT_EQ(&a, CWindowBase::FromHandle(ha));
    EXPECT_EQ(&b, CWindowBase::FromHandle(hb));
    // What arrives before CreateWindowEx returns reaches the map too.
    ASSERT_FALSE(a.seen.empty());
    EXPECT_EQ(WM_GETMINMAXINFO, a.seen.front());
    EXPECT_TRUE(a.Saw(WM_NCCREATE));
    EXPECT_TRUE(a.Saw(WM_CREATE));

    EXPECT_EQ(42 + 3, SendMessageW(ha, kAsk, 0, 3));
    // Unhandled messages take the default procedure.
    SetWindowTextW(hb, L"second");
    EXPECT_EQ(L"second", TextOf(hb));
    EXPECT_EQ(L"first", TextOf(ha));
    EXPECT_FALSE(a.Saw(WM_SETTEXT));
    EXPECT_TRUE(b.Saw(WM_SETTEXT));
    EXPECT_EQ(nullptr, a.Create(nullptr, RECT{0, 0, 10, 10}, L"again", WS_POPUP));
}

TEST(WindowBase, TheEndOfTheWindowUnbindsTheObjectAndMayDeleteIt)
{
    bool deleted = false;
    auto* window = new RecordingWindow;
    window->deleted = &deleted;
    HWND hwnd = CreatePopup(*window);
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(DestroyWindow(hwnd));
    EXPECT_TRUE(deleted);
    EXPECT_FALSE(IsWindow(hwnd));

    RecordingWindow kept;
    hwnd = CreatePopup(kept);
    EXPECT_TRUE(kept.DestroyWindow());
    EXPECT_EQ(hwnd, kept.finalHwnd);
    EXPECT_TRUE(kept.Saw(WM_DESTROY));
    EXPECT_TRUE(kept.Saw(WM_NCDESTROY));
    EXPECT_EQ(nullptr, kept.Handle());
    EXPECT_FALSE(kept.DestroyWindow());
    // The object can make a new window once the old one is gone.
    EXPECT_TRUE(CreatePopup(kept));
}

TEST(WindowBase, AnObjectGoingOutOfScopeTakesItsWindowWithIt)
{
    HWND hwnd;
    {
        RecordingWindow window;
        hwnd = CreatePopup(window);
        ASSERT_TRUE(IsWindow(hwnd));
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

// Keeps digits out of an edit control; everything else reaches the control.
class DigitFilter : public CWindowBase {
public:
    int finals = 0;
    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override
    {
        if (message == WM_CHAR && wParam >= L'0' && wParam <= L'9') {
            result = 0;
            return true;
        }
        return false;
    }

protected:
    void OnFinalMessage(HWND) override { ++finals; }
};

void Type(HWND edit, const wchar_t* text)
{
    for (; *text; ++text)
        SendMessageW(edit, WM_CHAR, *text, 1);
}

TEST(WindowBase, SubclassingPassesUnhandledMessagesToTheOriginalProcedure)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_TRUE(edit);
    LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    {
        DigitFilter filter;
        ASSERT_TRUE(filter.SubclassWindow(edit));
        EXPECT_TRUE(filter.IsSubclassed());
        DigitFilter second;
        EXPECT_FALSE(second.SubclassWindow(edit));   // one object to a window

        Type(edit, L"a1b2");
        EXPECT_EQ(L"ab", TextOf(edit));
        EXPECT_EQ(edit, filter.UnsubclassWindow());
        EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
        Type(edit, L"3");
        EXPECT_EQ(L"ab3", TextOf(edit));

        // Subclassed again, then the window goes first: the object is let go.
        ASSERT_TRUE(filter.SubclassWindow(edit));
        DestroyWindow(edit);
        EXPECT_EQ(1, filter.finals);
        EXPECT_EQ(nullptr, filter.Handle());
    }
}

TEST(WindowBase, AnObjectLeavingASubclassedControlGivesItsProcedureBack)
{
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                                nullptr, nullptr);
    LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
    {
        DigitFilter filter;
        ASSERT_TRUE(filter.SubclassWindow(edit));
    }
    EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
    Type(edit, L"7");
    EXPECT_EQ(L"7", TextOf(edit));
    DestroyWindow(edit);
}

// A child control that answers reflected notifications.
class ReflectedChild : public CWindowBase {
public:
    std::vector<UINT> reflected;
    WORD lastCode = 0;
    HBRUSH brush = nullptr;      // answer to a reflected WM_CTLCOLORBTN

    bool ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) override
    {
        if (message < kReflectBase)
            return false;
        reflected.push_back(message - kReflectBase);
        switch (message - kReflectBase) {
        case WM_COMMAND:
            lastCode = HIWORD(wParam);
            result = 0;
            return true;
        case WM_DRAWITEM:
            result = TRUE;
            return true;
        case WM_CTLCOLORBTN:
            result = reinterpret_cast<LRESULT>(brush);
            return true;
        default:
            return false;
        }
    }
};

class ReflectingParent : public CWindowBase {
public:
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override
    {
        return ReflectNotification(hwnd, message, wParam, lParam, result);
    }
};

TEST(WindowBase, ParentsReflectNotificationsToTheChildTheyCameFrom)
{
    ReflectingParent parent;
    ASSERT_TRUE(CreatePopup(parent));
    HWND button = CreateWindowExW(0, L"BUTTON", L"go", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0,
                                  0, 50, 20, parent.Handle(), reinterpret_cast<HMENU>(7),
                                  nullptr, nullptr);
    ReflectedChild child;
    ASSERT_TRUE(child.SubclassWindow(button));

    // A real click: the button sends BN_CLICKED to its parent.
    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_EQ(BN_CLICKED, child.lastCode);

    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_BUTTON;
    draw.CtlID = 7;
    draw.hwndItem = button;
    EXPECT_EQ(TRUE, SendMessageW(parent.Handle(), WM_DRAWITEM, 7, reinterpret_cast<LPARAM>(&draw)));
    EXPECT_EQ(WM_DRAWITEM, child.reflected.back());

    HDC dc = GetDC(parent.Handle());
    child.brush = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(reinterpret_cast<LRESULT>(child.brush),
              SendMessageW(parent.Handle(), WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(button)));
    ReleaseDC(parent.Handle(), dc);

    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    DRAWITEMSTRUCT menuDraw = {};
    menuDraw.CtlType = ODT_MENU;
    const Case notReflected[] = {
        {"menu command", WM_COMMAND, 5, 0},
        {"menu item drawing", WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&menuDraw)},
        {"not a notification", WM_SIZE, 0, 0},
        {"unhandled colour", WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(button)},
    };
    for (const Case& c : notReflected) {
        LRESULT result = -5;
        EXPECT_FALSE(CMessageMap::ReflectNotification(parent.Handle(), c.message, c.wParam,
                                                      c.lParam, result))
            << c.what;
    }
}

// The sample dialog: counts Apply clicks, colours its edit field, answers kAsk.
class SampleDialog : public CDialogBase {
public:
    bool initialised = false;
    int applied = 0;
    bool closeAtOnce = false;
    int finals = 0;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM,
                              LRESULT& result) override
    {
        switch (message) {
        case WM_INITDIALOG:
            initialised = true;
            if (closeAtOnce)
                PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
            result = TRUE;
            return true;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_APPLY)
                ++applied;
            else if (LOWORD(wParam) == IDOK)
                EndDialog(7);
            return true;
        case WM_CTLCOLOREDIT:
            result = reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH));
            return true;
        case kAsk:
            result = 77;
            return true;
        default:
            return false;
        }
    }

protected:
    void OnFinalMessage(HWND) override { ++finals; }
};

TEST(DialogBase, AModelessDialogFromATemplateRunsItsMessageMap)
{
    SampleDialog dialog;
    HWND hwnd = dialog.Create(nullptr, MAKEINTRESOURCEW(IDD_SAMPLE));
    ASSERT_TRUE(hwnd);
    EXPECT_TRUE(dialog.initialised);
    EXPECT_FALSE(dialog.IsModal());
    ASSERT_TRUE(dialog.Item(IDC_NAME));

    SendMessageW(dialog.Item(IDC_APPLY), BM_CLICK, 0, 0);
    EXPECT_EQ(1, dialog.applied);
    // A result through DWLP_MSGRESULT, and one returned directly.
    EXPECT_EQ(77, SendMessageW(hwnd, kAsk, 0, 0));
    EXPECT_EQ(reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH)),
              SendMessageW(hwnd, WM_CTLCOLOREDIT, 0,
                           reinterpret_cast<LPARAM>(dialog.Item(IDC_NAME))));

    EXPECT_TRUE(dialog.EndDialog(1));   // modeless: destroyed
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(1, dialog.finals);
    EXPECT_EQ(nullptr, dialog.Handle());
}

TEST(DialogBase, AModalDialogReturnsTheValueItEndedWith)
{
    SampleDialog dialog;
    dialog.closeAtOnce = true;
    EXPECT_EQ(7, dialog.DoModal(nullptr, MAKEINTRESOURCEW(IDD_SAMPLE)));
    EXPECT_TRUE(dialog.initialised);
    EXPECT_EQ(1, dialog.finals);

    SampleDialog missing;
    EXPECT_EQ(-1, missing.DoModal(nullptr, MAKEINTRESOURCEW(999)));
    EXPECT_EQ(nullptr, missing.Create(nullptr, MAKEINTRESOURCEW(999)));
}

} // namespace
