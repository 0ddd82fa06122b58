#pragma once

#include <windows.h>

namespace inf {

// What IReader::Read hands to the thread that owns the data, in wParam of a
// sent message. The receiver copies at most `length` bytes into `buffer` and
// sets `result` (n > 0 bytes, 0 nothing yet, -1 nothing will come).
//
// The sender waits a bounded time. When it gives up, the message may still
// be handled later, so the record is not in the sender's frame and `buffer`
// is not the sender's buffer: both belong to a heap block shared by the two
// sides and freed by whichever side lets go of it last.
struct ReadRecord {
    unsigned long long offset;
    unsigned char* buffer;
    int length;
    int result;
};

// Sender side: sends `message` (wParam = the record, lParam = 0) with
// SMTO_BLOCK and the time-out, then copies the answer into `buffer`.
// Returns the record's result, or 0 when the call did not complete (time-out,
// no such window).
int SendReadRecord(HWND window, UINT message, unsigned long long offset,
                   unsigned char* buffer, int length, UINT timeoutMs);

// Receiver side: holds the record of one handled message and lets go of it
// when it goes out of scope. A null wParam gives a null record.
class ReceivedReadRecord {
public:
    explicit ReceivedReadRecord(WPARAM wParam);
    ~ReceivedReadRecord();
    ReceivedReadRecord(const ReceivedReadRecord&) = delete;
    ReceivedReadRecord& operator=(const ReceivedReadRecord&) = delete;

    ReadRecord* get() const { return m_record; }
    ReadRecord* operator->() const { return m_record; }
    explicit operator bool() const { return m_record != nullptr; }

private:
    ReadRecord* m_record;
};

}  // namespace inf
