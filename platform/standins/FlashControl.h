#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/standins/StandinControl.h"
#include "platform/standins/flv/FlvPlayback.h"

namespace standins {

// The Shockwave Flash stand-in. A movie whose address ends in
// "flvplayer2.swf" is the FLV player: it answers the player's variables and
// plays the FLV named by "mediaURL" (FlvPlayback). Any other movie only
// loads. Loading reads the movie's address once (only from a test server on
// the loopback) and records the answer, so a test sees which movie the host
// named and whether it was there; the bytes are not played. It raises
// OnReadyStateChange 0, OnProgress 37, ready state 3, OnProgress 100 and
// ready state 4 within the Movie put. A requested
// full-screen change happens at the next left click on the movie, as the
// real player needs the user's input: entering opens a screen-sized window
// of the movie's class, a click on that window leaves.
class CFlashControl : public CStandinControl {
public:
    static const wchar_t kName[];
    CFlashControl();
    ~CFlashControl() override;

protected:
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) override;
    void* QueryExtra(REFIID iid) override;
    LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    void DestroyControlWindow() override;

private:
    bool FlvMode() const;
    void LoadMovie();
    void Loaded();
    HRESULT SetVariable(const std::wstring& name, const std::wstring& value);
    HRESULT GetVariable(const std::wstring& name, VARIANT* result);
    void Act(const std::wstring& trigger);
    void ToggleFullScreen();
    std::wstring Variable(const std::wstring& name);
    void Put(const std::wstring& name, const std::wstring& value);

    std::wstring movie_;
    long readyState_ = 0;
    bool loop_ = true, menu_ = true;
    bool fullScreenPending_ = false;
    HWND fullScreenWindow_ = nullptr;
    std::mutex lock_;
    std::map<std::wstring, std::wstring> variables_;   // guarded by lock_
    std::unique_ptr<FlvPlayback> playback_;
};

}  // namespace standins
