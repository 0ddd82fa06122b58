#pragma once
#include "platform/standins/StandinControl.h"

namespace standins {

class CProbeControl : public CStandinControl {
public:
    static const wchar_t kName[];
    CProbeControl();

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

protected:
    HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) override;
    LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    long value_ = 0;
};

}  // namespace standins
