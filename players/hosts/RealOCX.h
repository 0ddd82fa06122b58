#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform/axhost/PublishedIds.h"
#include "players/hosts/AdvisedAxHost.h"

class CPlayerSelector;

// Hosts the RealPlayer control in an "AtlAxWin71" window for the Real kind,
// turns its events into player messages, and while it plays keeps the
// process-wide mouse hook on the control's thread: the video never sees
// mouse moves or right clicks, and a double click on it asks the selector
// for a full-screen toggle at the next poll. Lives from an Open of its kind
// to the next Close. Times are the control's milliseconds.
class CRealOCX : public CAdvisedAxHost<IRealAudio> {
public:
    explicit CRealOCX(CPlayerSelector* selector);
    ~CRealOCX() override;

    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);
    IRealAudio* Control() const { return m_control; }

    // The selector's creation setup: only the image window, mouse and key
    // events, no start of its own.
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
    HRESULT GetBufferingPercent(int* percent);
    HRESULT GetPosition(double* positionMs);
    HRESULT GetDuration(double* lengthMs);
    HRESULT Seek(long long positionMs);
    HRESULT GetVideoSize(int* width, int* height);
    HRESULT GetSourceUrl(BSTR* url);
    int PollActivity(int* cursorMoved);

    // Its later events reach no selector (a host closed inside an event, on
    // its way out).
    void Detach() { m_selector = nullptr; }

    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);
    // The one Real hook of the process.
    static bool HookInstalled();

protected:
    void OnEvent(DISPID id, const axhost::EventArgs& args) override;
    void OnDestroy() override { RemoveHook(); }

private:
    void Notify(UINT message, WPARAM wParam, LPARAM lParam);
    void InstallHook();
    static void RemoveHook();

    CPlayerSelector* m_selector;   // not owned; null once detached
};
