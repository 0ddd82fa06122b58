#pragma once

#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>

#include "tests/common/MessagePump.h"

// Pumps this thread's messages until done() holds or ms pass.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms = 5000)
{
    return PumpMessagesUntil(done, ms);
}

inline std::wstring WindowText(HWND window)
{
    GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT length = SendMessageW(window, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
    std::wstring text(length + 1, L'\0');
    GETTEXTEX get = {static_cast<DWORD>((length + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr,
                     nullptr};
    const LRESULT copied = SendMessageW(window, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                        reinterpret_cast<LPARAM>(&text[0]));
    text.resize(copied > 0 ? copied : 0);
    return text;
}

// Types text into a window one WM_CHAR at a time, as the keyboard would.
inline void TypeChars(HWND window, const std::wstring& text)
{
    for (wchar_t c : text)
        SendMessageW(window, WM_CHAR, c, 1);
}

inline std::wstring ClipboardText(HWND owner)
{
    std::wstring text;
    if (!OpenClipboard(owner))
        return L"(clipboard busy)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const wchar_t*>(GlobalLock(data));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

inline bool SetClipboardText(HWND owner, const std::wstring& text)
{
    if (!OpenClipboard(owner))
        return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    const bool set = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return set;
}
