#pragma once
// The knobs the tests turn through environment variables, read at each use:
//   TOVRA_STANDIN_FAIL_CREATE    control names, comma-separated ("Flash,VLC"),
//                                or "*": creating those controls fails
//   TOVRA_STANDIN_FLASH_VERSION  the Flash major version to report (7 makes
//                                the FLV host refuse the control), or the
//                                whole version value as "0x..."
//   TOVRA_STANDIN_FLASH_HOLD_READY the Flash movie never reports ready
//   TOVRA_STANDIN_FLASH_HOLD_SEEKING after a seek the FLV player movie stays
//                                "seeking" until the host has read that state
//   TOVRA_STANDIN_PROBE_NO_CLASSINFO the probe hides IProvideClassInfo(2)
//   TOVRA_STANDIN_NO_WMPCONTROLS the WMP control answers no IWMPControls
//   TOVRA_STANDIN_WMP_DAMAGE_AT  the WMP control takes data packet n of each
//                                connection (from 1) as damaged: its error
//                                event, as for a damaged stream
//   TOVRA_STANDIN_NO_VLCCONTROL2 the VLC control answers no IVLCControl2
//   TOVRA_STANDIN_UNGUARDED_EVENTS the controls raise events without holding
//                                themselves, as some real ones do: a sink
//                                that releases the control's last reference
//                                inside an event would destroy it under its
//                                own call (logged, and the control kept)
//   TOVRA_STANDIN_REAL_BUFFERING "elapsed,remaining": the Real control's
//                                buffering times, whatever it plays
#include <string>

namespace standins {

// The variable TOVRA_STANDIN_<name>; empty when unset.
std::wstring KnobText(const wchar_t* name);
// Set to anything but empty or "0".
bool KnobSet(const wchar_t* name);
// Whether TOVRA_STANDIN_FAIL_CREATE names this control (or is "*").
bool CreationRefused(const wchar_t* control);

}  // namespace standins
