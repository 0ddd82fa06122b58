#pragma once

// The advertisement windows' texts in the string table.
#define IDS_AD_OVERLAY_FACE 170
