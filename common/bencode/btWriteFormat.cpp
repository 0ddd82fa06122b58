#include "common/bencode/btWriteFormat.h"

#include <cstdarg>
#include <cstdio>

#include "common/bencode/btStream.h"

int btWriteFormat(btStream* stream, const char* format, ...) {
    if (stream == nullptr)
        return 1;
    // Per call: the encoder runs on several threads at once.
    char scratch[8192];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(scratch, sizeof scratch, format, args);
    va_end(args);
    if (n < 0 || n >= static_cast<int>(sizeof scratch))
        return 1;
    return stream->Write(scratch, n);
}
