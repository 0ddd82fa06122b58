#pragma once
#include <windows.h>

#include "platform/com/ClassFactory.h"

namespace standins {

// One creatable stand-in: its class id, its ProgID (or null) and the class
// object DllGetClassObject hands out.
struct StandinClass {
    const CLSID& clsid;
    const wchar_t* progId;
    com::CClassFactory factory;
};

extern StandinClass kStandinClasses[];
extern const size_t kStandinClassCount;

}  // namespace standins
