#pragma once

#include <windows.h>

#include <map>

// The VLC hosts' mouse hooks: one per thread, with the video window it
// watches. Unlike the FLV and WMP registries, a host adds its thread's hook
// and removes (unhooks) it itself. Every access takes the registry's lock.
class VlcHookRegistry {
public:
    VlcHookRegistry();
    ~VlcHookRegistry();   // unhooks what is left: no hook outlives the module
    VlcHookRegistry(const VlcHookRegistry&) = delete;
    VlcHookRegistry& operator=(const VlcHookRegistry&) = delete;

    // Adds the thread's entry; false, and the hook unhooked, when the thread
    // has one already (it stays as it was); false for a null hook, which is
    // not recorded.
    bool Add(DWORD threadId, HHOOK hook, HWND videoWindow);
    // Unhooks and erases the thread's entry.
    void Remove(DWORD threadId);
    void RemoveAll();
    HHOOK HookOfThread(DWORD threadId) const;
    bool HasHooks() const;

private:
    struct Entry {
        HHOOK hook;
        HWND videoWindow;
    };
    mutable CRITICAL_SECTION m_lock;
    std::map<DWORD, Entry> m_entries;   // guarded by m_lock
};

VlcHookRegistry& VlcHooks();
