#pragma once

// The live engine's texts in the string table of the module it is linked
// into (LiveStrings.rc).
#define IDS_LIVE_WAITING 168   // the first buffering countdown: "waiting n%"

#ifndef RC_INVOKED
#include <windows.h>

#include <string>

// A text of the string table of the module that holds this code; empty when
// it holds none.
std::wstring LoadLiveString(UINT id);
#endif
