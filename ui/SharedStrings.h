#pragma once
// Texts that several of the control's windows show: one copy each in the
// module's string table (ui/SharedStrings.rc).
#define IDS_NOTICE_CAPTION 101
#define IDS_NAME_EMPTY 131
