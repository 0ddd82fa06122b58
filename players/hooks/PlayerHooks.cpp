#include "players/hooks/PlayerHooks.h"

#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hooks/VlcHookRegistry.h"

bool PlayerHooksInstalled()
{
    return FlvHookRegistry().HasHooks() || WmpHookRegistry().HasHooks() ||
           VlcHooks().HasHooks() || IsFullscreenLockHookInstalled();
}

void RemoveAllPlayerHooks()
{
    FlvHookRegistry().RemoveAllHooks();
    WmpHookRegistry().RemoveAllHooks();
    VlcHooks().RemoveAll();
    RemoveFullscreenLockHook();
}
