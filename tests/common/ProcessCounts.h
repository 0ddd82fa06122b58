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

// Live GDI objects, found by probing handle values: Wine's GetGuiResources
// answers 0. A handle's low word indexes the process's object table; a
// value with a zero high word matches whatever generation holds the slot.
inline int GdiObjectsOfThisProcess() {
    int count = 0;
    for (ULONG_PTR value = 1; value < 0x10000; ++value)
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(value)))
            ++count;
    return count;
}

// Windows of this process: the top-level ones, the message-only ones and
// all their descendants (GetGuiResources answers 0 under Wine here too).
inline int WindowsOfThisProcess() {
    struct Counter {
        static BOOL CALLBACK Child(HWND, LPARAM counted) {
            ++*reinterpret_cast<int*>(counted);
            return TRUE;
        }
        static void Add(HWND window, int& counted) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != GetCurrentProcessId())
                return;
            ++counted;
            EnumChildWindows(window, Child, reinterpret_cast<LPARAM>(&counted));
        }
        static BOOL CALLBACK TopLevel(HWND window, LPARAM counted) {
            Add(window, *reinterpret_cast<int*>(counted));
            return TRUE;
        }
    };
    int count = 0;
    EnumWindows(Counter::TopLevel, reinterpret_cast<LPARAM>(&count));
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr))
        Counter::Add(window, count);
    return count;
}

}  // namespace testcounts
