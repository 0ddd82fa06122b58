#pragma once
#include <windows.h>

#include <map>
#include <string>

#include "platform/window/WindowBase.h"

// The status strip: a state text on the left, then one of several keyed texts
// (the statistics line, the programme's title) in turn, white on black. Wraps
// a Static item; the owner starts timer 1 for the rotation.
class CStatusWnd : public CWindowBase {
public:
    static const UINT_PTR kRotateTimer = 1;

    void SetStateText(const wchar_t* text);
    void SetStateText(UINT stringId);
    // A non-empty text sets the key's entry; an empty one removes it.
    void SetText(int key, const wchar_t* text);
    // The current key's text, or the first entry's (which becomes current).
    std::wstring GetCurrentText();
    void ClearAll();
    void Paint(HDC dc);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

    const std::wstring& StateText() const { return stateText_; }
    int CurrentKey() const { return currentKey_; }
    const RECT& StateRect() const { return stateRect_; }
    const RECT& RotationRect() const { return rotationRect_; }

private:
    void LayoutTexts();
    void Rotate();

    std::wstring stateText_;
    RECT stateRect_ = {0, 0, 0, 0};
    RECT rotationRect_ = {0, 0, 0, 0};
    std::map<int, std::wstring> texts_;
    int currentKey_ = 0;
};
