#include "ui/ADClock.h"

#include <ctime>

namespace {
int g_fixed = 0;   // control's thread only
}

int ADClock::Now()
{
    return g_fixed ? g_fixed : static_cast<int>(std::time(nullptr));
}

void ADClock::Set(int secondsSince1970)
{
    g_fixed = secondsSince1970;
}
