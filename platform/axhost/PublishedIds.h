#pragma once
// The published identifiers of the outside player controls our hosts embed:
// class ids, the interfaces the hosts query, and the outgoing event
// interfaces with their dispatch ids. The event sinks fall back on these
// when a control does not name its default source itself. Windows Media
// Player's are in mingw's wmp.h; each other control adds its own block here.
#include <windows.h>

// Shockwave Flash.
inline const CLSID CLSID_ShockwaveFlash = {
    0xD27CDB6E, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const IID IID_IShockwaveFlash = {
    0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
inline const IID DIID_IShockwaveFlashEvents = {
    0xD27CDB6D, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

enum FlashEventId : DISPID {
    FLASH_EVENT_FSCOMMAND = 150,           // (command, arguments)
    FLASH_EVENT_READYSTATECHANGE = -609,   // (state)
    FLASH_EVENT_PROGRESS = 1958,           // (percent)
    FLASH_EVENT_FLASHCALL = 197,           // (request)
};
