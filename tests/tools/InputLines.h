#pragma once

// The drivers' commands: every line of stdin, without its line end, posted
// to a window as (message, 0, new std::string*); the window's handler deletes
// the string. The reading thread ends with stdin.
#include <windows.h>

#include <cstdio>
#include <string>

struct InputLinesTarget {
    HWND window;
    UINT message;
};

inline DWORD WINAPI ReadInputLines(void* parameter) {
    const InputLinesTarget target = *static_cast<InputLinesTarget*>(parameter);
    delete static_cast<InputLinesTarget*>(parameter);
    char line[8192];
    while (std::fgets(line, sizeof line, stdin)) {
        std::string* text = new std::string(line);
        while (!text->empty() && (text->back() == '\n' || text->back() == '\r'))
            text->pop_back();
        if (!PostMessageW(target.window, target.message, 0, reinterpret_cast<LPARAM>(text)))
            delete text;
    }
    return 0;
}

inline void StartInputLines(HWND window, UINT message) {
    HANDLE thread = CreateThread(nullptr, 0, ReadInputLines, new InputLinesTarget{window, message}, 0, nullptr);
    if (thread != nullptr)
        CloseHandle(thread);
}
