#pragma once
#include <windows.h>

#include <string>

// Posts a copy of a relayed text to the owner window: wParam is the
// NUL-terminated copy, which the owner frees with free(), lParam its length.
// Nothing is posted for an empty text or a null window.
void PostRelayText(HWND owner, UINT message, const std::string& text);
