#pragma once
#include <windows.h>

#include <string>

class CDialogBase;

// The control's answer to a channel challenge: the password dialog, the
// login dialog or the automatic login, by the challenge's kind. The engine
// that asked waits in SendMessage meanwhile.
class CChannelAuth {
public:
    // 1 when authorised, else 0. The dialogs are modal over parent; the
    // automatic login (which posts pageAddress) blocks this thread.
    LRESULT Answer(const char* bytes, int length, HWND parent, const std::wstring& pageAddress);

    // True while Answer runs.
    bool Running() const { return m_running; }
    // Ends the dialog on screen as cancelled, so Answer returns 0.
    void Cancel();

private:
    bool m_running = false;
    CDialogBase* m_dialog = nullptr;   // the dialog on screen, or null
};
