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

// RealPlayer. Its automation interface is dual; the host calls it by name.
inline const CLSID CLSID_RealAudio = {
    0xCFCDAA03, 0x8BE4, 0x11CF, {0xB8, 0x4B, 0x00, 0x20, 0xAF, 0xBB, 0xCC, 0xFA}};
inline const IID IID_IRealAudio = {
    0xCFCDAA01, 0x8BE4, 0x11CF, {0xB8, 0x4B, 0x00, 0x20, 0xAF, 0xBB, 0xCC, 0xFA}};
inline const IID DIID_DRealAudioEvents = {
    0xCFCDAA02, 0x8BE4, 0x11CF, {0xB8, 0x4B, 0x00, 0x20, 0xAF, 0xBB, 0xCC, 0xFA}};
struct IRealAudio : public IDispatch {};

enum RealEventId : DISPID {
    REAL_EVENT_OPENED = 302,            // (a, b)
    REAL_EVENT_CLOSED = 303,            // ()
    REAL_EVENT_STATUS = 304,            // (status)
    REAL_EVENT_POSITION = 1005,         // (position ms, length ms)
    REAL_EVENT_STATE = 1013,            // (state)
    REAL_EVENT_ERROR = 1014,            // six arguments
    REAL_EVENT_BUFFERING = 1041,        // (a, percent)
    REAL_EVENT_LBUTTONDOWN = 1031,      // (flags, x, y)
    REAL_EVENT_LBUTTONUP = 1032,
    REAL_EVENT_RBUTTONDOWN = 1034,
    REAL_EVENT_RBUTTONUP = 1035,
    REAL_EVENT_MOUSEMOVE = 1037,
    REAL_EVENT_KEYDOWN = 1038,          // (flags, key)
    REAL_EVENT_KEYPRESS = 1039,
    REAL_EVENT_KEYUP = 1040,
};

// VLC. IVLCControl2 is reached from IVLCControl by QueryInterface.
inline const CLSID CLSID_VLCPlugin = {
    0x9BE31822, 0xFDAD, 0x461B, {0xAD, 0x51, 0xBE, 0x1D, 0x1C, 0x15, 0x99, 0x21}};
inline const IID IID_IVLCControl = {
    0xC2FA41D0, 0xB113, 0x476E, {0xAC, 0x8C, 0x9B, 0xD1, 0x49, 0x99, 0xC1, 0xC1}};
inline const IID IID_IVLCControl2 = {
    0x2D719729, 0x5333, 0x406C, {0xBF, 0x12, 0x8F, 0x1E, 0x5B, 0xA3, 0xA1, 0xF8}};
inline const IID DIID_DVLCEvents = {
    0xDF48072F, 0x5EF8, 0x434E, {0x9B, 0x40, 0xE2, 0xF3, 0xAE, 0x75, 0x9B, 0x5F}};
struct IVLCControl : public IDispatch {};
struct IVLCControl2 : public IDispatch {};
// Windows Media Player: mingw's wmp.h has the rest, but not IWMPPlayer2.
inline const IID IID_IWMPPlayer2 = {
    0x0E6B01D1, 0xD407, 0x4C85, {0xBF, 0x5F, 0x1C, 0x01, 0xF6, 0x15, 0x02, 0x80}};
