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

// Commands of the right-click menu.
#define ID_SETTINGS 0x8005
