#pragma once

// The control's texts in its string table.
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
