#pragma once
#include <windows.h>

#include "platform/window/DialogBase.h"

// The control's window: the control bar dialog as a child of the page's site
// window. Child notifications go back to the items, which draw and colour
// themselves.
class CControlView : public CDialogBase {
public:
    HWND Create(HWND parent, const RECT& position);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
};
