#pragma once

#include <windows.h>

// Messages of the VOD engine's window. Who frees what: every payload of a
// sent message belongs to the sender and lives during the call; a posted
// WM_VOD_HTTP_DONE carries the request, which the handler deletes; the
// messages that WM_VOD_PEER_DATA announces wait in the engine's inbox, which
// owns them.
const UINT WM_VOD_PEER_EVENT = 1281;        // sent: PeerId*, event 1-5
const UINT WM_VOD_PEER_DATA = 1282;         // posted: the inbox holds messages
const UINT WM_VOD_SESSION_TICK = 1283;      // session, step (low 16 bits) and flag
const UINT WM_VOD_SESSION_RESULT = 1284;    // posted: session, 1 refused / 2 accepted
const UINT WM_VOD_HTTP_DONE = 1285;         // posted: kind, the http::CHttpRequest
const UINT WM_VOD_SCHEDULE = 1286;          // sent every 100 ms once playback started
const UINT WM_VOD_SECOND = 1287;            // sent every second once playback started
const UINT WM_VOD_SEEK = 1288;              // sent: offset low 32 bits, high 32 bits
const UINT WM_VOD_READ = 1289;              // sent with a time-out: inf::ReadRecord
const UINT WM_VOD_PLAYER_BUFFERING = 1312;  // posted by the control
const UINT WM_VOD_PLAYER_PLAYING = 1313;
const UINT WM_VOD_PLAYER_PAUSED = 1314;
const UINT WM_VOD_PLAYER_STOPPED = 1315;

// Messages to the owner window.
const UINT WM_VOD_CONNECTED = 1296;   // posted: 1 when connections were started, else 0
const UINT WM_VOD_STATUS = 1298;      // posted: stage, string id
const UINT WM_VOD_RELAY_TEXT = 1299;  // posted: malloc'd copy (the owner frees it), length
const UINT WM_VOD_PASSWORD = 1572;    // sent: "pwd" bytes (valid during the call), length

// Kinds of WM_VOD_HTTP_DONE.
const WPARAM VOD_HTTP_REQFILEINFO = 1;
const WPARAM VOD_HTTP_REQPEER = 2;
const WPARAM VOD_HTTP_PEERON = 3;

// Window timers of the engine window.
const UINT_PTR VOD_TIMER_REQPEER = 1;
const UINT_PTR VOD_TIMER_REQFILEINFO = 2;
const UINT_PTR VOD_TIMER_REAP = 3;
const UINT_PTR VOD_TIMER_PEERON = 4;

// Status stages with their string ids (wParam, lParam of WM_VOD_STATUS).
enum VodStatus {
    VOD_STATUS_LOGIN = 1,          // 111 after the network core started
    VOD_STATUS_LOGGED_IN = 2,      // 112 before each "reqpeer" attempt
    VOD_STATUS_ASKING_PEERS = 4,   // 114 "reqpeer" sent
    VOD_STATUS_PEERS_FOUND = 5,    // 115 the reply left candidates
    VOD_STATUS_NO_PEERS = 6,       // 116 not sent, or no candidate
    VOD_STATUS_CONNECTING = 7,     // 117 connecting began
};
inline LPARAM VodStatusStringId(int stage)
{
    return 110 + stage;
}
