#include "vod/reader/ReaderHostRegistry.h"

#include <mutex>
#include <set>

namespace inf {

namespace {

std::mutex& RegistryLock()
{
    static std::mutex lock;
    return lock;
}

std::set<std::uintptr_t>& Hosts()   // guarded by RegistryLock
{
    static std::set<std::uintptr_t> hosts;
    return hosts;
}

}  // namespace

void RegisterReaderHost(IReaderHost* host)
{
    if (!host)
        return;
    std::lock_guard<std::mutex> guard(RegistryLock());
    Hosts().insert(reinterpret_cast<std::uintptr_t>(host));
}

void UnregisterReaderHost(IReaderHost* host)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    Hosts().erase(reinterpret_cast<std::uintptr_t>(host));
}

IReaderHost* FindReaderHost(std::uintptr_t number)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    return Hosts().count(number) ? reinterpret_cast<IReaderHost*>(number) : nullptr;
}

}  // namespace inf
