#pragma once
#include <windows.h>

// One tooltip window per owner window, shared by the owner's buttons and
// sliders. With create: the owner's tooltip, made when it has none (or its
// old one is gone). Without: the owner's tooltip is destroyed; null.
// Page thread only.
HWND GetToolTipWindow(HWND owner, bool create);
