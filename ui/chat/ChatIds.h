#pragma once

#include "ui/SharedStrings.h"   // IDS_NOTICE_CAPTION, IDS_NAME_EMPTY

// Resources of the chat window: its dialog, menu, texts and the emoticon
// pictures. Shared by the resource script and the code.
#define IDD_CHAT 212
#define IDM_CHAT 205

#define IDC_CHAT_LOG 207
#define IDC_CHAT_INPUT 208
#define IDC_CHAT_SEND 209
#define IDC_CHAT_NAME 211
#define IDC_CHAT_RENAME 212
#define IDC_CHAT_FONT 214
#define IDC_CHAT_EMOTICONS 215
#define IDC_CHAT_CLOSE 216

#define ID_MENU_SETTINGS 0x8005
#define ID_MENU_ABOUT 0x8002
#define ID_CHAT_CLEAR 0x8004

#define IDS_GUEST 127
#define IDS_SYSTEM_NOTICE 128
#define IDS_SAYS 129
#define IDS_TOO_FAST 130
#define IDS_USER 132
#define IDS_RENAMED_TO 133
#define IDS_DEFAULT_FACE 141
#define IDS_TOO_MANY_PICTURES 167
#define IDS_TIP_RENAME 182
#define IDS_TIP_SEND 183
#define IDS_TIP_FONT 184
#define IDS_TIP_EMOTICONS 185
#define IDS_TIP_CLOSE_CHAT 186

// Emoticon i: GIF 230 + i, name and code strings from EmoticonNameId(i) and
// EmoticonCodeId(i).
#define IDR_GIF_FIRST 230
#define IDS_EMOTICON_NAME_FIRST 134
#define IDS_EMOTICON_CODE_FIRST 137
