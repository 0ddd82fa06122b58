// The settings dialog, driven through its items as a user would, and judged
// by what it leaves in the settings files.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tests/ui/DialogDriver.h"
#include "tests/vod/CacheTestPrefix.h"
#include "ui/CSettingsDlg.h"
#include "ui/DialogIds.h"

namespace {

using cachetest::ReadSetting;
using cachetest::WriteSetting;

// Selects a row of the network types and clicks it, as the mouse would.
void ClickRow(HWND dialog, int row)
{
    HWND list = GetDlgItem(dialog, IDC_NET_TYPES);
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_NET_TYPES;
    click.hdr.code = NM_CLICK;
    click.iItem = row;
    SendMessageW(dialog, WM_NOTIFY, IDC_NET_TYPES, reinterpret_cast<LPARAM>(&click));
}

// The four custom-rate items' enabled states, as "1111" or "0000".
std::string RateItemsEnabled(HWND dialog)
{
    std::string states;
    for (int id = IDC_NET_DOWN; id <= IDC_UNIT_KBYTES; ++id)
        states += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
    return states;
}

bool Checked(HWND dialog, int id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

class SettingsDialog : public cachetest::CachePrefix {
protected:
    void SetUp() override
    {
        CachePrefix::SetUp();
        // Stored values unlike anything a test's OK writes.
        Store(L"3000", L"1", L"3000", L"800", L"2");
    }

    void Store(const wchar_t* size, const wchar_t* type, const wchar_t* down, const wchar_t* up,
               const wchar_t* dataType)
    {
        WriteSetting(m_localIni, L"size", size);
        WriteSetting(m_commonIni, L"nettype", type);
        WriteSetting(m_commonIni, L"netdown", down);
        WriteSetting(m_commonIni, L"netup", up);
        WriteSetting(m_commonIni, L"datatype", dataType);
    }

    // size, nettype, netdown, netup, datatype as the files hold them.
    std::vector<std::wstring> Stored()
    {
        return {ReadSetting(m_localIni, L"size"), ReadSetting(m_commonIni, L"nettype"),
                ReadSetting(m_commonIni, L"netdown"), ReadSetting(m_commonIni, L"netup"),
                ReadSetting(m_commonIni, L"datatype")};
    }

    std::string Files()
    {
        std::string local, common;
        cachetest::ReadWholeFile(m_localIni, local);
        cachetest::ReadWholeFile(m_commonIni, common);
        return local + "\n--\n" + common;
    }

    INT_PTR Run(std::vector<DialogDriver::Step> steps, int* shown = nullptr)
    {
        DialogDriver driver(std::move(steps));
        CSettingsDlg dialog;
        const INT_PTR result = dialog.DoModal(nullptr);
        EXPECT_EQ(driver.Unexpected(), 0);
        if (shown)
            *shown = driver.Shown();
        return result;
    }
};

TEST_F(SettingsDialog, AKnownTypeSavesItsRatesInKilobits)
{
    struct Case {
        int row;
        const wchar_t *down, *up;
    };
    const Case cases[] = {{0, L"0", L"0"},
                          {2, L"512", L"512"},
                          {4, L"2048", L"512"},
                          {5, L"8196", L"512"},
                          {6, L"0", L"0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        Store(L"3000", L"1", L"3000", L"800", L"2");
        ASSERT_EQ(Run({[&](HWND d) {
                      ClickRow(d, c.row);
                      DialogDriver::Press(d, IDOK);
                  }}),
                  IDOK);
        const std::vector<std::wstring> expected = {L"3000", std::to_wstring(c.row), c.down, c.up,
                                                    L"1"};
        EXPECT_EQ(Stored(), expected);
        EXPECT_EQ(ReadSetting(m_localIni, L"path"), cachetest::kCacheFolder);
    }
}

TEST_F(SettingsDialog, CustomRatesKeepTheirUnit)
{
    struct Case {
        int unit;
        const wchar_t* dataType;
    };
    for (const Case& c : {Case{IDC_UNIT_KBYTES, L"2"}, Case{IDC_UNIT_KBITS, L"1"}}) {
        SCOPED_TRACE(c.unit);
        Store(L"3000", L"4", L"1", L"1", L"0");
        ASSERT_EQ(Run({[&](HWND d) {
                      ClickRow(d, 1);
                      DialogDriver::SetText(d, IDC_NET_DOWN, L"3000");
                      DialogDriver::SetText(d, IDC_NET_UP, L"800");
                      DialogDriver::Check(d, IDC_UNIT_KBITS, c.unit == IDC_UNIT_KBITS);
                      DialogDriver::Check(d, IDC_UNIT_KBYTES, c.unit == IDC_UNIT_KBYTES);
                      DialogDriver::Press(d, IDOK);
                  }}),
                  IDOK);
        const std::vector<std::wstring> expected = {L"3000", L"1", L"3000", L"800", c.dataType};
        EXPECT_EQ(Stored(), expected);
    }
}

TEST_F(SettingsDialog, ShowsTheStoredValuesAndCancelWritesNothing)
{
    struct Case {
        const wchar_t *size, *type, *dataType;
        const wchar_t* shownSize;
        std::string rateItems;
        const wchar_t *shownDown, *shownUp;
        bool kbytes;
    };
    const Case cases[] = {
        {L"100", L"1", L"2", L"500", "1111", L"3000", L"800", true},
        {L"2000000", L"1", L"1", L"1048576", "1111", L"3000", L"800", false},
        {L"3000", L"4", L"2", L"3000", "0000", L"", L"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " " << c.type);
        Store(c.size, c.type, L"3000", L"800", c.dataType);
        const std::string before = Files();
        std::wstring size, down, up;
        std::string rateItems;
        bool kbits = false, kbytes = false;
        int selected = -2;
        ASSERT_EQ(Run({[&](HWND d) {
                      size = DialogDriver::ItemText(d, IDC_CACHE_SIZE);
                      down = DialogDriver::ItemText(d, IDC_NET_DOWN);
                      up = DialogDriver::ItemText(d, IDC_NET_UP);
                      rateItems = RateItemsEnabled(d);
                      kbits = Checked(d, IDC_UNIT_KBITS);
                      kbytes = Checked(d, IDC_UNIT_KBYTES);
                      selected = ListView_GetNextItem(GetDlgItem(d, IDC_NET_TYPES), -1,
                                                      LVNI_SELECTED);
                      DialogDriver::Press(d, IDCANCEL);
                  }}),
                  IDCANCEL);
        EXPECT_EQ(size, c.shownSize);
        EXPECT_EQ(selected, _wtoi(c.type));
        EXPECT_EQ(rateItems, c.rateItems);
        EXPECT_EQ(down, c.shownDown);
        EXPECT_EQ(up, c.shownUp);
        EXPECT_EQ(kbytes, c.kbytes);
        EXPECT_EQ(kbits, !c.kbytes);
        EXPECT_EQ(Files(), before);
    }
}

// Each stored network type opens with its row selected, scrolled into view
// and drawn as the selection: the list holds the focus.
TEST_F(SettingsDialog, TheStoredTypesRowIsSelectedAndShown)
{
    for (int type = 0; type < 7; ++type) {
        SCOPED_TRACE(type);
        Store(L"3000", std::to_wstring(type).c_str(), L"3000", L"800", L"2");
        int selected = -2, top = -1, perPage = 0;
        bool focused = false;
        ASSERT_EQ(Run({[&](HWND d) {
                      DialogDriver::WhenReady(
                          d, [d] { return IsWindowVisible(d) && GetFocus() != nullptr; },
                          [&, d] {
                              HWND list = GetDlgItem(d, IDC_NET_TYPES);
                              selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
                              top = ListView_GetTopIndex(list);
                              perPage = ListView_GetCountPerPage(list);
                              focused = GetFocus() == list;
                              DialogDriver::Press(d, IDCANCEL);
                          });
                  }}),
                  IDCANCEL);
        EXPECT_EQ(selected, type);
        EXPECT_LE(top, type);
        EXPECT_LT(type, top + perPage) << "rows " << top << " to " << top + perPage - 1;
        EXPECT_TRUE(focused);
    }
}

TEST_F(SettingsDialog, OnlyTheCustomRowEnablesTheRates)
{
    std::vector<std::string> states;
    ASSERT_EQ(Run({[&](HWND d) {
                  for (int row = 0; row < 7; ++row) {
                      ClickRow(d, row);
                      states.push_back(RateItemsEnabled(d));
                  }
                  DialogDriver::Press(d, IDCANCEL);
              }}),
              IDCANCEL);
    const std::vector<std::string> expected = {"0000", "1111", "0000", "0000",
                                               "0000", "0000", "0000"};
    EXPECT_EQ(states, expected);
}

TEST_F(SettingsDialog, ASizeOutOfRangeIsRefusedAndTheDialogStays)
{
    std::wstring notice;
    int shown = 0;
    ASSERT_EQ(Run({[](HWND d) {
                       DialogDriver::SetText(d, IDC_CACHE_SIZE, L"400");
                       DialogDriver::Press(d, IDOK);
                   },
                   [&](HWND box) {
                       notice = DialogDriver::BoxText(box);
                       DialogDriver::Press(box, IDOK);
                       // Still open behind the notice: a size in range now.
                       HWND d = GetWindow(box, GW_OWNER);
                       DialogDriver::SetText(d, IDC_CACHE_SIZE, L"600");
                       DialogDriver::Press(d, IDOK);
                   }},
                  &shown),
              IDOK);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(notice, L"缓冲大小不能低于500MB");
    EXPECT_EQ(Stored()[0], L"600");
}

// A timer message comes after every posted one: its procedure sees the dialog
// once OK has been handled, notes the focus and cancels.
HWND g_probed = nullptr;
HWND g_focusAfterOk = nullptr;
void CALLBACK ProbeThenCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_focusAfterOk = GetFocus();
    DialogDriver::Press(g_probed, IDCANCEL);
}

TEST_F(SettingsDialog, ASizeThatIsNoNumberSavesNothing)
{
    const std::string before = Files();
    int shown = 0;
    HWND sizeItem = nullptr;
    ASSERT_EQ(Run({[&](HWND d) {
                      ClickRow(d, 4);
                      DialogDriver::SetText(d, IDC_CACHE_SIZE, L"12ab");
                      DialogDriver::Press(d, IDOK);
                      sizeItem = GetDlgItem(d, IDC_CACHE_SIZE);
                      g_probed = d;
                      SetTimer(nullptr, 0, 1, ProbeThenCancel);
                  }},
                  &shown),
              IDCANCEL);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(g_focusAfterOk, sizeItem);
    EXPECT_EQ(Files(), before);
}

std::wstring g_folderAfterBrowse;
void CALLBACK ReadFolderThenCancel(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_folderAfterBrowse = DialogDriver::ItemText(g_probed, IDC_CACHE_FOLDER);
    DialogDriver::Press(g_probed, IDCANCEL);
}

// The browser is the system's: it is only checked to hand the folder chosen
// in it back to the folder item (Wine's cannot select a hidden folder such as
// the cache folder, so the choice is another one). The folder is clicked in
// the browser's tree, as a user would, not only asked for by path: Wine's
// browser finds an asked folder by comparing item ids byte for byte, and an
// item id carries the folder's last access time, which the browser's own look
// into the folder (for subfolders) moves after the tree has listed it; once
// that lands in another two-second step of the id's clock, the ask never
// matches. Asking still opens the tree down to the folder's parent, so the
// folder is asked for until its item is in the tree, then that item selected.
const wchar_t kPicked[] = L"C:\\tovra_picked";
const wchar_t kPickedName[] = L"tovra_picked";
HWND g_browser = nullptr;

HWND BrowserTree(HWND browser)
{
    return FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
}

std::wstring TreeItemText(HWND tree, HTREEITEM item)
{
    wchar_t text[MAX_PATH] = L"";
    TVITEMW data = {};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH;
    if (!item || !SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&data)))
        return std::wstring();
    return text;
}

// The item named `name` among those the tree holds under `item` (and its
// siblings); the tree is a few levels deep and a few dozen items.
HTREEITEM FindTreeItem(HWND tree, HTREEITEM item, const std::wstring& name)
{
    for (; item; item = TreeView_GetNextSibling(tree, item)) {
        if (TreeItemText(tree, item) == name)
            return item;
        if (HTREEITEM found = FindTreeItem(tree, TreeView_GetChild(tree, item), name))
            return found;
    }
    return nullptr;
}

HTREEITEM PickedItem()
{
    HWND tree = BrowserTree(g_browser);
    return tree ? FindTreeItem(tree, TreeView_GetRoot(tree), kPickedName) : nullptr;
}

int g_pickTicks = 0;
const int kPickTicks = 500;   // of 20 ms: 10 s

// Asks for the folder until its item is in the tree (bounded), clicks it and
// confirms; the settings dialog is read and cancelled either way.
void CALLBACK PickThenConfirm(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!PickedItem()) {
        SendMessageW(g_browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(kPicked));
        if (!PickedItem() && ++g_pickTicks < kPickTicks)
            return;
    }
    KillTimer(nullptr, timer);
    HWND tree = BrowserTree(g_browser);
    if (HTREEITEM item = PickedItem())
        TreeView_SelectItem(tree, item);
    // What the browser hands back is its tree's selection.
    if (TreeItemText(tree, TreeView_GetSelection(tree)) == kPickedName) {
        DialogDriver::Press(g_browser, IDOK);
    } else {
        std::fwprintf(stderr, L"the browser's tree never selected the picked folder\n");
        DialogDriver::Press(g_browser, IDCANCEL);
    }
    SetTimer(nullptr, 0, 1, ReadFolderThenCancel);
}

TEST_F(SettingsDialog, TheFolderChosenInTheBrowserIsShown)
{
    CreateDirectoryW(kPicked, nullptr);
    // An access time well before the folder's change time: the browser's first
    // look into the folder then moves it, so the case above holds every run.
    HANDLE folder = CreateFileW(kPicked, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER hourAgo = {{now.dwLowDateTime, now.dwHighDateTime}};
    hourAgo.QuadPart -= 36000000000ULL;
    const FILETIME accessed = {hourAgo.LowPart, hourAgo.HighPart};
    SetFileTime(folder, nullptr, &accessed, nullptr);
    CloseHandle(folder);
    g_folderAfterBrowse.clear();
    g_pickTicks = 0;
    ASSERT_EQ(Run({[](HWND d) {
                       g_probed = d;
                       DialogDriver::Press(d, IDC_BROWSE_FOLDER);
                   },
                   [](HWND browser) {
                       g_browser = browser;
                       SetTimer(nullptr, 0, 20, PickThenConfirm);
                   }}),
              IDCANCEL);
    RemoveDirectoryW(kPicked);
    EXPECT_EQ(g_folderAfterBrowse, kPicked);
}

} // namespace
