#include "vod/reader/ReadRecord.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>

namespace inf {

namespace {

// The record first, so a ReadRecord* is also a SharedReadRecord*; the data
// bytes follow the header in the same block.
struct SharedReadRecord {
    ReadRecord record;
    volatile LONG owners;
};

SharedReadRecord* Allocate(unsigned long long offset, int length)
{
    const std::size_t bytes = sizeof(SharedReadRecord) + static_cast<std::size_t>(length);
    void* block = std::malloc(bytes);
    if (block == nullptr)
        return nullptr;
    SharedReadRecord* shared = new (block) SharedReadRecord;
    shared->record.offset = offset;
    shared->record.buffer = reinterpret_cast<unsigned char*>(shared + 1);
    shared->record.length = length;
    shared->record.result = 0;
    shared->owners = 2;
    return shared;
}

void LetGo(ReadRecord* record)
{
    SharedReadRecord* shared = reinterpret_cast<SharedReadRecord*>(record);
    if (InterlockedDecrement(&shared->owners) == 0) {
        shared->~SharedReadRecord();
        std::free(shared);
    }
}

}  // namespace

int SendReadRecord(HWND window, UINT message, unsigned long long offset,
                   unsigned char* buffer, int length, UINT timeoutMs)
{
    if (length < 0 || !IsWindow(window))
        return 0;
    SharedReadRecord* shared = Allocate(offset, length);
    if (shared == nullptr)
        return 0;
    DWORD_PTR answer = 0;
    const LRESULT sent = SendMessageTimeoutW(window, message,
                                             reinterpret_cast<WPARAM>(&shared->record), 0,
                                             SMTO_BLOCK, timeoutMs, &answer);
    int result = 0;
    if (sent != 0) {
        result = shared->record.result;
        if (result > length)
            result = length;
        if (result > 0)
            std::memcpy(buffer, shared->record.buffer, static_cast<std::size_t>(result));
    }
    // After a time-out the receiver still holds its share and frees the block
    // when it handles the message late. A message that is never handled
    // (the receiving thread ends first) leaves its block behind: one block
    // per read still in flight at that moment.
    LetGo(&shared->record);
    return result;
}

ReceivedReadRecord::ReceivedReadRecord(WPARAM wParam)
    : m_record(reinterpret_cast<ReadRecord*>(wParam))
{
}

ReceivedReadRecord::~ReceivedReadRecord()
{
    if (m_record != nullptr)
        LetGo(m_record);
}

}  // namespace inf
