#pragma once

#include <windows.h>
#include <oleauto.h>

class CPlayerSelector;

// What the selector asks of the hosts that embed outside player controls
// (Real, Flash, FLV, WMP, VLC). Those hosts are not built yet: Create fails,
// so the selector answers their creation code and never reaches the rest.
// Units are each player's own; the selector converts them.
class CPendingHost {
public:
    explicit CPendingHost(CPlayerSelector* selector) : m_selector(selector) {}
    CPendingHost(const CPendingHost&) = delete;
    CPendingHost& operator=(const CPendingHost&) = delete;

    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);
    int Destroy();
    HWND Handle() const { return m_hwnd; }

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
    HRESULT Seek(long long target);
    HRESULT GetVideoSize(int* width, int* height);
    HRESULT GetSourceUrl(BSTR* url);
    HRESULT SetOrgSize(int orgSize);
    int PollActivity(int* cursorMoved);

protected:
    CPlayerSelector* m_selector;   // not owned
    HWND m_hwnd = nullptr;
};
