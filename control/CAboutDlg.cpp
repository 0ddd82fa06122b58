#include "control/CAboutDlg.h"

#include <shellapi.h>

#include <string>

#include "control/ControlIds.h"

INT_PTR CAboutDlg::DoModal(HWND parent)
{
    return CDialogBase::DoModal(parent, MAKEINTRESOURCEW(IDD_ABOUT));
}

bool CAboutDlg::IsLink(HWND item) const
{
    return item && (item == Item(IDC_ABOUT_SITE) || item == Item(IDC_ABOUT_MAIL));
}

// The address is the link's own text.
void CAboutDlg::OpenLink(int id)
{
    wchar_t text[256] = L"";
    GetDlgItemTextW(Handle(), id, text, 256);
    if (id == IDC_ABOUT_SITE) {
        ShellExecuteW(Handle(), L"open", L"iexplore.exe", text, nullptr, SW_SHOWNORMAL);
    } else {
        const std::wstring mail = std::wstring(L"mailto:") + text;
        ShellExecuteW(Handle(), L"open", mail.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
}

bool CAboutDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result)
{
    switch (message) {
    case WM_INITDIALOG:
        result = TRUE;
        return true;
    case WM_CTLCOLORSTATIC:
        // Links in blue over the dialog's own background.
        if (!IsLink(reinterpret_cast<HWND>(lParam)))
            return false;
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        return true;
    case WM_SETCURSOR:
        if (!IsLink(reinterpret_cast<HWND>(wParam)))
            return false;
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ABOUT_SITE:
        case IDC_ABOUT_MAIL:
            if (HIWORD(wParam) != STN_CLICKED)
                return false;
            OpenLink(LOWORD(wParam));
            break;
        case IDOK:
        case IDCANCEL:
            EndDialog(LOWORD(wParam));
            break;
        default:
            return false;
        }
        result = 0;
        return true;
    }
    return false;
}
