#pragma once
#include <windows.h>

#include <string>

#include "platform/window/DialogBase.h"

// The settings dialog: cache folder and size, and the network connection
// (a known type, or custom rates in a chosen unit). It reads and writes the
// "cachedata" settings; engines and the service take them at their next start.
class CSettingsDlg : public CDialogBase {
public:
    // IDOK once saved, IDCANCEL, or -1 when the dialog could not be made.
    INT_PTR DoModal(HWND parent);

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;

private:
    void OnInitDialog();
    void FillNetTypes();
    void EnableCustomRates(bool enable);
    void OnBrowse();
    void OnOK();
    int SelectedRow() const;
    int CellNumber(int row, int column) const;

    std::wstring m_folder;
    int m_cacheSize = 500;   // megabytes
};
