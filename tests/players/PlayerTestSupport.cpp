#include "tests/players/PlayerTestSupport.h"

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

bool RecordingOwner::WaitFor(UINT message, WPARAM wParam, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        for (const MSG& m : seen) {
            if (m.message == message && m.wParam == wParam)
                return true;
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - spent, QS_ALLINPUT);
    }
}
