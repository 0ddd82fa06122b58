#include "players/hooks/PlayerHooks.h"

#include "players/hooks/FullscreenLock.h"
#include "players/hooks/PlayerHookRegistry.h"
#include "players/hooks/VlcHookRegistry.h"
#include "players/hosts/RealOCX.h"

bool PlayerHooksInstalled()
{
    return FlvHookRegistry().HasHooks() || WmpHookRegistry().HasHooks() ||
           VlcHooks().HasHooks() || IsFullscreenLockHookInstalled() ||
           CRealOCX::HookInstalled();
}

void RemoveAllPlayerHooks()
{
    FlvHookRegistry().RemoveAllHooks();
    WmpHookRegistry().RemoveAllHooks();
    VlcHooks().RemoveAll();
    RemoveFullscreenLockHook();
}
