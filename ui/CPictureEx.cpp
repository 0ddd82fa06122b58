#include "ui/CPictureEx.h"

#include <mmsystem.h>

#include <algorithm>

#include "ui/GifBlocks.h"

namespace {

const UINT kFrameStep = WM_APP + 1;   // wParam: the timer that ran out
const wchar_t kSinkClass[] = L"TovraPictureStep";

HMODULE ThisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

void FillArea(HDC dc, int left, int top, int width, int height, COLORREF colour)
{
    HBRUSH brush = CreateSolidBrush(colour);
    RECT r = {left, top, left + width, top + height};
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void RenderPicture(IPicture* picture, HDC dc, int left, int top, int width, int height)
{
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    picture->get_Width(&hmWidth);
    picture->get_Height(&hmHeight);
    picture->Render(dc, left, top, width, height, 0, hmHeight, hmWidth, -hmHeight, nullptr);
}

}  // namespace

CPictureEx::CPictureEx(HWND host) : host_(host)
{
}

CPictureEx::~CPictureEx()
{
    Unload();
    if (sink_)
        DestroyWindow(sink_);
}

BOOL CPictureEx::Load(LPCWSTR name, LPCWSTR type)
{
    HMODULE module = ThisModule();
    HRSRC info = FindResourceW(module, name, type);
    HGLOBAL resource = info ? LoadResource(module, info) : nullptr;
    const void* bytes = resource ? LockResource(resource) : nullptr;
    DWORD size = info ? SizeofResource(module, info) : 0;
    if (!bytes || !size)
        return FALSE;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_NODISCARD, size);
    void* copy = block ? GlobalLock(block) : nullptr;
    if (!copy) {
        if (block)
            GlobalFree(block);
        return FALSE;
    }
    memcpy(copy, bytes, size);
    GlobalUnlock(block);
    BOOL ok = LoadFromMemory(block, size);
    GlobalFree(block);
    return ok;
}

BOOL CPictureEx::LoadFromMemory(HGLOBAL block, DWORD size)
{
    Unload();
    const BYTE* data = block ? static_cast<const BYTE*>(GlobalLock(block)) : nullptr;
    if (!data)
        return FALSE;
    // The walk never reads past the block, whatever size the caller claims.
    size = static_cast<DWORD>(std::min<SIZE_T>(size, GlobalSize(block)));
    gif::Screen screen;
    bool isGif = gif::ReadScreen(data, size, &screen);
    bool ok;
    if (isGif) {
        size_.cx = screen.width;
        size_.cy = screen.height;
        if (screen.hasBackground)
            background_ = RGB(screen.background[0], screen.background[1], screen.background[2]);
        std::vector<gif::Frame> walked = gif::WalkFrames(data, size, screen, 2);
        if (walked.empty())
            ok = false;
        else if (walked.size() > 1)
            ok = LoadFrames(data, size);
        else
            ok = LoadStill(block, true);
    } else {
        ok = LoadStill(block, false);
    }
    GlobalUnlock(block);
    if (ok)
        ok = PrepareCanvas();
    if (!ok)
        Unload();
    return ok;
}

bool CPictureEx::LoadFrames(const BYTE* data, DWORD size)
{
    gif::Screen screen;
    gif::ReadScreen(data, size, &screen);
    for (const gif::Frame& walked : gif::WalkFrames(data, size, screen)) {
        std::vector<BYTE> one = gif::StandAlone(data, screen, walked);
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, one.size());
        void* bytes = block ? GlobalLock(block) : nullptr;
        if (!bytes) {
            if (block)
                GlobalFree(block);
            continue;
        }
        memcpy(bytes, one.data(), one.size());
        GlobalUnlock(block);
        IPicture* picture = LoadPicture(block, true);   // the stream frees the block
        if (!picture)
            continue;
        frames_.push_back({picture, walked.width, walked.height, walked.left, walked.top,
                           walked.delay, walked.disposal});
    }
    return !frames_.empty();
}

bool CPictureEx::LoadStill(HGLOBAL block, bool gif)
{
    still_ = LoadPicture(block, false);
    if (!still_)
        return false;
    if (!gif) {
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        still_->get_Width(&hmWidth);
        still_->get_Height(&hmHeight);
        HDC dc = GetDC(host_);
        size_.cx = MulDiv(hmWidth, GetDeviceCaps(dc, LOGPIXELSX), 2540);
        size_.cy = MulDiv(hmHeight, GetDeviceCaps(dc, LOGPIXELSY), 2540);
        ReleaseDC(host_, dc);
    }
    return true;
}

IPicture* CPictureEx::LoadPicture(HGLOBAL block, bool ownBlock)
{
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(block, ownBlock, &stream))) {
        if (ownBlock)
            GlobalFree(block);
        return nullptr;
    }
    IPicture* picture = nullptr;
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(OleLoadPicture(stream, static_cast<LONG>(stat.cbSize.QuadPart), FALSE,
                              IID_IPicture, reinterpret_cast<void**>(&picture))))
        picture = nullptr;
    stream->Release();
    return picture;
}

bool CPictureEx::PrepareCanvas()
{
    HDC dc = GetDC(host_);
    if (!dc)
        return false;
    canvas_ = CreateCompatibleDC(dc);
    canvasBitmap_ = CreateCompatibleBitmap(dc, size_.cx, size_.cy);
    ReleaseDC(host_, dc);
    if (!canvas_ || !canvasBitmap_)
        return false;
    canvasOld_ = SelectObject(canvas_, canvasBitmap_);
    SetBkColor(canvas_, RGB(255, 255, 255));
    RECT all = {0, 0, size_.cx, size_.cy};
    FillRect(canvas_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ready_ = true;
    return true;
}

SIZE CPictureEx::GetSize() const
{
    return size_;
}

void CPictureEx::SetPaintRect(const RECT& rect)
{
    paint_ = rect;
}

RECT CPictureEx::GetPaintRect() const
{
    return paint_;
}

void CPictureEx::Draw(HDC dc)
{
    if (!ready_)
        return;
    if (frames_.size() > 1) {
        const Frame& f = frames_[current_];
        if (f.disposal == 3 && !saved_) {
            // The area under the frame, kept until the frame is done with.
            saved_ = CreateCompatibleDC(canvas_);
            savedBitmap_ = CreateCompatibleBitmap(canvas_, f.width, f.height);
            savedOld_ = SelectObject(saved_, savedBitmap_);
            BitBlt(saved_, 0, 0, f.width, f.height, canvas_, f.left, f.top, SRCCOPY);
        }
        if (f.disposal == 2)
            FillArea(canvas_, f.left, f.top, f.width, f.height, background_);
        RenderPicture(f.picture, canvas_, f.left, f.top, f.width, f.height);
    } else if (frames_.size() == 1) {
        // An animation of which only one frame decoded: that frame, still.
        const Frame& f = frames_[0];
        RenderPicture(f.picture, canvas_, f.left, f.top, f.width, f.height);
    } else if (still_) {
        RenderPicture(still_, canvas_, 0, 0, size_.cx, size_.cy);
    }
    int width = paint_.right - paint_.left, height = paint_.bottom - paint_.top;
    if (width <= 0) {
        width = size_.cx;
        height = size_.cy;
    }
    BitBlt(dc, paint_.left, paint_.top, width, height, canvas_, 0, 0, SRCCOPY);
}

int CPictureEx::GetFrameDelay(int i) const
{
    if (i < 0 || i >= GetFrameCount() || frames_[i].delay < 0)
        return -1;
    return std::max(frames_[i].delay * 10, 100);
}

void CPictureEx::Start()
{
    if (!ready_ || frames_.size() < 2 || timer_)
        return;
    int ms = GetFrameDelay(current_);
    if (ms < 0)
        return;
    if (!sink_) {
        HMODULE module = ThisModule();
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = SinkProc;
        wc.hInstance = module;
        wc.lpszClassName = kSinkClass;
        RegisterClassExW(&wc);   // a second registration fails harmlessly
        sink_ = CreateWindowExW(0, kSinkClass, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                module, nullptr);
        if (!sink_)
            return;
        SetWindowLongPtrW(sink_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    timer_ = timeSetEvent(ms, 50, TimerProc, reinterpret_cast<DWORD_PTR>(sink_),
                          TIME_ONESHOT | TIME_CALLBACK_FUNCTION);
}

void CPictureEx::Stop()
{
    if (!ready_ || !timer_)
        return;
    timeKillEvent(timer_);
    timer_ = 0;
    current_ = 0;
    // The area kept under a frame belongs to that frame alone.
    DropSaved();
}

void CPictureEx::Unload()
{
    if (timer_) {
        timeKillEvent(timer_);
        timer_ = 0;
    }
    for (Frame& f : frames_)
        f.picture->Release();
    frames_.clear();
    if (still_) {
        still_->Release();
        still_ = nullptr;
    }
    DropSaved();
    if (canvas_) {
        SelectObject(canvas_, canvasOld_);
        DeleteDC(canvas_);
        canvas_ = nullptr;
    }
    if (canvasBitmap_) {
        DeleteObject(canvasBitmap_);
        canvasBitmap_ = nullptr;
    }
    size_ = SIZE();
    background_ = RGB(255, 255, 255);
    current_ = 0;
    steps_ = 0;
    ready_ = false;
}

void CPictureEx::Dispose(const Frame& frame)
{
    if (frame.disposal == 2)
        FillArea(canvas_, frame.left, frame.top, frame.width, frame.height, background_);
    if (frame.disposal == 3 && saved_) {
        BitBlt(canvas_, frame.left, frame.top, frame.width, frame.height, saved_, 0, 0, SRCCOPY);
        DropSaved();
    }
}

void CPictureEx::DropSaved()
{
    if (!saved_)
        return;
    SelectObject(saved_, savedOld_);
    DeleteDC(saved_);
    DeleteObject(savedBitmap_);
    saved_ = nullptr;
    savedBitmap_ = nullptr;
}

void CPictureEx::Step(UINT timer)
{
    // A step of a timer that Stop, Unload or a later Start replaced is stale.
    if (!timer_ || timer != timer_)
        return;
    timer_ = 0;
    Dispose(frames_[current_]);
    current_ = (current_ + 1) % static_cast<int>(frames_.size());
    ++steps_;
    if (host_)
        InvalidateRect(host_, &paint_, FALSE);
    Start();
}

void CALLBACK CPictureEx::TimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    // The multimedia timer thread: nothing but a message to the picture's thread.
    PostMessageW(reinterpret_cast<HWND>(user), kFrameStep, id, 0);
}

LRESULT CALLBACK CPictureEx::SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kFrameStep) {
        auto* picture = reinterpret_cast<CPictureEx*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (picture)
            picture->Step(static_cast<UINT>(wParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}
