#pragma once

#include <dshow.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Reads the start of a file from an IAsyncReader for a header parser, more
// each time the parser asks: parse(bytes, size, &needed) answers 1 when
// done, 0 when it needs `needed` bytes, -1 for a file it cannot read.
template <class Parse>
HRESULT ReadFileHead(IAsyncReader* reader, Parse parse)
{
    LONGLONG size = 0, available = 0;
    if (FAILED(reader->Length(&size, &available)) || size <= 0)
        return VFW_E_INVALID_FILE_FORMAT;
    std::vector<std::uint8_t> head(4096);
    for (;;) {
        long length = static_cast<long>(std::min<LONGLONG>(head.size(), size));
        if (reader->SyncRead(0, length, head.data()) != S_OK)
            return VFW_E_INVALID_FILE_FORMAT;
        std::size_t needed = 0;
        int result = parse(head.data(), static_cast<std::size_t>(length), &needed);
        if (result > 0)
            return S_OK;
        if (result < 0 || static_cast<LONGLONG>(needed) > size)
            return VFW_E_INVALID_FILE_FORMAT;
        head.resize(needed);
    }
}
