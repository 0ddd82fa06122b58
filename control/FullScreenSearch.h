#pragma once
#include <windows.h>

// The full-screen video window of a player whose window is player: a
// top-level window of the same process and thread as the player's first
// child, without a caption, covering exactly the screen. Null when the
// player has no child or no such window exists.
HWND FindFullScreenWindow(HWND player);
