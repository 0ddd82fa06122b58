#pragma once

// The control bar's dialog and its items; shared by the resource script and
// the code.
#define IDD_CSTREAMVIEW 103
#define IDC_PLAY 201
#define IDC_STOP 202
#define IDC_TIME 204
#define IDC_STATUS 205
#define IDC_MUTE 206
#define IDC_FULLSCREEN 207
#define IDC_PROGRESS 208
#define IDC_VOLUME 209
#define IDC_AD 210
#define IDC_CHAT 211
#define IDC_PLAYLIST 212
#define IDC_VIDEOSIZE 213

// Messages to the control window from the page's methods.
#define WM_CONTROL_CLOSE 1184
#define WM_CONTROL_OPEN 1185
// Posted by the control to itself after a Windows Media Player error; wParam
// is a malloc'd copy of the failed URL, which the handler frees.
#define WM_CONTROL_REPLAY 1186

// The About dialog and its two links.
#define IDD_ABOUT 100
#define IDC_ABOUT_MAIL 1186
#define IDC_ABOUT_SITE 1187

// The right-click menu and its commands.
#define IDM_CONTROL 205
#define ID_ABOUT 0x8002
#define ID_SETTINGS 0x8005

// Timers of the control window.
#define TIMER_POSITION 16
#define TIMER_WMP_BUFFERING 17
#define TIMER_STATISTICS 18
#define TIMER_HIDE_CURSOR 19
#define TIMER_FULLSCREEN_BAR 20
#define TIMER_PREBUFFER 21
#define TIMER_SESSION 22
