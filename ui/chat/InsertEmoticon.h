#pragma once

#include <windows.h>
#include <richole.h>

// Puts an emoticon picture (GIF resource gif of this module) into the rich
// edit at its selection, remembering codeId as the object's user value.
// Releases ole. False, with nothing inserted, when any step fails (the
// picture class missing among them).
bool InsertEmoticon(HWND edit, IRichEditOle* ole, UINT gif, UINT codeId);
