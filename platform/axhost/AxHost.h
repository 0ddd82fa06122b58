#pragma once
// The control-host window "AtlAxWin71". A window of this class made with a
// text (a class id in braces, or a ProgID) creates that control in itself at
// WM_CREATE, sites it and activates it in place; one made without a text
// hosts nothing until IAxWinHostWindow::CreateControl (see AxGetHost). The
// window reflects its child's notifications back to it (OCM_*), keeps the
// control's rectangle on its client area, and deactivates and releases the
// control when destroyed. Everything runs on the window's thread, which must
// have initialised OLE.
#include <windows.h>
#include <ocidl.h>

namespace axhost {

const wchar_t kHostClassName[] = L"AtlAxWin71";

// Registers the class as this module's own (a window finds it when created
// with this module's instance), unless it is registered already; false when
// it cannot be now (a later call tries again). A global class of the same
// name from another component is left alone.
bool AxWinInit();

// The hosted control's IUnknown; E_FAIL for a window without one.
HRESULT AxGetControl(HWND host, IUnknown** control);
// The host's IUnknown (it answers IAxWinHostWindow); E_FAIL for a window
// that is not a host.
HRESULT AxGetHost(HWND host, IUnknown** site);

}  // namespace axhost
