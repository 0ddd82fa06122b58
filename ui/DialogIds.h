#pragma once

#include "ui/SharedStrings.h"   // IDS_NOTICE_CAPTION, IDS_NAME_EMPTY

// The control's dialogs, their items and texts; shared by the resource script
// and the code.
#define IDD_PLAYLIST 211
#define IDD_CLIENT_PASS 250
#define IDD_CLIENT_USER_PASS 251
#define IDD_SETTINGS 252

// Channel password and login dialogs.
#define IDC_LOGIN_PROMPT 216
#define IDC_REMEMBER 218
#define IDC_USER_NAME 1046
#define IDC_PASSWORD 1082

// Programme list dialog.
#define IDC_REFRESH_LIST 215
#define IDC_PROGRAMMES 216
#define IDI_PLAYLIST 221   // the control's icon

// Settings dialog.
#define IDC_CACHE_FOLDER 215
#define IDC_BROWSE_FOLDER 216
#define IDC_CACHE_SIZE 217
#define IDC_NET_TYPES 219
#define IDC_NET_DOWN 220
#define IDC_NET_UP 221
#define IDC_UNIT_KBITS 222
#define IDC_UNIT_KBYTES 223

// Texts of the string table.
#define IDS_COLUMN_PROGRAMME 125
#define IDS_COLUMN_TIME 126
#define IDS_WRONG_PASSWORD 169
#define IDS_NETWORK_ERROR 171
#define IDS_PASSWORD_EMPTY 172
#define IDS_CACHE_SIZE_RANGE 187
#define IDS_COLUMN_CONNECTION 188
#define IDS_COLUMN_DOWNLOAD 189
#define IDS_COLUMN_UPLOAD 190
#define IDS_NET_UNKNOWN 191   // then one text per network type, up to 197
