#pragma once

#include <windows.h>

#include "platform/window/WindowBase.h"
#include "ui/CADDisplayWnd.h"

// The overlay: a 30-pixel strip over the top of the player's video window
// that runs the overlay text ads once per showing, white space black.
class CVideoADDisplayWnd : public CWindowBase, public CADDisplayWnd<CVideoADDisplayWnd> {
public:
    static const UINT kChildId = 4148;
    static const int kHeight = 30;

    CVideoADDisplayWnd() { loop_ = 0; }
    ~CVideoADDisplayWnd() override;

    // The background colour, then the overlay's fonts.
    void SetFonts(COLORREF background);
    // Lays the strip over the video window: as its child, or top-level over
    // its screen rectangle; shown only while it is overlay time. Without a
    // window the strip is hidden.
    void AttachTo(HWND video, BOOL topLevel);
    // Hidden and without a parent.
    void Detach();

    void DrawBackground(HDC dc, const RECT& rect) override;
    const _tagADSetting* GetSettings() override;
    const std::vector<_tagAD>* GetItems() override;

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

protected:
    void DescribeClass(WNDCLASSEXW& wc) override;

private:
    void MakeTopLevel();
    void MakeChildOf(HWND parent);

    COLORREF background_ = RGB(0, 0, 0);
};
