// The chat window's messages: sending, receiving, the history and the log.
#include "ui/chat/CCAXChatDlg.h"

#include <wininet.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <vector>

#include "ui/chat/ChatIds.h"
#include "ui/chat/ChatText.h"
#include "ui/chat/EmoticonTable.h"

namespace {

const COLORREF kGrey = 0x808080;
const COLORREF kRed = 0x0000FF;

static_assert(sizeof(CHARFORMATW) == sizeof(ChatCharFormat), "the record carries a CHARFORMATW");

std::wstring Wide(const std::u16string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::u16string Utf16(const std::wstring& text)
{
    return std::u16string(text.begin(), text.end());
}

// What a received format may set: the members the font dialog sets. A peer's
// link, protected, hidden or offset effect would otherwise reach our log.
const DWORD kPeerMask = CFM_SIZE | CFM_COLOR | CFM_FACE | CFM_CHARSET | CFM_BOLD | CFM_ITALIC |
                        CFM_UNDERLINE | CFM_STRIKEOUT;
const DWORD kPeerEffects = CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT | CFE_AUTOCOLOR;
// Heights in twips: 6 to 72 points, the range of the font dialog's size list.
const LONG kPeerHeightMin = 120;
const LONG kPeerHeightMax = 1440;

// A received format is a peer's: its size is ours, its face name ends inside
// the array, only the font dialog's members are kept, the height is clamped
// and the text sits on the line.
CHARFORMATW PeerFormat(const ChatCharFormat& peer)
{
    CHARFORMATW format;
    std::memcpy(&format, &peer, sizeof format);
    format.cbSize = sizeof format;
    format.szFaceName[LF_FACESIZE - 1] = L'\0';
    format.dwMask &= kPeerMask;
    format.dwEffects &= kPeerEffects;
    format.yHeight = std::min(std::max(format.yHeight, kPeerHeightMin), kPeerHeightMax);
    format.yOffset = 0;
    return format;
}

CHARFORMATW Coloured(CHARFORMATW format, COLORREF colour)
{
    format.dwMask |= CFM_COLOR;
    format.dwEffects &= ~CFE_AUTOCOLOR;
    format.crTextColor = colour;
    return format;
}

std::wstring TimeText(std::uint32_t seconds)
{
    const std::time_t when = seconds;
    wchar_t text[64] = {};
    if (const std::tm* local = std::localtime(&when))
        std::wcsftime(text, 64, L"%m-%d %H:%M:%S", local);
    return text;
}

}  // namespace

CHARFORMATW CCAXChatDlg::DefaultFormat(HWND edit) const
{
    CHARFORMATW format = {};
    format.cbSize = sizeof format;
    SendMessageW(edit, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    return format;
}

LONG CCAXChatDlg::LogLength() const
{
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<LONG>(SendMessageW(log_.Handle(), EM_GETTEXTLENGTHEX,
                                          reinterpret_cast<WPARAM>(&how), 0));
}

void CCAXChatDlg::SendRecord(const _tagChatMsg& record)
{
    if (!sendCallback_)
        return;
    std::string bytes;
    if (record.ToBytes(bytes))
        sendCallback_(reinterpret_cast<const unsigned char*>(bytes.data()),
                      static_cast<int>(bytes.size()), sendUser_);
}

// Only the records ShowHistory shows are kept, so a flood of messages while
// the window is hidden cannot grow memory.
void CCAXChatDlg::Remember(const _tagChatMsg& record)
{
    history_.push_back(record);
    while (history_.size() > kHistoryLimit)
        history_.pop_front();
}

// A message longer than the limit a sender cuts to is a peer's own making,
// and a long text keeps the log busy for many seconds: it is cut the same way.
void CCAXChatDlg::CutToMessageLimit(std::wstring& text)
{
    if (text.size() <= kMessageLimit)
        return;
    text.resize(kMessageLimit);
    // A code cut in two would show as stray text: the cut goes before its
    // opening delimiter.
    if (std::count(text.begin(), text.end(), kCodeDelimiter) % 2)
        text.resize(text.rfind(kCodeDelimiter));
}

int CCAXChatDlg::ReceiveRecord(const void* bytes, int length)
{
    _tagChatMsg record;
    if (!bytes || length < 0 || !record.FromBytes(bytes, length, AnsiToUtf16Text))
        return 0;
    for (std::u16string* part : {&record.name, &record.text}) {
        std::wstring text = Wide(*part);
        CutToMessageLimit(text);
        *part = Utf16(text);
    }
    if (!record.name.empty())
        Remember(record);
    if (Handle() && IsWindowVisible(Handle()))
        AppendMessage(record, false);
    return 1;
}

void CCAXChatDlg::ShowHistory()
{
    SetWindowTextW(log_.Handle(), L"");
    SetWindowTextW(input_.Handle(), L"");
    canSend_ = 1;
    while (history_.size() > kHistoryLimit)
        history_.pop_front();
    for (const _tagChatMsg& record : history_)
        AppendMessage(record, true);
}

void CCAXChatDlg::AppendToLog(const std::wstring& text, CHARFORMATW& format)
{
    HWND log = log_.Handle();
    const LRESULT lines = SendMessageW(log, EM_GETLINECOUNT, 0, 0);
    CHARRANGE end = {-1, -1};
    SendMessageW(log, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
    SendMessageW(log, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    const LRESULT added = SendMessageW(log, EM_GETLINECOUNT, 0, 0) - lines;
    SendMessageW(log, EM_LINESCROLL, 0, added);
}

void CCAXChatDlg::AppendMessage(const _tagChatMsg& record, bool greyed)
{
    const CHARFORMATW base = DefaultFormat(log_.Handle());
    // Codes render from where the appended piece starts: from the start of
    // its line, a header's bare codes would be looked for in the body before.
    // A record shows at most as many pictures as a message may send: each
    // costs the process a window, a timer and bitmaps, and the record may be
    // a peer's 32 K characters of codes. The rest stay text.
    LONG pictures = kPictureLimit;
    auto append = [this, &pictures](const std::wstring& text, CHARFORMATW format, bool delimited) {
        const LONG first = LogLength();
        AppendToLog(text, format);
        pictures -= log_.RenderCodes(first, delimited, pictures);
    };
    if (!record.name.empty()) {
        const std::wstring header = L"\r\n" + Wide(record.name) + L" " +
                                    LoadChatText(IDS_SAYS) + L"(" + TimeText(record.time) + L")";
        append(header, Coloured(base, kGrey), false);
        const std::wstring body = L"\r\n  " + Wide(record.text);
        append(body, greyed ? Coloured(base, kGrey) : PeerFormat(record.format), true);
    } else {
        const std::wstring notice = L"\r\n" + LoadChatText(IDS_SYSTEM_NOTICE) + Wide(record.text);
        append(notice, Coloured(base, kRed), false);
    }
    RedrawWindow(log_.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CCAXChatDlg::ShowNotice(const std::wstring& text)
{
    _tagChatMsg notice;
    notice.text = Utf16(text);
    AppendMessage(notice, false);
}

void CCAXChatDlg::OnSend()
{
    HWND input = input_.Handle();
    if (input_.ObjectCount() > kPictureLimit) {
        ShowNotice(LoadChatText(IDS_TOO_MANY_PICTURES));
        return;
    }
    std::wstring text = input_.GetCodeText();
    if (text.empty())
        return;
    SetWindowTextW(input, L"");
    if (!canSend_) {
        SetTimer(Handle(), kSendGuardTimer, 1000, nullptr);
        ShowNotice(LoadChatText(IDS_TOO_FAST));
        return;
    }
    CutToMessageLimit(text);
    canSend_ = 0;
    SetTimer(Handle(), kSendGuardTimer, 1000, nullptr);
    _tagChatMsg record;
    record.name = Utf16(nickName_);
    record.text = Utf16(text);
    const CHARFORMATW format = DefaultFormat(input);
    std::memcpy(static_cast<void*>(&record.format), &format, sizeof format);
    SendRecord(record);
    Remember(record);
    AppendMessage(record, false);
    SetFocus(input);
}

void CCAXChatDlg::OnRename()
{
    HWND edit = Item(IDC_CHAT_NAME);
    std::wstring name(GetWindowTextLengthW(edit) + 1, L'\0');
    name.resize(GetWindowTextW(edit, &name[0], static_cast<int>(name.size())));
    if (name.empty()) {
        MessageBoxW(Handle(), LoadChatText(IDS_NAME_EMPTY).c_str(),
                    LoadChatText(IDS_NOTICE_CAPTION).c_str(), MB_ICONINFORMATION);
        return;
    }
    if (name == nickName_)
        return;
    _tagChatMsg notice;
    notice.text = Utf16(LoadChatText(IDS_USER) + L" " + nickName_ + L" " +
                        LoadChatText(IDS_RENAMED_TO) + L" " + name);
    SendRecord(notice);
    AppendMessage(notice, false);
    EnableWindow(Item(IDC_CHAT_RENAME), FALSE);
    nickName_ = name;
}

// The nick name from "name=value;" in the configured cookie, %XX escapes
// decoded as bytes of the ANSI code page.
void CCAXChatDlg::GetNameFromCookie()
{
    if (!nameCookie_ || cookieName_.empty() || cookieUrl_.empty())
        return;
    DWORD size = 0;
    InternetGetCookieW(cookieUrl_.c_str(), cookieName_.c_str(), nullptr, &size);
    if (size == 0)
        return;
    std::vector<wchar_t> buffer(size + 1, L'\0');
    DWORD got = size;
    if (!InternetGetCookieW(cookieUrl_.c_str(), cookieName_.c_str(), buffer.data(), &got))
        return;
    buffer[size] = L'\0';
    const std::wstring cookies = std::wstring(buffer.data()) + L";";
    const std::wstring marker = cookieName_ + L"=";
    const size_t at = cookies.find(marker);
    if (at == std::wstring::npos)
        return;
    const size_t begin = at + marker.size();
    const std::wstring value = cookies.substr(begin, cookies.find(L';', begin) - begin);
    if (value.empty())
        return;
    const std::wstring name = UnescapeCookieValue(value);
    if (!name.empty())
        nickName_ = name;
}
