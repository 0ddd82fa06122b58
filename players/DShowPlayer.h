#pragma once

#include <windows.h>
#include <dshow.h>

#include "platform/window/WindowBase.h"

class CPlayerSelector;
struct IVMRWindowlessControl9;

// Plays a "zaror://" (or http/mms) address through a DirectShow graph built
// here, in a child window of its own. Reports its play state and the mouse
// over it to the owner through the selector, as kind 5.
class CDShowPlayer : public CWindowBase {
public:
    static const UINT WM_DSHOW_GRAPHNOTIFY = 0x4401;
    static const UINT_PTR TIMER_DSHOW_CURSOR = 1;
    static const UINT kCursorHideMs = 2000;

    explicit CDShowPlayer(CPlayerSelector* selector);
    ~CDShowPlayer() override;

    // 1 when the window exists. Style 0: WS_CHILD, WS_VISIBLE, WS_CLIPSIBLINGS
    // and WS_CLIPCHILDREN. The parent is where windowless full screen returns.
    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);
    // Closes the graph and destroys the window.
    void Destroy();

    HRESULT Open(const wchar_t* address);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT Close();
    HRESULT SetVolume(int volume);
    HRESULT SetMute(int mute);
    HRESULT GetFullScreen(VARIANT_BOOL* fullScreen);
    HRESULT SetFullScreen(int fullScreen);
    HRESULT GetVideoSize(int* width, int* height);
    int PollActivity(int* cursorMoved);
    void UpdateVideoRect();
    void OnGraphEvent();

    // The selector seeks and reads positions here; null without a graph.
    IMediaSeeking* Seeking() const { return m_seeking; }
    IGraphBuilder* Graph() const { return m_graph; }
    bool IsWindowless() const { return m_windowless != nullptr; }

    // The video renderer BuildGraph adds; tests put a renderer of theirs here.
    static void UseVideoRenderer(const CLSID& clsid);

protected:
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    HRESULT CreateGraph();
    HRESULT BuildGraph(const wchar_t* address);
    HRESULT AddSourceFilters(const wchar_t* address, IBaseFilter** source);
    HRESULT AddRenderers();
    HRESULT RenderOutputPins(IBaseFilter* source);
    void RemoveUnconnectedFilters();
    void Notify(UINT message, WPARAM wParam, LPARAM lParam, bool send);
    HRESULT ApplyVolume(long volume);

    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEventEx* m_events = nullptr;
    IVideoWindow* m_videoWindow = nullptr;
    IBasicAudio* m_audio = nullptr;
    IMediaSeeking* m_seeking = nullptr;
    IBasicVideo* m_basicVideo = nullptr;
    IVMRWindowlessControl9* m_windowless = nullptr;
    IBaseFilter* m_videoRenderer = nullptr;   // held while BuildGraph decides on windowless
    CPlayerSelector* m_selector;              // not owned
    int m_muted = 0;
    long m_savedVolume = 0;
    HWND m_restoreParent = nullptr;
    int m_fullScreen = 0;
    VARIANT_BOOL m_lastFullScreen = 0;
    POINT m_lastCursor = {0, 0};
    int m_destroying = 0;
};
