// Pictures of the control bar for a person to look at: each layout mode
// stopped and playing, the full-screen bar, and both skins item by item.
// Run under a real display (scripts/screenshots.sh): the pictures are taken
// from the screen, where the children are drawn as the user sees them.
//
// usage: skinshots OUTDIR
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <string>

#include "control/CCStreamView.h"
#include "control/ControlIds.h"
#include "tests/tools/OleTestHost.h"
#include "ui/CStatusWnd.h"
#include "ui/CTimeDisplayWnd.h"
#include "ui/SBmpMapMgr.h"
#include "ui/SDrawBtn.h"
#include "ui/SVolumeCtrl.h"
#include "ui/SkinIds.h"

namespace {

std::wstring g_out;

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void SaveBmp(HDC source, const RECT& r, const std::wstring& name)
{
    int w = r.right - r.left, h = r.bottom - r.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, w, h, source, r.left, r.top, SRCCOPY);
    GdiFlush();
    DWORD stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(14 + 40 + stride * h), 0, 0, 54};
    FILE* f = _wfopen((g_out + L"\\" + name + L".bmp").c_str(), L"wb");
    if (f) {
        fwrite(&file, 14, 1, f);
        fwrite(&info.bmiHeader, 40, 1, f);
        fwrite(bits, stride, h, f);
        fclose(f);
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

void Shoot(HWND window, const std::wstring& name)
{
    Pump(400);
    RECT r;
    GetWindowRect(window, &r);
    HDC screen = GetDC(nullptr);
    SaveBmp(screen, r, name);
    ReleaseDC(nullptr, screen);
}

template <class T>
T* Widget(HWND bar, int id)
{
    return dynamic_cast<T*>(CWindowBase::FromHandle(GetDlgItem(bar, id)));
}

// What a playing video shows: the pause picture, a position and a
// downloaded mark, the times and the status texts.
void SetPlaying(HWND bar, bool playing)
{
    if (auto play = Widget<UI::SDrawBtn>(bar, IDC_PLAY)) {
        play->latched = playing;
        play->Refresh();
    }
    if (auto position = Widget<UI::SVolumeCtrl>(bar, IDC_PROGRESS)) {
        position->state = playing ? UI::SVolumeCtrl::kNormal : UI::SVolumeCtrl::kDisabled;
        position->SetPos(playing ? 380 : 0);
        position->SetPos2(playing ? 720 : 0);
        InvalidateRect(position->Handle(), nullptr, TRUE);
    }
    if (auto time = Widget<CTimeDisplayWnd>(bar, IDC_TIME)) {
        time->level = playing ? 3 : 0;
        time->SetPosition(playing ? 1385 : 0);
        time->SetDuration(playing ? 3644 : 0);
        InvalidateRect(time->Handle(), nullptr, TRUE);
    }
    if (auto status = Widget<CStatusWnd>(bar, IDC_STATUS)) {
        status->ClearAll();
        status->SetStateText(playing ? L"Playing" : L"Stopped");
        if (playing)
            status->SetText(0, L"Peers 12  Down 182 KB/s  Up 40 KB/s");
    }
    InvalidateRect(bar, nullptr, TRUE);
}

// Every item of a skin, three times its size, on grey, with its id.
void SkinSheet(UINT set, UINT bitmapId, const std::wstring& name)
{
    UI_Mgr::SBmpMapMgr skin;
    if (!skin.Load(set, bitmapId))
        return;
    const int cell = 100, columns = 10;
    int rows = static_cast<int>((skin.Count() + columns - 1) / columns);
    RECT all = {0, 0, cell * columns, cell * rows};
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, all.right, all.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH grey = CreateSolidBrush(RGB(128, 128, 128));
    FillRect(dc, &all, grey);
    SetBkMode(dc, TRANSPARENT);
    int i = 0;
    for (const auto& entry : skin.Items()) {
        int x = (i % columns) * cell, y = (i / columns) * cell;
        const RECT& r = entry.second.Rect;
        int w = (r.right - r.left) * 3, h = (r.bottom - r.top) * 3;
        if (w > cell - 4) { h = h * (cell - 4) / w; w = cell - 4; }
        if (h > cell - 20) { w = w * (cell - 20) / h; h = cell - 20; }
        RECT dest = {x + 2, y + 2, x + 2 + w, y + 2 + h};
        skin.DrawItemTrans(dc, dest, entry.first, skin.GetItemKeyColor(0));
        std::wstring id = std::to_wstring(entry.first);
        TextOutW(dc, x + 2, y + cell - 16, id.c_str(), static_cast<int>(id.size()));
        ++i;
    }
    SaveBmp(dc, all, name);
    SelectObject(dc, old);
    DeleteObject(grey);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    g_out = argv[1];
    OleInitialize(nullptr);
    HWND page = CreateWindowExW(0, L"Static", L"page", WS_POPUP | WS_VISIBLE, 20, 20, 480, 380,
                                nullptr, nullptr, nullptr, nullptr);
    olehost::TestSite site(page);
    CCStreamView* control = new CCStreamView();
    IDispatch* dispatch = nullptr;
    IOleObject* ole = nullptr;
    control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    ole->SetClientSite(&site);
    RECT place = {0, 0, 480, 380};
    ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, page, &place);
    HWND bar = control->Window();

    for (const wchar_t* mode : {L"full", L"compact", L"simple", L"mini", L"audio"}) {
        MoveWindow(bar, 0, 0, 480, 380, TRUE);
        olehost::PutText(dispatch, 6, mode);
        for (bool playing : {false, true}) {
            SetPlaying(bar, playing);
            Shoot(bar, std::wstring(L"mode-") + mode + (playing ? L"-playing" : L"-stopped"));
        }
    }
    olehost::PutText(dispatch, 6, L"full");
    MoveWindow(bar, 0, 0, 480, 380, TRUE);
    SetPlaying(bar, true);
    control->SyncFullControl(true);
    Shoot(control->FullControl().Handle(), L"fullscreen-bar");
    control->SyncFullControl(false);

    SkinSheet(IDR_SKINSET_MAIN, IDB_SKIN_MAIN, L"skin-main");
    SkinSheet(IDR_SKINSET_CHAT, IDB_SKIN_CHAT, L"skin-chat");

    ole->Close(OLECLOSE_NOSAVE);
    ole->SetClientSite(nullptr);
    ole->Release();
    dispatch->Release();
    control->Release();
    DestroyWindow(page);
    OleUninitialize();
    return 0;
}
