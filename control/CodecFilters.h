#pragma once

// The codec files installed beside the library, registered through their own
// entry points, and the media player's scheme key; they come with the player
// hosts. Until those are linked in, the references stay unresolved (null) and
// registration goes on without them.
void RegisterCodecFilters() __attribute__((weak));
void UnregisterCodecFilters() __attribute__((weak));
