#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

#include "players/hosts/AdvisedAxHost.h"

class CPlayerSelector;

// The host of the FLV player movie inside the Shockwave Flash control. The
// host writes the movie's request variables and a trigger variable, and reads
// its result variables; every command that needs the movie answers E_FAIL
// until the movie reported ready state 2 or 3. The control's IShockwaveFlash
// is called by name. Positions are seconds.
class CFlvOCX : public CAdvisedAxHost<IDispatch> {
public:
    explicit CFlvOCX(CPlayerSelector* selector);
    ~CFlvOCX() override;

    // name and id are not used: the window is made without a name, and the
    // control is created in it through IAxWinHostWindow. 1 or 0.
    int Create(const wchar_t* name, DWORD style, const RECT& rect, HWND parent, UINT id);

    // Takes the player movie's address (stored before the window exists).
    HRESULT SetMovieUrl(const wchar_t* movie);
    HRESULT Open(const wchar_t* address);
    HRESULT Play();
    HRESULT Pause();
    HRESULT Stop();
    HRESULT Close();
    HRESULT SetVolume(int volume);
    HRESULT GetVolume(int* volume);
    HRESULT SetMute(int mute);
    HRESULT GetMute(VARIANT_BOOL* mute);
    HRESULT GetFullScreen(VARIANT_BOOL* fullScreen);
    HRESULT SetFullScreen(VARIANT_BOOL fullScreen);
    HRESULT SetOrgSize(int orgSize);
    HRESULT Seek(long long target);
    // The position in seconds; a waiting state change of the movie goes to
    // the owner on the way.
    HRESULT PollState(int* position);
    HRESULT GetPosition(double* position);
    HRESULT GetDuration(double* duration);
    HRESULT GetBufferingPercent(int* percent);
    // The player movie's address (not the media's).
    HRESULT GetSourceUrl(BSTR* url);
    HRESULT SetLoop(bool loop);
    HRESULT SetMenu(bool menu);
    int PollActivity(int* cursorMoved);

    // Records the cursor on every FLV entry at each mouse move, and swallows
    // right-button-downs while some FLV movie is full screen.
    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);

protected:
    void OnEvent(DISPID id, const axhost::EventArgs& args) override;
    void OnDestroy() override;

private:
    HRESULT SetVariable(const wchar_t* name, const wchar_t* value);
    HRESULT GetVariable(const wchar_t* name, std::wstring* value);
    HRESULT LoadMovie();

    CPlayerSelector* m_selector;   // not owned
    std::wstring m_movie;
    int m_ready = 0;
};
