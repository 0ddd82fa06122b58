#pragma once
// The class and event ids of the stand-ins that imitate no outside control.
#include <windows.h>

// The probe: a tiny control the host window and event sink are tried on.
inline const CLSID CLSID_StandinProbe = {
    0x7A0C3E51, 0x4B2D, 0x4F7E, {0x9C, 0x11, 0x5D, 0x2A, 0x6B, 0x8E, 0x0F, 0x31}};
inline const IID DIID_StandinProbeEvents = {
    0x7A0C3E52, 0x4B2D, 0x4F7E, {0x9C, 0x11, 0x5D, 0x2A, 0x6B, 0x8E, 0x0F, 0x31}};

// The probe's members and its one event.
enum ProbeId : DISPID {
    PROBE_VALUE = 1,   // property, a long
    PROBE_RING = 2,    // method: raises PROBE_EVENT_RANG with its own arguments
    PROBE_EVENT_RANG = 7,
};
