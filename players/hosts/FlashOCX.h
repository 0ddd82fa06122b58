#pragma once

#include "players/hosts/PendingHost.h"

// The host of the Shockwave Flash control; its creation fails until it is built.
class CFlashOCX : public CPendingHost {
public:
    using CPendingHost::CPendingHost;

    // The movie's own settings, asked by the selector at Open and Stop.
    HRESULT SetLoop(bool loop) { return E_NOTIMPL; }
    HRESULT SetBackgroundColor(long color) { return E_NOTIMPL; }
    HRESULT GotoFrame(long frame) { return E_NOTIMPL; }
};
