#pragma once

// Where a seek to `permille` of `duration` lands, in the unit the kind's
// player is sought in: Real milliseconds (its duration in seconds), Flash frames,
// FLV and WMP whole seconds, DirectShow 100-ns units (duration in seconds),
// VLC milliseconds (its duration in ms). The product is rounded up.
long long SeekTarget(int kind, int permille, double duration);
