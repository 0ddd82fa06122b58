#pragma once

#include <windows.h>
#include <ocidl.h>

#include "platform/axhost/DispEventSink.h"

// The first steps of every ActiveX host's Create: an "AtlAxWin71" window
// without a name (the given style, rectangle, parent and child id), the
// control of `clsid` made inside it through IAxWinHostWindow::CreateControl
// with the class id's text, then the control's `iid` interface in *control
// with `sink` advised to the control. Answers the window; on any failure
// null, with the window destroyed and *control null.
HWND CreateAdvisedAxControl(REFCLSID clsid, REFIID iid, axhost::CDispEventSink& sink, DWORD style,
                            const RECT& rect, HWND parent, UINT id, void** control);
