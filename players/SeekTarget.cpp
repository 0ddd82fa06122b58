#include "players/SeekTarget.h"

#include <cmath>

long long SeekTarget(int kind, int permille, double duration)
{
    switch (kind) {
    case 1:   // Real: duration in seconds, target in ms
        return static_cast<long long>(std::ceil(permille * duration));
    case 5:   // DirectShow: whole seconds to 100-ns units
        return static_cast<long long>(std::ceil(permille * duration * 0.001)) * 10000000LL;
    default:  // the others keep the duration's own unit
        return static_cast<long long>(std::ceil(permille * duration * 0.001));
    }
}
