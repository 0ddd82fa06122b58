// The DLL's classes: one line per stand-in control (see StandinControl.h).
#include "platform/standins/StandinClasses.h"

#include "platform/axhost/PublishedIds.h"
#include "platform/standins/FlashControl.h"
#include "platform/standins/ProbeControl.h"
#include "platform/standins/StandinIds.h"

namespace standins {

#define STANDIN(clsid, progId, Class) {clsid, progId, com::CClassFactory(clsid, CreateStandin<Class>)}

StandinClass kStandinClasses[] = {
    STANDIN(CLSID_StandinProbe, L"TovraStandins.Probe", CProbeControl),
    STANDIN(CLSID_ShockwaveFlash, nullptr, CFlashControl),
};

const size_t kStandinClassCount = sizeof kStandinClasses / sizeof kStandinClasses[0];

}  // namespace standins
