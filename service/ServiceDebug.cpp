#include "service/ServiceDebug.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

void ServiceDebugPrint(const wchar_t* format, ...)
{
    wchar_t text[2048];
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(text, sizeof text / sizeof text[0] - 1, format, args);
    va_end(args);
    // A cut text is not terminated by _vsnwprintf.
    if (written < 0)
        text[sizeof text / sizeof text[0] - 1] = L'\0';
    OutputDebugStringW(text);
}
