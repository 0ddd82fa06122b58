#pragma once

// The codec folder's DirectShow components are registered by this library
// itself: each file is loaded and its own registration entry called. Nothing
// is reported; a missing folder, file or entry is skipped.
//
// Registers "asyncflt.ax", "RealMediaSplitter.ax" and "WMFDemux.dll", in that
// order, then writes the media player's scheme key for "zaror" addresses.
void RegisterCodecFilters();
// Unregisters the three files; the scheme key stays.
void UnregisterCodecFilters();
