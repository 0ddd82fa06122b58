#pragma once

#include "players/hosts/PendingHost.h"

// The host of the Windows Media Player control; its creation fails until it is built.
class CWmpOCX : public CPendingHost {
public:
    using CPendingHost::CPendingHost;

    // The WMP mouse hook: passes every message on until the host is built.
    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);
};
