#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "players/hooks/PlayerHookEntry.h"

// The mouse hooks of one kind of host (FLV or WMP), process-wide: one WH_MOUSE
// hook per thread that owns a registered video window, and one entry per
// registered host window. Registration runs on the control's thread, the
// hook procedures on the video windows' threads, which need not be the
// same: every access takes the registry's lock, and no call out of the
// registry (hook installation aside) happens under it.
//
// A hook calls code of this module, so it never outlives it: a thread's hook
// goes with its last entry, RemoveAllHooks takes every hook away, and the
// destructor (module unload) removes what is left.
class PlayerHookRegistry {
public:
    // videoClasses: the class names of the video window, null-terminated list.
    PlayerHookRegistry(HOOKPROC procedure, const wchar_t* const* videoClasses);
    ~PlayerHookRegistry();
    PlayerHookRegistry(const PlayerHookRegistry&) = delete;
    PlayerHookRegistry& operator=(const PlayerHookRegistry&) = delete;

    // Nothing when hostWindow is registered already or names no window.
    void Register(HWND hostWindow, void* host);
    // Nothing when hostWindow is not registered.
    void Unregister(HWND hostWindow);
    void RemoveAllHooks();

    // The hook of a thread, null when it has none.
    HHOOK HookOfThread(DWORD threadId) const;
    bool HasHooks() const;
    std::size_t EntryCount() const;
    // A copy of hostWindow's entry; false when it is not registered.
    bool Find(HWND hostWindow, PlayerHookEntry* entry) const;
    // Runs `change` on every entry (or the one of hostWindow) under the lock.
    void Update(const std::function<void(HWND, PlayerHookEntry&)>& change);
    bool Update(HWND hostWindow, const std::function<void(PlayerHookEntry&)>& change);

    // The first child of `parent` whose class name matches one of `classes`
    // (equal, ignoring case, to as many leading characters of the name as
    // the class name has), else parent itself.
    static HWND FindVideoWindow(HWND parent, const wchar_t* const* classes);

private:
    void UnhookThreadIfUnused(DWORD threadId);   // under the lock

    HOOKPROC m_procedure;
    const wchar_t* const* m_videoClasses;
    mutable CRITICAL_SECTION m_lock;
    std::map<HWND, PlayerHookEntry> m_entries;   // guarded by m_lock
    std::map<DWORD, HHOOK> m_hooks;              // guarded by m_lock
};

// The video windows' classes of the Flash (and FLV) and WMP controls.
inline const wchar_t* const kFlashVideoClasses[] = {L"MacromediaFlashPlayerActiveX", nullptr};
inline const wchar_t* const kWmpVideoClasses[] = {L"WMPVideoWindow", L"EVRVideoHandler", nullptr};

// The registries of the FLV and WMP hosts.
PlayerHookRegistry& FlvHookRegistry();
PlayerHookRegistry& WmpHookRegistry();
