#pragma once

// The control's texts in its string table.
#include "ui/SharedStrings.h"   // IDS_NOTICE_CAPTION
#define IDS_STAT_UPLOAD 103
#define IDS_STAT_UPLOAD_TOTAL 104
#define IDS_STAT_DOWNLOAD 105
#define IDS_STAT_DOWNLOAD_TOTAL 106
#define IDS_STAT_SOURCES 107
#define IDS_NO_REAL 108
#define IDS_NO_FLASH 109
#define IDS_NO_WMP 110
#define IDS_LOGIN_BEGIN 111
#define IDS_LOGIN_DONE 112
#define IDS_LOGIN_FAILED 113
#define IDS_PEERS_BEGIN 114
#define IDS_PEERS_DONE 115
#define IDS_PEERS_FAILED 116
#define IDS_CONNECTING 117
#define IDS_NEXT_PROGRAMME 118
#define IDS_BUFFERING 119
#define IDS_PLAYING 120
#define IDS_SEEKING 121
#define IDS_PAUSED 122
#define IDS_BUFFERING_PERCENT 123
#define IDS_STOPPED 124
#define IDS_PLAY_FAILED 140
#define IDS_NOW_PLAYING 142
#define IDS_TIP_PLAY 173
#define IDS_TIP_STOP 174
#define IDS_TIP_CHAT 175
#define IDS_TIP_FULLSCREEN 176
#define IDS_TIP_FIT_VIDEO 177
#define IDS_TIP_ORIGINAL_SIZE 178
#define IDS_TIP_LIST 179
#define IDS_TIP_MUTE 180
#define IDS_TIP_PAUSE 181
#define IDS_NO_VLC 198
#define IDS_VLC_PAGE 199

#ifndef RC_INVOKED
#include <windows.h>

#include <string>

// A text of the module's string table; empty when it holds none.
std::wstring LoadControlString(UINT id);
#endif
