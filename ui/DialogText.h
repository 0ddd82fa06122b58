#pragma once
#include <windows.h>

#include <string>

// What the control's dialogs share: texts of our string table, notices, item
// texts and placement.
namespace dialogs {

// The string table's text, or the empty text.
std::wstring LoadText(UINT id);
// A modal notice: the text `id`, the caption of our notices, the
// information icon.
void ShowNotice(HWND owner, UINT id);
void ShowNotice(HWND owner, const std::wstring& text);
std::wstring ItemText(HWND dialog, int id);
// Centres the dialog over its owner, or over the screen without one.
void CenterDialog(HWND dialog);

} // namespace dialogs
