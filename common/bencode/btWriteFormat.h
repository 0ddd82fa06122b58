#pragma once

class btStream;

#if defined(__GNUC__) && !defined(_WIN32)
#define BT_PRINTF_LIKE(f, a) __attribute__((format(printf, f, a)))
#else
#define BT_PRINTF_LIKE(f, a)
#endif

// Formats one token (at most 8,191 bytes) and writes it, without its NUL,
// to stream. 0 on success; 1 for a null stream, a formatting failure, a token
// that does not fit, or a failed write. Safe on any number of threads at once.
int btWriteFormat(btStream* stream, const char* format, ...) BT_PRINTF_LIKE(2, 3);
