#pragma once

#include "players/hosts/PendingHost.h"

// The host of the FLV player movie inside Flash. Its creation fails until it
// is built; its mouse hook procedure is in place for the FLV hook registry.
class CFlvOCX : public CPendingHost {
public:
    using CPendingHost::CPendingHost;

    // Takes the player movie's address (stored before the window exists).
    HRESULT SetMovieUrl(const wchar_t* movie) { return E_NOTIMPL; }

    // Records the cursor on every FLV entry at each mouse move, and swallows
    // right-button-downs while some FLV movie is full screen.
    static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);
};
