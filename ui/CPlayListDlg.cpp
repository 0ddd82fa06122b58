#include "ui/CPlayListDlg.h"

#include <commctrl.h>

#include <cwchar>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"
#include "common/xml/XMLELement.h"
#include "platform/window/WindowBase.h"
#include "ui/DialogIds.h"
#include "ui/DialogText.h"

namespace {

const int kNameWidth = 200, kTimeWidth = 42;

std::string Utf8(const std::wstring& text)
{
    const int length = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(count > 0 ? count : 0, '\0');
    if (count > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), length, &bytes[0], count, nullptr, nullptr);
    return bytes;
}

std::wstring FromUtf8(const std::string& bytes)
{
    const int length = static_cast<int>(bytes.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(count > 0 ? count : 0, L'\0');
    if (count > 0)
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), length, &text[0], count);
    return text;
}

// Minutes and seconds, with the hours of the day in front when there are
// any; whole days are not shown.
std::wstring DurationText(long long seconds)
{
    if (seconds < 0)
        seconds = 0;
    const int hours = static_cast<int>(seconds / 3600 % 24);
    const int minutes = static_cast<int>(seconds / 60 % 60), secs = static_cast<int>(seconds % 60);
    wchar_t text[16];
    if (hours == 0)
        swprintf(text, 16, L"%02d:%02d", minutes, secs);
    else
        swprintf(text, 16, L"%02d:%02d:%02d", hours, minutes, secs);
    return text;
}

int TextWidth(const wchar_t* text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FONT));
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

} // namespace

HWND CPlayListDlg::Create(HWND owner, std::uint64_t channelId, const std::wstring& url)
{
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    m_channelId = channelId;
    m_url = url;
    HWND hwnd = CDialogBase::Create(owner, MAKEINTRESOURCEW(IDD_PLAYLIST));
    if (hwnd)
        ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

bool CPlayListDlg::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM,
                                        LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        result = TRUE;
        return true;
    case WM_SIZE:
        Layout();
        result = 0;
        return true;
    case WM_CLOSE:
        ShowWindow(hwnd, SW_HIDE);
        result = 0;
        return true;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDC_REFRESH_LIST)
            return false;
        RequestList();
        result = 0;
        return true;
    case WM_HTTPHELPER_DONE:
        return OnHttpMessage(wParam, result);
    case WM_DESTROY:
        CancelAll();
        return false;
    }
    return false;
}

void CPlayListDlg::OnInitDialog()
{
    HWND hwnd = Handle();
    const HINSTANCE module = CWindowBase::ModuleInstance();
    auto big = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_PLAYLIST), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXICON),
                                             GetSystemMetrics(SM_CYICON), LR_SHARED));
    auto smallIcon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_PLAYLIST),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));

    HWND list = Item(IDC_PROGRAMMES);
    ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const UINT names[] = {IDS_COLUMN_PROGRAMME, IDS_COLUMN_TIME};
    const int widths[] = {kNameWidth, kTimeWidth};
    for (int i = 0; i < 2; ++i) {
        std::wstring name = dialogs::LoadText(names[i]);
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.cx = widths[i];
        column.pszText = &name[0];
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    RequestList();

    RECT client;
    GetClientRect(hwnd, &client);
    SetWindowPos(hwnd, nullptr, 0, 0, client.right + 2, client.bottom + 2,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    dialogs::CenterDialog(hwnd);
}

void CPlayListDlg::Layout()
{
    RECT area;
    GetClientRect(Handle(), &area);
    InflateRect(&area, -2, -2);
    const int width = area.right - area.left;
    HWND label = GetWindow(Handle(), GW_CHILD);   // the first item: the label
    MoveWindow(label, area.left, area.top, width - 40 > 0 ? width - 40 : 0, 20, TRUE);
    MoveWindow(Item(IDC_REFRESH_LIST), area.right - 40, area.top, 40, 20, TRUE);
    const int listHeight = area.bottom - area.top - 20;
    MoveWindow(Item(IDC_PROGRAMMES), area.left, area.top + 20, width,
               listHeight > 0 ? listHeight : 0, TRUE);
    HWND list = Item(IDC_PROGRAMMES);
    RECT inner;
    GetClientRect(list, &inner);
    ListView_SetColumnWidth(list, 0, inner.right - ListView_GetColumnWidth(list, 1));
}

void CPlayListDlg::RequestList()
{
    if (m_channelId == 0 || m_url.empty())
        return;
    btDict dict;
    dict.Insert("msg", new btString("getplaylist"));
    dict.Insert("cid", new btInteger(static_cast<std::int64_t>(m_channelId)));
    btStream stream;
    btEncoder(&stream).EncodeDict(&dict);
    if (Post(m_url.c_str(), stream.GetBuffer().data(), stream.GetSize(), kListRequest, 3))
        EnableWindow(Item(IDC_REFRESH_LIST), FALSE);
}

int CPlayListDlg::OnHttpDone(UINT, bool ok, const std::wstring& text)
{
    EnableWindow(Item(IDC_REFRESH_LIST), TRUE);
    if (!ok)
        return 1;
    const std::string bytes = Utf8(text);
    btStream stream;
    btDict reply;
    if (bytes.size() > 0x7fffffff ||
        stream.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())) != 0 ||
        btDecoder(&stream).DecodeDict(&reply) != 0)
        return 1;
    const btObject* result = reply.Find("result");
    const btObject* playlist = reply.Find("playlist");
    if (result && result->GetType() == BT_STRING && playlist &&
        playlist->GetType() == BT_STRING &&
        static_cast<const btString*>(result)->ToStdString() == "success")
        ShowList(FromUtf8(static_cast<const btString*>(playlist)->ToStdString()));
    return 1;
}

void CPlayListDlg::ShowList(const std::wstring& text)
{
    HWND list = Item(IDC_PROGRAMMES);
    ListView_DeleteAllItems(list);
    if (text.empty())
        return;
    static const wchar_t kOpen[] = L"<s>", kClose[] = L"</s>";
    tool::XMLELement rest;
    rest.SetText(text);
    bool longTimes = false;
    int row = 0;
    std::wstring element;
    for (rest.GetTagValue(L"s", element); !element.empty(); rest.GetTagValue(L"s", element)) {
        std::wstring name = element, time = L"00:00";
        const std::size_t bar = element.find(L'|');
        if (bar != std::wstring::npos) {
            name = element.substr(0, bar);
            time = DurationText(wcstoll(element.c_str() + bar + 1, nullptr, 10));
        }
        longTimes = longTimes || time.size() > 5;
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = &name[0];
        const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0,
                                                     reinterpret_cast<LPARAM>(&item)));
        item.iSubItem = 1;
        item.pszText = &time[0];
        SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
        // Drop the element just shown, from its opening tag to its closing one.
        const std::wstring& all = rest.GetText();
        const std::size_t open = all.find(kOpen);
        const std::size_t close = all.find(kClose, open + 3);
        rest.SetText(all.substr(close + 4));
        ++row;
    }
    FitColumns(longTimes);
}

void CPlayListDlg::FitColumns(bool longTimes)
{
    HWND list = Item(IDC_PROGRAMMES);
    RECT inner;
    GetClientRect(list, &inner);
    const int oldTime = ListView_GetColumnWidth(list, 1);
    ListView_SetColumnWidth(list, 0, inner.right - oldTime);
    const int time = TextWidth(longTimes ? L"00:00:00" : L"00:00") + 10;
    if (time != oldTime) {
        ListView_SetColumnWidth(list, 0, ListView_GetColumnWidth(list, 0) - (time - oldTime));
        ListView_SetColumnWidth(list, 1, time);
    }
}
