#pragma once
#include "platform/standins/StandinControl.h"
#include "platform/standins/StreamPlayback.h"

namespace standins {

// The RealPlayer control as the Real host uses it: methods by name, the
// events of its sink map, and a "PNGUIClass" video window that raises mouse
// and key events while asked to. It reads RealMedia over HTTP and plays it
// on a clock; nothing is decoded. "TestRaiseEvent(id, args...)" raises any
// event with the given arguments, for the tests of the host's event table.
class CRealStandin : public CStandinControl {
public:
    static const wchar_t kName[];
    CRealStandin();
    ~CRealStandin() override;

protected:
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) override;
    void* QueryExtra(REFIID iid) override;
    LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HRESULT Play();
    void Stop();
    void Tick();
    void ReportState(int state);
    void MouseEvent(DISPID id, WPARAM wParam, LPARAM lParam);

    StreamPlayback playback_;
    std::wstring source_;
    bool wantMouse_ = false;
    bool wantKeys_ = false;
    bool fullScreen_ = false;
    bool mute_ = false;
    long volume_ = 50;
    int state_ = 0;               // the control's play state, as its events give it
    bool opened_ = false;
    std::uint32_t lastPositionEvent_ = 0xFFFFFFFF;
};

}  // namespace standins
