#pragma once

#include <windows.h>
#include <oleauto.h>

#include "players/hosts/AdvisedAxHost.h"

class CPlayerSelector;

// The host of the Shockwave Flash control for plain movies: an "AtlAxWin71"
// window that creates the control by its class id, and the control's event
// sink, which passes the load progress on. The control's IShockwaveFlash is
// called by name. Positions are frames.
class CFlashOCX : public CAdvisedAxHost<IDispatch> {
public:
    explicit CFlashOCX(CPlayerSelector* selector);

    // 1 once the window, the control and the sink exist; 0 otherwise (also
    // when a control exists already).
    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);

    HRESULT Open(const wchar_t* movie);
    HRESULT Play();
    HRESULT Stop();
    HRESULT GotoFrame(long frame);
    HRESULT GetPosition(double* frame);
    HRESULT GetDuration(double* frames);
    HRESULT GetBufferingPercent(int* percent);
    HRESULT GetSourceUrl(BSTR* url);
    HRESULT SetLoop(bool loop);
    HRESULT SetMenu(bool menu);
    HRESULT SetBackgroundColor(long color);

protected:
    void OnEvent(DISPID id, const axhost::EventArgs& args) override;

private:
    HRESULT GetNumber(const wchar_t* name, bool method, long* value);

    CPlayerSelector* m_selector;   // not owned
};
