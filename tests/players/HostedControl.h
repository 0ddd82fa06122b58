#pragma once
// Reaching the stand-in control inside a selector's current host, for the
// tests of the ActiveX player hosts.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "players/PlayerSelector.h"

// The current host's control as IDispatch (null when there is none).
IDispatch* HostedControl(CPlayerSelector& selector);
// The first window of `className` inside the current host; null for none.
HWND HostedWindow(CPlayerSelector& selector, const wchar_t* className);
// A call by name with arguments in declaration order; the arguments are freed.
HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANT> args,
                   VARIANT* result = nullptr);
VARIANT LongValue(long value);
VARIANT TextValue(const wchar_t* text);
// The centre of a window, in screen coordinates.
POINT CentreOf(HWND window);
