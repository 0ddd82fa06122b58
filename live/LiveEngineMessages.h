#pragma once

#include <windows.h>

// Messages of the live engine's window. Who frees what: every payload of a
// sent message belongs to the sender and lives during the call; a posted
// WM_LIVE_HTTP_DONE carries the request, which the handler deletes.
const UINT WM_LIVE_PEER_EVENT = 1537;        // sent: PeerId*, event 1-5
const UINT WM_LIVE_PEER_DATA = 1538;         // sent: PeerId*, {data, length}*
const UINT WM_LIVE_SESSION_TICK = 1539;      // sent by a send timer: session, LIVE_SESSION_TICK_TAG
const UINT WM_LIVE_SESSION_RESULT = 1540;    // posted: session, LIVE_SESSION_REFUSED / _ACCEPTED
const UINT WM_LIVE_HTTP_DONE = 1541;         // posted: kind, the http::CHttpRequest
const UINT WM_LIVE_SCHEDULE = 1542;          // sent every 100 ms once playback started
const UINT WM_LIVE_GET_HEADER = 1544;        // sent by the feeder: header id, std::string*
const UINT WM_LIVE_PLAYER_BUFFERING = 1545;  // posted by the control
const UINT WM_LIVE_PLAYER_PLAYING = 1546;
const UINT WM_LIVE_PLAYER_PAUSED = 1547;
const UINT WM_LIVE_PLAYER_STOPPED = 1548;

// lParam of WM_LIVE_SESSION_TICK: a tick without it is not a send timer's.
const LPARAM LIVE_SESSION_TICK_TAG = 19;
// lParam of WM_LIVE_SESSION_RESULT: the other side's answer to our hello.
const LPARAM LIVE_SESSION_REFUSED = 17;
const LPARAM LIVE_SESSION_ACCEPTED = 18;

// Messages to the owner window.
const UINT WM_LIVE_CONNECTED = 1568;     // posted: 1 when connecting began, else 0
const UINT WM_LIVE_STREAM_READY = 1569;  // sent with a time-out: programme title
const UINT WM_LIVE_STATUS = 1570;        // posted: stage, string id (stage 9: text, sent)
const UINT WM_LIVE_RELAY_TEXT = 1571;    // posted: malloc'd copy (the owner frees it), length
// The channel password challenge is WM_VOD_PASSWORD (VodEngineMessages.h),
// sent by the engine thread without a time-out; 0 refuses the channel.

// Kinds of WM_LIVE_HTTP_DONE.
const WPARAM LIVE_HTTP_REQPEER = 16;
const WPARAM LIVE_HTTP_PEERON = 17;

// Window timers of the engine window.
const UINT_PTR LIVE_TIMER_REQPEER = 17;
const UINT_PTR LIVE_TIMER_REAP = 18;
const UINT_PTR LIVE_TIMER_START = 19;
const UINT_PTR LIVE_TIMER_PEERON = 20;

// Stages of WM_LIVE_STATUS; stages 1 to 8 carry the string id 110 + stage.
enum LiveStatus {
    LIVE_STATUS_LOGIN = 1,         // the network core started
    LIVE_STATUS_LOGGED_IN = 2,     // before each reqpeer attempt
    LIVE_STATUS_ASKING_PEERS = 4,  // reqpeer started
    LIVE_STATUS_PEERS_FOUND = 5,   // a reply left candidates
    LIVE_STATUS_NO_PEERS = 6,      // not started, or no candidate
    LIVE_STATUS_CONNECTING = 7,    // connecting began
    LIVE_STATUS_NEXT_PROGRAMME = 8,
    LIVE_STATUS_BUFFERING = 9,     // lParam: a held text, sent with a time-out
};
inline LPARAM LiveStatusStringId(int stage) { return 110 + stage; }
