#pragma once
#include <windows.h>

#include "platform/window/DialogBase.h"

// The control's window: the control bar dialog as a child of the page's site
// window. Child notifications go back to the items, which draw and colour
// themselves.
class CControlView : public CDialogBase {
public:
    // owner: sees every message after WM_INITDIALOG before the reflection.
    explicit CControlView(CMessageMap* owner = nullptr) : owner_(owner) {}
    HWND Create(HWND parent, const RECT& position);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    CMessageMap* owner_;
};
