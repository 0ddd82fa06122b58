#include "tests/players/PlayerTestSupport.h"

#include <algorithm>

RecordingOwner::RecordingOwner()
{
    RECT rect = {0, 0, 640, 480};
    Create(nullptr, rect, L"owner", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN);
}

bool RecordingOwner::ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          LRESULT& result)
{
    if (message == WM_COMMAND || message >= WM_USER) {
        MSG m = {hwnd, message, wParam, lParam, 0, {0, 0}};
        seen.push_back(m);
        result = 0;
        if (react)
            react(message, wParam);
        return true;
    }
    return false;
}

void PumpMessages()
{
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

int RecordingOwner::Count(UINT message)
{
    PumpMessages();
    int count = 0;
    for (const MSG& m : seen)
        count += m.message == message;
    return count;
}

std::vector<WPARAM> RecordingOwner::Params(UINT message)
{
    PumpMessages();
    std::vector<WPARAM> params;
    for (const MSG& m : seen) {
        if (m.message == message)
            params.push_back(m.wParam);
    }
    return params;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (done())
            return true;
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        // Conditions may turn true without a message: look again at least every 50 ms.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - spent, 50),
                                  QS_ALLINPUT);
    }
}

bool RecordingOwner::WaitFor(UINT message, WPARAM wParam, DWORD timeoutMs)
{
    return PumpUntil(
        [&] {
            for (const MSG& m : seen) {
                if (m.message == message && m.wParam == wParam)
                    return true;
            }
            return false;
        },
        timeoutMs);
}
