#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "platform/window/WindowBase.h"
#include "tests/common/MouseInput.h"

// A top-level window that records the messages a player or selector sends
// or posts to it (from WM_COMMAND and WM_USER up).
class RecordingOwner : public CWindowBase {
public:
    RecordingOwner();

    std::vector<MSG> seen;
    // Called with each recorded message once it is recorded: the owner's own
    // answer to it, as the control's (stopping and closing the player, say).
    std::function<void(UINT message, WPARAM wParam)> react;

    // Dispatches what is queued on this thread, then counts message.
    int Count(UINT message);
    // Pumps this thread's messages until `message` with `wParam` arrived,
    // at most timeoutMs.
    bool WaitFor(UINT message, WPARAM wParam, DWORD timeoutMs);
    // The wParams of `message` seen so far.
    std::vector<WPARAM> Params(UINT message);

protected:
    bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
};

// Dispatches every message queued for this thread.
void PumpMessages();
// Pumps this thread's messages until done() or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
