// The cache settings' headers bring the network headers, which go first.
#include <winsock2.h>

#include "ui/CSettingsDlg.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "ui/DialogIds.h"
#include "ui/DialogText.h"
#include "vod/CacheFolder.h"
#include "vod/VodCacheFile.h"

namespace {

const int kMinCacheSizeMB = 500;
const int kMaxCacheSizeMB = 1048576;
const int kCustomRow = 1;

// The network types, row = type. Rates in kbits per second, 0 shown empty.
// The 8 MB line's 8196 is the value the other programs of the system expect.
struct NetType {
    UINT name;
    int down, up;
};
const NetType kNetTypes[] = {
    {IDS_NET_UNKNOWN, 0, 0},        {IDS_NET_UNKNOWN + 1, 0, 0},
    {IDS_NET_UNKNOWN + 2, 512, 512}, {IDS_NET_UNKNOWN + 3, 1024, 512},
    {IDS_NET_UNKNOWN + 4, 2048, 512}, {IDS_NET_UNKNOWN + 5, 8196, 512},
    {IDS_NET_UNKNOWN + 6, 0, 0},
};

void SetNumber(HWND dialog, int id, int value)
{
    if (!SetDlgItemInt(dialog, id, static_cast<UINT>(value), TRUE)) {
        MessageBeep(MB_OK);
        SetFocus(GetDlgItem(dialog, id));
    }
}

// A signed decimal number between optional blanks, and nothing else.
bool ParseNumber(const std::wstring& text, long long& value)
{
    std::size_t at = text.find_first_not_of(L" \t");
    const std::size_t end = text.find_last_not_of(L" \t") + 1;
    if (at == std::wstring::npos)
        return false;
    const bool negative = text[at] == L'-';
    if (text[at] == L'-' || text[at] == L'+')
        ++at;
    if (at == end)
        return false;
    value = 0;
    for (; at < end; ++at) {
        if (text[at] < L'0' || text[at] > L'9')
            return false;
        value = std::min(value * 10 + (text[at] - L'0'), 1LL << 40);  // big stays big
    }
    if (negative)
        value = -value;
    return true;
}

void CheckUnit(HWND dialog, int id)
{
    CheckRadioButton(dialog, IDC_UNIT_KBITS, IDC_UNIT_KBYTES, id);
}

// Opens the browser at the folder we show.
int CALLBACK BrowseCallback(HWND window, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED && start)
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

} // namespace

INT_PTR CSettingsDlg::DoModal(HWND parent)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    return CDialogBase::DoModal(parent, MAKEINTRESOURCEW(IDD_SETTINGS));
}

bool CSettingsDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                        LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = FALSE;  // the focus is placed
        return true;
    case WM_NOTIFY: {
        auto header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_NET_TYPES || header->code != NM_CLICK)
            return false;
        EnableCustomRates(SelectedRow() == kCustomRow);
        result = 0;
        return true;
    }
    case WM_COMMAND:
        result = 0;
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            EndDialog(IDCANCEL);
            return true;
        case IDC_BROWSE_FOLDER:
            OnBrowse();
            return true;
        }
        return false;
    }
    return false;
}

void CSettingsDlg::OnInitDialog()
{
    HWND dialog = Handle();
    m_folder = GetCacheFolder(false);
    m_cacheSize = std::min(std::max(CVodCacheFile::GetCacheSize(), kMinCacheSizeMB),
                           kMaxCacheSizeMB);
    if (!SetDlgItemTextW(dialog, IDC_CACHE_FOLDER, m_folder.c_str())) {
        MessageBeep(MB_OK);
        SetFocus(Item(IDC_CACHE_FOLDER));
    }
    SetNumber(dialog, IDC_CACHE_SIZE, m_cacheSize);
    CheckUnit(dialog, IDC_UNIT_KBITS);
    FillNetTypes();

    const int type = CVodCacheFile::GetNetType();
    HWND list = Item(IDC_NET_TYPES);
    ListView_SetItemState(list, type, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, type, FALSE);
    if (type == kCustomRow) {
        EnableCustomRates(true);
        SetNumber(dialog, IDC_NET_DOWN, CVodCacheFile::GetNetDown());
        SetNumber(dialog, IDC_NET_UP, CVodCacheFile::GetNetUp());
        CheckUnit(dialog, CVodCacheFile::GetDataType() == 2 ? IDC_UNIT_KBYTES : IDC_UNIT_KBITS);
    }
    // The list takes the focus unless an item that failed to fill took it:
    // only a focused list draws its selection in the highlight colour, an
    // unfocused one in the face colour, barely apart from its white rows.
    HWND focus = GetFocus();
    if (!focus || !IsChild(dialog, focus))
        SetFocus(list);
    dialogs::CenterDialog(dialog);
}

void CSettingsDlg::FillNetTypes()
{
    HWND list = Item(IDC_NET_TYPES);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    struct Column {
        UINT name;
        int format, width;
    };
    const Column columns[] = {{IDS_COLUMN_CONNECTION, LVCFMT_LEFT, 70},
                              {IDS_COLUMN_DOWNLOAD, LVCFMT_RIGHT, 100},
                              {IDS_COLUMN_UPLOAD, LVCFMT_RIGHT, 100}};
    for (int i = 0; i < 3; ++i) {
        std::wstring name = dialogs::LoadText(columns[i].name);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = columns[i].format;
        column.cx = columns[i].width;
        column.pszText = &name[0];
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    int row = 0;
    for (const NetType& type : kNetTypes) {
        std::wstring name = dialogs::LoadText(type.name);
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = &name[0];
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        const int rates[] = {type.down, type.up};
        for (int cell = 0; cell < 2; ++cell) {
            wchar_t text[16] = L"";
            if (rates[cell] != 0)
                wsprintfW(text, L"%d", rates[cell]);
            item.iSubItem = cell + 1;
            item.pszText = text;
            SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
        ++row;
    }
}

void CSettingsDlg::EnableCustomRates(bool enable)
{
    for (int id = IDC_NET_DOWN; id <= IDC_UNIT_KBYTES; ++id)
        EnableWindow(Item(id), enable);
}

void CSettingsDlg::OnBrowse()
{
    wchar_t path[MAX_PATH] = L"";
    BROWSEINFOW info = {};
    info.hwndOwner = GetActiveWindow();
    info.pszDisplayName = path;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(m_folder.c_str());
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    if (!chosen)
        return;
    if (SHGetPathFromIDListW(chosen, path)) {
        m_folder = path;
        SetDlgItemTextW(Handle(), IDC_CACHE_FOLDER, m_folder.c_str());
    }
    CoTaskMemFree(chosen);
}

void CSettingsDlg::OnOK()
{
    HWND dialog = Handle();
    m_folder = dialogs::ItemText(dialog, IDC_CACHE_FOLDER);
    long long size = 0;
    if (!ParseNumber(dialogs::ItemText(dialog, IDC_CACHE_SIZE), size)) {
        MessageBeep(MB_OK);
        SetFocus(Item(IDC_CACHE_SIZE));
        return;
    }
    if (size < kMinCacheSizeMB || size > kMaxCacheSizeMB) {
        dialogs::ShowNotice(dialog, IDS_CACHE_SIZE_RANGE);
        return;
    }
    m_cacheSize = static_cast<int>(size);
    CVodCacheFile::SetCachePath(m_folder);
    CVodCacheFile::SetCacheSize(m_cacheSize);

    const int row = SelectedRow();
    CVodCacheFile::SetNetType(row);
    int down, up, dataType;
    if (row == kCustomRow) {
        down = static_cast<int>(GetDlgItemInt(dialog, IDC_NET_DOWN, nullptr, FALSE));
        up = static_cast<int>(GetDlgItemInt(dialog, IDC_NET_UP, nullptr, FALSE));
        dataType = IsDlgButtonChecked(dialog, IDC_UNIT_KBITS) == BST_CHECKED ? 1 : 2;
    } else {
        down = CellNumber(row, 1);
        up = CellNumber(row, 2);
        dataType = 1;
    }
    CVodCacheFile::SetNetDown(down);
    CVodCacheFile::SetNetUp(up);
    CVodCacheFile::SetDataType(dataType);
    EndDialog(IDOK);
}

int CSettingsDlg::SelectedRow() const
{
    return ListView_GetNextItem(Item(IDC_NET_TYPES), -1, LVNI_SELECTED);
}

int CSettingsDlg::CellNumber(int row, int column) const
{
    if (row < 0)
        return 0;
    wchar_t text[16] = L"";
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 16;
    SendMessageW(Item(IDC_NET_TYPES), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return _wtoi(text);
}
