#pragma once

#include "vod/VodCandidate.h"

// One peer of the channel known from the tracker: its address, "gwtype",
// "nodetype" (0 a viewer, non-zero a source node), the attempts made from the
// retry table and when it last failed. The tracker's peer entries are the
// same as for a video, so the record is shared with the VOD engine.
using LiveCandidate = VodCandidate;
using LiveCandidateTable = VodCandidateTable;
