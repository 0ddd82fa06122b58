#pragma once

#include <windows.h>
#include <oleauto.h>

#include "players/hosts/AdvisedAxHost.h"

class CPlayerSelector;

// Embeds the Windows Media Player control (kind 4) in a control-host window.
// The selector drives it through the operations below; the host turns the
// control's events into player messages, keeps the full-screen state its
// mouse hook reads, and while playing watches the video window with that
// hook, through which clicks on the video ask for a full-screen toggle that
// the next PollActivity carries out.
//
// The control is reached through IDispatch by member name: the interfaces
// IWMPPlayer, IWMPControls and IWMPSettings are still queried (a control
// without them is refused), but only their dispatch slots are called.
class CWmpOCX : public CAdvisedAxHost<IDispatch> {
public:
    explicit CWmpOCX(CPlayerSelector* selector);
    ~CWmpOCX() override;

    // name is ignored: the control is always the Windows Media Player's class.
    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);
    // The selector's setup of a new player (results are not checked).
    void CreationSetup();

    HRESULT Open(const wchar_t* address);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT Close();
    HRESULT SetVolume(int volume);
    HRESULT SetMute(int mute);
    HRESULT GetFullScreen(VARIANT_BOOL* fullScreen);
    HRESULT SetFullScreen(VARIANT_BOOL fullScreen);
    HRESULT GetBufferingPercent(int* percent);
    HRESULT GetPosition(double* position);
    HRESULT GetDuration(double* duration);
    HRESULT Seek(long long seconds);
    HRESULT GetVideoSize(int* width, int* height);
    HRESULT GetSourceUrl(BSTR* url);
    HRESULT SetOrgSize(int orgSize);
    // Carries out a toggle the hook asked for (answer 1) and reports whether
    // the cursor moved since the last poll.
    int PollActivity(int* cursorMoved);
    void OnPlayStateChange(long state);

    // WH_MOUSE on the video window's thread.
    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

protected:
    void OnEvent(DISPID id, const axhost::EventArgs& args) override;
    // Also run by the destructor: the hook must not keep a host that is gone.
    void OnDestroy() override;

private:
    HRESULT CurrentItem(IDispatch** item);
    void SendError();
    void SendMouse(UINT message, const axhost::EventArgs& args, bool fullScreenPoint);
    void Notify(UINT message, WPARAM wParam, LPARAM lParam);

    // m_control is the IWMPPlayer.
    IDispatch* m_controls = nullptr;   // IWMPControls
    IDispatch* m_settings = nullptr;   // IWMPSettings
    CPlayerSelector* m_selector;       // not owned
    // The last full-screen state read from or written to the player; the
    // mouse hook reads it from the video window's thread.
    volatile LONG m_fullScreen = 0;
};
