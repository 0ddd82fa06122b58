#pragma once

#include <windows.h>

// Which host plays the current address.
enum PlayerKind {
    PLAYER_NONE = 0,
    PLAYER_REAL = 1,
    PLAYER_FLASH = 2,
    PLAYER_FLV = 3,
    PLAYER_WMP = 4,
    PLAYER_DSHOW = 5,
    PLAYER_VLC = 6,
};

// Open's answers when a host cannot be created, and every command's answer
// while no player is open.
const HRESULT E_PLAYER_REAL_CREATE = static_cast<HRESULT>(0xC0050000);
const HRESULT E_PLAYER_FLASH_CREATE = static_cast<HRESULT>(0xC0050001);
const HRESULT E_PLAYER_WMP_CREATE = static_cast<HRESULT>(0xC0050002);
const HRESULT E_PLAYER_NONE = static_cast<HRESULT>(0xC0050003);
const HRESULT E_PLAYER_FLV_CREATE = static_cast<HRESULT>(0xC0050004);
const HRESULT E_PLAYER_DSHOW_CREATE = static_cast<HRESULT>(0xC0050005);
const HRESULT E_PLAYER_VLC_CREATE = static_cast<HRESULT>(0xC0050006);

// What the hosts report to the owner window through the selector. Mouse
// messages carry MK_* flags in wParam and the point (y high, x low) in lParam.
const UINT WM_PLAYER_OPENSTATE = 3025;   // wParam 1 opened, 2 closed, 3 connecting
const UINT WM_PLAYER_PLAYSTATE = 3026;   // wParam: see PlayerState
const UINT WM_PLAYER_STATUS = 3027;
const UINT WM_PLAYER_PROGRESS = 3028;    // lParam: load or buffering percent
const UINT WM_PLAYER_ERROR = 3029;
const UINT WM_PLAYER_POSITION = 3030;    // wParam position s, lParam length s
const UINT WM_PLAYER_CLICK = 3031;
const UINT WM_PLAYER_DBLCLICK = 3032;
const UINT WM_PLAYER_KEY = 3033;
const UINT WM_PLAYER_KEYUP = 3034;
const UINT WM_PLAYER_KEYPRESS = 3035;
const UINT WM_PLAYER_MOUSEMOVE = 3037;
const UINT WM_PLAYER_MOUSEDOWN = 3038;
const UINT WM_PLAYER_MOUSEUP = 3039;

// wParam of WM_PLAYER_PLAYSTATE.
enum PlayerState {
    PLAYSTATE_STOPPED = 1,
    PLAYSTATE_PAUSED = 2,
    PLAYSTATE_PLAYING = 3,
    PLAYSTATE_SEEKING = 4,
    PLAYSTATE_BUFFERING = 5,
    PLAYSTATE_OTHER = 6,
};

// The owner's full-screen toggle, sent as WM_COMMAND for automatic full screen.
const WORD IDC_FULLSCREEN = 207;
