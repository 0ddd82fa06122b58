#include "players/hooks/PlayerHookRegistry.h"

#include <vector>

namespace {

class Lock {
public:
    explicit Lock(CRITICAL_SECTION& section) : m_section(section) { EnterCriticalSection(&m_section); }
    ~Lock() { LeaveCriticalSection(&m_section); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

bool ClassMatches(const wchar_t* className, const wchar_t* literal)
{
    std::size_t length = wcslen(className);
    return length > 0 && _wcsnicmp(className, literal, length) == 0;
}

} // namespace

PlayerHookRegistry::PlayerHookRegistry(HOOKPROC procedure, const wchar_t* const* videoClasses)
    : m_procedure(procedure), m_videoClasses(videoClasses)
{
    InitializeCriticalSection(&m_lock);
}

PlayerHookRegistry::~PlayerHookRegistry()
{
    RemoveAllHooks();
    DeleteCriticalSection(&m_lock);
}

HWND PlayerHookRegistry::FindVideoWindow(HWND parent, const wchar_t* const* classes)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t name[256] = {};
        if (!GetClassNameW(child, name, 256))
            continue;
        for (const wchar_t* const* literal = classes; *literal; ++literal) {
            if (ClassMatches(name, *literal))
                return child;
        }
    }
    return parent;
}

void PlayerHookRegistry::Register(HWND hostWindow, void* host)
{
    {
        Lock lock(m_lock);
        if (m_entries.count(hostWindow))
            return;
    }
    HWND video = FindVideoWindow(hostWindow, m_videoClasses);
    if (!IsWindow(video))
        return;
    DWORD thread = GetWindowThreadProcessId(video, nullptr);
    Lock lock(m_lock);
    auto known = m_hooks.find(thread);
    HHOOK hook;
    if (known == m_hooks.end()) {
        // A failed installation is remembered as well: that thread gets no entries.
        hook = SetWindowsHookExW(WH_MOUSE, m_procedure, nullptr, thread);
        m_hooks[thread] = hook;
    } else {
        hook = known->second;
    }
    if (!hook)
        return;
    PlayerHookEntry entry;
    entry.hook = hook;
    entry.videoWindow = video;
    entry.threadId = thread;
    entry.host = host;
    m_entries[hostWindow] = entry;
}

void PlayerHookRegistry::Unregister(HWND hostWindow)
{
    Lock lock(m_lock);
    auto found = m_entries.find(hostWindow);
    if (found == m_entries.end())
        return;
    DWORD thread = found->second.threadId;
    m_entries.erase(found);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (it->second.threadId == thread && !IsWindow(it->second.videoWindow))
            it = m_entries.erase(it);
        else
            ++it;
    }
    UnhookThreadIfUnused(thread);
}

void PlayerHookRegistry::UnhookThreadIfUnused(DWORD threadId)
{
    for (const auto& entry : m_entries) {
        if (entry.second.threadId == threadId)
            return;
    }
    auto hook = m_hooks.find(threadId);
    if (hook == m_hooks.end())
        return;
    if (hook->second)
        UnhookWindowsHookEx(hook->second);
    m_hooks.erase(hook);
}

void PlayerHookRegistry::RemoveAllHooks()
{
    Lock lock(m_lock);
    for (const auto& hook : m_hooks) {
        if (hook.second)
            UnhookWindowsHookEx(hook.second);
    }
    m_hooks.clear();
    m_entries.clear();
}

HHOOK PlayerHookRegistry::HookOfThread(DWORD threadId) const
{
    Lock lock(m_lock);
    auto hook = m_hooks.find(threadId);
    return hook == m_hooks.end() ? nullptr : hook->second;
}

bool PlayerHookRegistry::HasHooks() const
{
    Lock lock(m_lock);
    for (const auto& hook : m_hooks) {
        if (hook.second)
            return true;
    }
    return false;
}

std::size_t PlayerHookRegistry::EntryCount() const
{
    Lock lock(m_lock);
    return m_entries.size();
}

bool PlayerHookRegistry::Find(HWND hostWindow, PlayerHookEntry* entry) const
{
    Lock lock(m_lock);
    auto found = m_entries.find(hostWindow);
    if (found == m_entries.end())
        return false;
    *entry = found->second;
    return true;
}

void PlayerHookRegistry::Update(const std::function<void(HWND, PlayerHookEntry&)>& change)
{
    Lock lock(m_lock);
    for (auto& entry : m_entries)
        change(entry.first, entry.second);
}

bool PlayerHookRegistry::Update(HWND hostWindow, const std::function<void(PlayerHookEntry&)>& change)
{
    Lock lock(m_lock);
    auto found = m_entries.find(hostWindow);
    if (found == m_entries.end())
        return false;
    change(found->second);
    return true;
}
