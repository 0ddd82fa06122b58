#pragma once
#include <wmp.h>

#include "platform/standins/StandinControl.h"
#include "platform/standins/wmp/WmspReader.h"

namespace standins {

// The Windows Media Player stand-in: one dispatch object that also serves as
// its controls, settings, network, current item and error objects. It reads
// "http://" addresses over Windows Media HTTP streaming; damaged framing
// raises the error event, as does the data packet TOVRA_STANDIN_WMP_DAMAGE_AT
// names. TOVRA_STANDIN_NO_WMPCONTROLS hides IWMPControls.
class CWmpControl : public CStandinControl {
public:
    static const wchar_t kName[];
    CWmpControl();
    ~CWmpControl() override;

protected:
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) override;
    void* QueryExtra(REFIID iid) override;
    LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HRESULT Property(DISPID id, WORD flags, const CallArgs& args, VARIANT* result);
    // Connects to url_, with the damaged packet the knob names.
    bool StartReader();
    void FirePlayState(long state);
    void FireOpenState(long state);
    void FireMouse(DISPID id, UINT message, WPARAM wParam, LPARAM lParam);
    void SetFullScreen(bool on);
    static LRESULT CALLBACK FullScreenProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CWmspReader reader_;
    std::wstring url_;
    long playState_ = 0;
    long openState_ = 0;
    bool fullScreen_ = false;
    HWND fullScreenWindow_ = nullptr;
    double pausedAt_ = 0;
    long volume_ = 50;
    bool mute_ = false;
    std::wstring uiMode_ = L"full";
    bool contextMenu_ = true;
    bool autoStart_ = true;
    bool errorDialogs_ = true;
    bool stretchToFit_ = false;
    bool windowlessVideo_ = false;
    long bufferingTime_ = 5000;
};

}  // namespace standins
