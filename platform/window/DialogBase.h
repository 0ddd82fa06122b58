#pragma once

#include <windows.h>

#include "platform/window/MessageMap.h"

// A dialog from a template, bound to a C++ object whose message map sees its
// messages from WM_INITDIALOG on (WM_SETFONT and the non-client creation
// messages before it take the dialog manager's defaults). A handled message's
// result goes where the dialog manager expects it: returned directly for
// WM_INITDIALOG, WM_CTLCOLOR*, WM_COMPAREITEM, WM_VKEYTOITEM, WM_CHARTOITEM
// and WM_QUERYDRAGICON, through DWLP_MSGRESULT for the others.
class CDialogBase : public CMessageMap {
public:
    CDialogBase() = default;
    ~CDialogBase() override;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Modeless: the dialog window, or null. Its owner's message loop must pass
    // messages through IsDialogMessage for keyboard navigation.
    HWND Create(HWND parent, const wchar_t* templateName, HINSTANCE instance = nullptr);
    HWND CreateIndirect(HWND parent, const DLGTEMPLATE* dialogTemplate);
    // Modal: EndDialog's value, or -1 when the dialog could not be made.
    INT_PTR DoModal(HWND parent, const wchar_t* templateName, HINSTANCE instance = nullptr);
    INT_PTR DoModalIndirect(HWND parent, const DLGTEMPLATE* dialogTemplate);

    // Ends a modal dialog with result, destroys a modeless one.
    BOOL EndDialog(INT_PTR result);
    BOOL DestroyWindow();

    HWND Handle() const { return m_hwnd; }
    HWND Item(int id) const { return GetDlgItem(m_hwnd, id); }
    bool IsModal() const { return m_modal; }

    static CDialogBase* FromHandle(HWND hwnd);

protected:
    // Called once the dialog is gone; the object may delete itself here.
    virtual void OnFinalMessage(HWND hwnd) {}

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static HINSTANCE TemplateModule(HINSTANCE instance);
    bool Bind(HWND hwnd);
    void Unbind();

    HWND m_hwnd = nullptr;
    bool m_modal = false;
};
