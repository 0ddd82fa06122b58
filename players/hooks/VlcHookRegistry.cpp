#include "players/hooks/VlcHookRegistry.h"

VlcHookRegistry::VlcHookRegistry()
{
    InitializeCriticalSection(&m_lock);
}

VlcHookRegistry::~VlcHookRegistry()
{
    RemoveAll();
    DeleteCriticalSection(&m_lock);
}

bool VlcHookRegistry::Add(DWORD threadId, HHOOK hook, HWND videoWindow)
{
    if (!hook)
        return false;   // refused by the system: the host tries again later
    EnterCriticalSection(&m_lock);
    bool added = m_entries.emplace(threadId, Entry{hook, videoWindow}).second;
    LeaveCriticalSection(&m_lock);
    // A second hook on the thread would never be removed.
    if (!added && hook)
        UnhookWindowsHookEx(hook);
    return added;
}

void VlcHookRegistry::Remove(DWORD threadId)
{
    HHOOK hook = nullptr;
    EnterCriticalSection(&m_lock);
    auto found = m_entries.find(threadId);
    if (found != m_entries.end()) {
        hook = found->second.hook;
        m_entries.erase(found);
    }
    LeaveCriticalSection(&m_lock);
    if (hook)
        UnhookWindowsHookEx(hook);
}

void VlcHookRegistry::RemoveAll()
{
    EnterCriticalSection(&m_lock);
    std::map<DWORD, Entry> entries;
    entries.swap(m_entries);
    LeaveCriticalSection(&m_lock);
    for (const auto& entry : entries) {
        if (entry.second.hook)
            UnhookWindowsHookEx(entry.second.hook);
    }
}

HHOOK VlcHookRegistry::HookOfThread(DWORD threadId) const
{
    EnterCriticalSection(&m_lock);
    auto found = m_entries.find(threadId);
    HHOOK hook = found == m_entries.end() ? nullptr : found->second.hook;
    LeaveCriticalSection(&m_lock);
    return hook;
}

bool VlcHookRegistry::HasHooks() const
{
    EnterCriticalSection(&m_lock);
    bool any = !m_entries.empty();
    LeaveCriticalSection(&m_lock);
    return any;
}

VlcHookRegistry& VlcHooks()
{
    static VlcHookRegistry registry;
    return registry;
}
