#pragma once

// Every mouse hook of the player hosts and the full-screen lock, together.
// True while one is installed: the module must not unload then.
bool PlayerHooksInstalled();
// Takes them all away (the last selector's DestroyAll).
void RemoveAllPlayerHooks();
