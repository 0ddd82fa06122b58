#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "control/HttpHelper.h"
#include "platform/window/DialogBase.h"

// A live channel's programme list, fetched from the content server: one row
// per programme with its duration. Modeless; closing it only hides it.
class CPlayListDlg : public CDialogBase, public CHttpHelper<CPlayListDlg> {
public:
    // Creates the dialog owned by owner, asks for the list and shows it.
    HWND Create(HWND owner, std::uint64_t channelId, const std::wstring& url);

    // Fills the rows from "s" elements of "name|seconds" (or "name").
    void ShowList(const std::wstring& text);
    void RequestList();

    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    int OnHttpDone(UINT id, bool ok, const std::wstring& text) override;
    UINT GetCodePage(UINT) override { return CP_UTF8; }

    using CDialogBase::Handle;

private:
    static const UINT kListRequest = 1;

    void OnInitDialog();
    void Layout();
    void FitColumns(bool longTimes);

    std::uint64_t m_channelId = 0;
    std::wstring m_url;
};
