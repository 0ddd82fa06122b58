#pragma once
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <vector>

// A picture drawn into a rectangle of a host window: a multi-frame GIF is
// split into frames here (each decoded by OleLoadPicture as a stand-alone
// GIF), composed on a canvas with its disposal methods and advanced by a
// one-shot multimedia timer per frame; any other picture OleLoadPicture reads
// is drawn still.
//
// All calls belong to the host window's thread. The timer thread never touches
// the picture: its callback only posts the frame step to a message window of
// this thread, which drops steps of a timer that Stop or Unload ended.
class CPictureEx {
public:
    explicit CPictureEx(HWND host);
    virtual ~CPictureEx();
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    // A resource of the module holding this code.
    BOOL Load(LPCWSTR name, LPCWSTR type);
    // The block stays the caller's.
    BOOL LoadFromMemory(HGLOBAL block, DWORD size);
    SIZE GetSize() const;
    void SetPaintRect(const RECT& rect);
    RECT GetPaintRect() const;
    void Draw(HDC dc);
    void Start();
    void Stop();
    void Unload();

    int GetFrameCount() const { return static_cast<int>(frames_.size()); }
    int GetFrameIndex() const { return current_; }
    // The time frame i stays up once running, in ms; -1 when the animation
    // rests on it (a frame without a control extension).
    int GetFrameDelay(int i) const;
    bool IsRunning() const { return timer_ != 0; }
    // Counts every frame step since the load: a change means a new frame.
    unsigned GetStepCount() const { return steps_; }

private:
    struct Frame {
        IPicture* picture;
        int width, height, left, top;
        int delay;      // hundredths of a second, -1 without a control extension
        int disposal;
    };

    bool LoadFrames(const BYTE* data, DWORD size);
    bool LoadStill(HGLOBAL block, bool gif);
    bool PrepareCanvas();
    void Dispose(const Frame& frame);
    void DropSaved();
    void Step(UINT timer);
    static IPicture* LoadPicture(HGLOBAL block, bool ownBlock);
    static void CALLBACK TimerProc(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
    static LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND host_;
    HWND sink_ = nullptr;
    RECT paint_ = {};
    SIZE size_ = {};
    COLORREF background_ = RGB(255, 255, 255);
    int current_ = 0;
    bool ready_ = false;
    UINT timer_ = 0;
    unsigned steps_ = 0;
    HDC canvas_ = nullptr;
    HBITMAP canvasBitmap_ = nullptr;
    HGDIOBJ canvasOld_ = nullptr;
    HDC saved_ = nullptr;
    HBITMAP savedBitmap_ = nullptr;
    HGDIOBJ savedOld_ = nullptr;
    IPicture* still_ = nullptr;
    std::vector<Frame> frames_;
};
