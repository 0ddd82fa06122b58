#pragma once
// The tests' side of the stand-in controls' DLL (platform/standins): its
// registration in the test prefix and its call record.
#include <windows.h>

#include <string>

// Loads the DLL (it stays loaded, so the record read here is the one the
// controls write) and calls its DllRegisterServer. The keys are the same for
// every test, so concurrent tests may register at once; none unregisters.
bool RegisterStandins();
// The record since the last take, one call a line.
std::wstring TakeStandinLog();
// Sets a knob of StandinKnobs.h for this process (null value: unset).
void SetStandinKnob(const wchar_t* name, const wchar_t* value);
// Unsets every knob of this process.
void ClearStandinKnobs();
