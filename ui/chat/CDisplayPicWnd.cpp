#include "ui/chat/CDisplayPicWnd.h"

#include <commctrl.h>

#include "ui/CPictureEx.h"
#include "ui/chat/CCAXChatDlg.h"
#include "ui/chat/ChatIds.h"
#include "ui/chat/EmoticonTable.h"

namespace {

// One picker at a time owns the thread's mouse hook.
struct HookRecord {
    HHOOK hook;
    CDisplayPicWnd* picker;
};
HookRecord g_hook = {nullptr, nullptr};

std::wstring LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(CWindowBase::ModuleInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, length) : std::wstring();
}

}  // namespace

CDisplayPicWnd::CDisplayPicWnd() = default;

CDisplayPicWnd::~CDisplayPicWnd()
{
    DestroyWindow();
}

void CDisplayPicWnd::DescribeClass(WNDCLASSEXW& wc)
{
    CWindowBase::DescribeClass(wc);
    wc.lpszClassName = L"TovraDisplayPic";
    wc.hbrBackground = nullptr;
}

void CDisplayPicWnd::ShowAt(const RECT& rect)
{
    SetWindowPos(Handle(), nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    if (!g_hook.hook) {
        g_hook.hook = SetWindowsHookExW(WH_MOUSE, MouseHook, nullptr, GetCurrentThreadId());
        g_hook.picker = g_hook.hook ? this : nullptr;
    }
}

RECT CDisplayPicWnd::CellRect(UINT gif) const
{
    auto cell = cells_.find(gif);
    return cell == cells_.end() ? RECT() : cell->second->GetPaintRect();
}

const CPictureEx* CDisplayPicWnd::Cell(UINT gif) const
{
    auto cell = cells_.find(gif);
    return cell == cells_.end() ? nullptr : cell->second.get();
}

bool CDisplayPicWnd::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return false;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        OnPaint(dc);
        EndPaint(hwnd, &ps);
        result = 0;
        return true;
    }
    case WM_PRINTCLIENT:
        OnPaint(reinterpret_cast<HDC>(wParam));
        result = 0;
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_MOUSEMOVE:
        OnMouseMove({static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        RelayToTip(message, wParam, lParam);
        return false;
    case WM_LBUTTONUP:
        if (hovered_)
            SendMessageW(GetParent(hwnd), WM_EMOTICON_PICKED, hovered_,
                         EmoticonCodeId(static_cast<int>(hovered_ - IDR_GIF_FIRST)));
        RelayToTip(message, wParam, lParam);
        return false;
    case WM_MOUSEACTIVATE:
        result = MA_NOACTIVATE;
        return true;
    case WM_KILLFOCUS:
        ShowWindow(hwnd, SW_HIDE);
        return false;
    case WM_SHOWWINDOW:
        if (!wParam)
            OnHide();
        return false;
    case WM_DESTROY:
        OnDestroy();
        return false;
    default:
        if ((message >= WM_LBUTTONDOWN && message <= WM_MOUSELAST))
            RelayToTip(message, wParam, lParam);
        return false;
    }
}

void CDisplayPicWnd::OnCreate()
{
    HWND hwnd = Handle();
    RECT client;
    GetClientRect(hwnd, &client);
    // Each cell takes the running rectangle's place, one pixel to the right;
    // the next starts after it, and a row that reaches the right edge ends.
    RECT running = {1, 1, 1, 1};
    for (int i = 0; i < kEmoticonCount; ++i) {
        UINT gif = IDR_GIF_FIRST + i;
        auto picture = std::make_unique<CPictureEx>(hwnd);
        picture->Load(MAKEINTRESOURCEW(gif), L"GIF");
        SIZE size = picture->GetSize();
        RECT cell = {running.left + 1, running.top, running.left + size.cx + 1,
                     running.top + size.cy};
        picture->SetPaintRect(cell);
        running = cell;
        OffsetRect(&running, size.cx, 0);
        if (running.right >= client.right)
            running = {1, running.bottom + 1, size.cx + 1, running.bottom + size.cy + 1};
        cells_[gif] = std::move(picture);
        texts_[gif] = LoadText(EmoticonNameId(i)) + L" " + LoadText(EmoticonCodeId(i));
    }
    // The picker never becomes active (it must not take the focus from the
    // input), and a tooltip without TTS_ALWAYSTIP shows only over an active
    // window. Wine 8's tooltip does not implement TTM_POPUP: there the tip
    // shows after the initial delay of the relayed mouse moves.
    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd,
                               nullptr, ModuleInstance(), nullptr);
    TTTOOLINFOW info;
    FillToolInfo(info);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

// The picker itself is the tool, named by its window to its owner.
void CDisplayPicWnd::FillToolInfo(TTTOOLINFOW& info)
{
    info = TTTOOLINFOW();
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = GetParent(Handle());
    info.uId = reinterpret_cast<UINT_PTR>(Handle());
    info.hinst = ModuleInstance();
    info.lpszText = const_cast<wchar_t*>(L"");
}

void CDisplayPicWnd::OnPaint(HDC dc)
{
    RECT client;
    GetClientRect(Handle(), &client);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &client, white);
    DeleteObject(white);
    for (auto& cell : cells_)
        cell.second->Draw(dc);
    if (hovered_) {
        HGDIOBJ pen = SelectObject(dc, GetStockObject(BLACK_PEN));
        HGDIOBJ brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, hoverRect_.left, hoverRect_.top, hoverRect_.right, hoverRect_.bottom);
        SelectObject(dc, brush);
        SelectObject(dc, pen);
    }
}

void CDisplayPicWnd::OnMouseMove(POINT point)
{
    UINT now = 0;
    RECT nowRect = {};
    for (auto& cell : cells_) {
        RECT r = cell.second->GetPaintRect();
        if (PtInRect(&r, point)) {
            now = cell.first;
            nowRect = r;
            break;
        }
    }
    if (now == hovered_)
        return;
    HWND hwnd = Handle();
    if (hovered_) {
        InvalidateRect(hwnd, &hoverRect_, FALSE);
        cells_[hovered_]->Stop();
    }
    hovered_ = now;
    hoverRect_ = nowRect;
    SendMessageW(tooltip_, TTM_POP, 0, 0);
    if (!now) {
        SendMessageW(tooltip_, TTM_ACTIVATE, FALSE, 0);
        return;
    }
    SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    TTTOOLINFOW info;
    FillToolInfo(info);
    info.lpszText = const_cast<wchar_t*>(texts_[now].c_str());
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(tooltip_, TTM_POPUP, 0, 0);
    cells_[now]->Start();
    InvalidateRect(hwnd, &hoverRect_, FALSE);
}

void CDisplayPicWnd::RelayToTip(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!tooltip_)
        return;
    MSG msg = {Handle(), message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    DWORD pos = GetMessagePos();
    msg.pt = {static_cast<short>(LOWORD(pos)), static_cast<short>(HIWORD(pos))};
    SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
}

void CDisplayPicWnd::OnHide()
{
    if (hovered_) {
        cells_[hovered_]->Stop();
        InvalidateRect(Handle(), &hoverRect_, FALSE);
    }
    hovered_ = 0;
    hoverRect_ = RECT();
    if (tooltip_)
        SendMessageW(tooltip_, TTM_POP, 0, 0);
    if (g_hook.picker == this)
        RemoveHook();
}

void CDisplayPicWnd::OnDestroy()
{
    // A hook left to a destroyed picker would hide a dangling window.
    if (g_hook.picker == this)
        RemoveHook();
    for (auto& cell : cells_)
        cell.second->Unload();
    cells_.clear();
    texts_.clear();
    hovered_ = 0;
    if (tooltip_) {
        ::DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
}

void CDisplayPicWnd::RemoveHook()
{
    if (g_hook.hook)
        UnhookWindowsHookEx(g_hook.hook);
    g_hook = {nullptr, nullptr};
}

LRESULT CALLBACK CDisplayPicWnd::MouseHook(int code, WPARAM wParam, LPARAM lParam)
{
    HHOOK hook = g_hook.hook;
    if (code == HC_ACTION && wParam >= WM_LBUTTONDOWN && wParam <= WM_MOUSELAST && g_hook.picker) {
        HWND picker = g_hook.picker->Handle();
        const MOUSEHOOKSTRUCT* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        POINT cursor;
        RECT window;
        if (mouse->hwnd != picker && GetCursorPos(&cursor) && GetWindowRect(picker, &window) &&
            !PtInRect(&window, cursor))
            ShowWindow(picker, SW_HIDE);
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}
