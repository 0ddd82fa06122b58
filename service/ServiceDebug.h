#pragma once

// Formats printf-style (wide) into a buffer of 2,048 UTF-16 units and hands
// the text to the debugger output. The service keeps no log file.
void ServiceDebugPrint(const wchar_t* format, ...);
