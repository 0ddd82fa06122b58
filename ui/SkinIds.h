#pragma once

// The skin resources: one bitmap and one skin set per skin, with the icons
// and the container's toolbox picture drawn beside them. Shared by the
// resource scripts and the code.
#define IDB_TOOLBOX 1
#define IDB_SKIN_MAIN 201
#define IDR_SKINSET_MAIN 203
#define IDR_SKINSET_CHAT 213
#define IDB_SKIN_CHAT 214
#define IDI_CONTROL 221
#define IDI_CHAT 222

// Items of the main skin; a button's four pictures (normal, hover, pressed,
// disabled) lie under consecutive ids from its base.
#define IDB_NET_STATE_0 101
#define IDB_PRO_BTN_N 105
#define IDB_PRO_BTN_D 108
#define IDB_BTN_PLAY_N 109
#define IDB_BTN_PLAY_S 111
#define IDB_BTN_STOP_N 113
#define IDB_BTN_VOL_N 117
#define IDB_BTN_VOL_S 119
#define IDB_BTN_FULL_N 121
#define IDB_VOL_BTN_N 125
#define IDB_VOL_BTN_S 126
#define IDB_VOL_LINE_S 127
#define IDB_VOL_LINE_N 128
#define IDB_BK_LEFT 129
#define IDB_BK_MID 130
#define IDB_BK_RIGHT 132
#define IDB_PROG_S 133
#define IDB_PROG_N 134
#define IDB_PROG_H 135
#define IDB_BG_TRANS 136
#define IDB_BK_TIME_LEFT 137
#define IDB_BK_TIME_MID 138
#define IDB_BK_TIME_RIGHT 139
#define IDB_HEADER_BK 140
#define IDB_BTN_LIST_N 141
#define IDB_BTN_CHAT_N 145
#define IDB_BTN_OUT_N 149

// Items of the chat skin.
#define IDB_CT_CLOSE_N 1001
#define IDB_CT_TRANS 1026
