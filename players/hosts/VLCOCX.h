#pragma once

#include <windows.h>
#include <oleauto.h>

#include <functional>

#include "platform/axhost/PublishedIds.h"
#include "players/hosts/AdvisedAxHost.h"

class CPlayerSelector;

// Hosts the VLC control in an "AtlAxWin71" window for the VLC kind. The
// control raises nothing the host needs: each poll reads the input's state
// and posts what changed, and a mouse hook on the video window's thread
// notes mouse moves and double clicks (the control toggles full screen by
// itself; the poll reports the change once it happened). Without
// IVLCControl2 the playlist, input, video and audio calls do nothing.
// Positions and lengths are the control's milliseconds.
class CVLCOCX : public CAdvisedAxHost<IVLCControl> {
public:
    explicit CVLCOCX(CPlayerSelector* selector);
    ~CVLCOCX() override;

    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);

    // The selector's creation setup.
    void ApplyCreationSetup();

    HRESULT Open(const wchar_t* address);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT Close();
    HRESULT SetVolume(int volume);
    HRESULT SetMute(int mute);
    HRESULT GetFullScreen(VARIANT_BOOL* fullScreen);
    HRESULT SetFullScreen(VARIANT_BOOL fullScreen);
    HRESULT GetPosition(double* timeMs);
    HRESULT GetDuration(double* lengthMs);
    HRESULT Seek(long long timeMs);
    HRESULT GetVideoSize(int* width, int* height);
    void UpdateState();
    int PollActivity(int* cursorMoved);

    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

protected:
    void OnEvent(DISPID, const axhost::EventArgs&) override {}
    void OnDestroy() override { RemoveHook(); }

private:
    // One of IVLCControl2's objects ("playlist", "input", "video", "audio"):
    // S_FALSE and null without IVLCControl2, the getter's failure without
    // the object.
    HRESULT Part(const wchar_t* name, IDispatch** part) const;
    // `use` on the part named, which is released after; `absent` without
    // IVLCControl2, the getter's failure without the part.
    HRESULT WithPart(const wchar_t* name, HRESULT absent,
                     const std::function<HRESULT(IDispatch*)>& use) const;
    IDispatch* Control2() const;
    void RegisterHook();
    void RemoveHook();

    CPlayerSelector* m_selector;   // not owned
    int m_lastState = 0;
    DWORD m_hookedThread = 0;
    int m_fullScreen = 0;
};
