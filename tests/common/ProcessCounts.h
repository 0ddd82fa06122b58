#pragma once

// Counts of this process's threads and handles, for tests and tools that
// show that starting and stopping leaves nothing behind.
#include <windows.h>
#include <tlhelp32.h>

namespace testcounts {

inline int ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    CloseHandle(snapshot);
    return count;
}

// Found by probing handle values: Wine's GetProcessHandleCount answers 0.
inline DWORD HandlesOfThisProcess() {
    DWORD count = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            ++count;
    return count;
}

}  // namespace testcounts
