#pragma once
#include <wchar.h>

#include "update/InfoFile.h"

// One line of the update-information file and what the check found for it.
struct UpdateEntry {
    upkeep::LocalVersion localVersion;  // from the local file's version resource
    bool used = false;                  // a line was parsed into it
    bool update = false;                // the announced version is newer
    unsigned char type = 0;             // 2: an update Update_GetUpdateType reports
    wchar_t package[256] = {};          // file in the host directory, path below the base URL
    wchar_t localPath[256] = {};        // the installed file whose version is compared
    wchar_t version[21] = {};           // announced, dotted decimal
};
