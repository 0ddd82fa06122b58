// IReader::Read across threads: the answer reaches the caller's buffer when
// the receiver answers in time, and never after the caller has given up.
#include <gtest/gtest.h>

#include <windows.h>

#include <boost/thread/thread.hpp>

#include <cstring>
#include <memory>
#include <vector>

#include "vod/reader/ReadRecord.h"

namespace {

const UINT kReadMessage = 1289;
const DWORD kWaitMs = 10000;

// A window thread that answers read records. Before answering it may wait
// for `release`, standing for an engine thread busy elsewhere.
class Receiver {
public:
    Receiver()
        : release(CreateEventW(nullptr, TRUE, TRUE, nullptr)),
          answered(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        m_thread.reset(new boost::thread([this] { Run(); }));
        WaitForSingleObject(m_ready, INFINITE);
    }
    ~Receiver()
    {
        SetEvent(release);
        PostMessageW(window, WM_CLOSE, 0, 0);
        m_thread->join();
        CloseHandle(release);
        CloseHandle(answered);
        CloseHandle(m_ready);
    }

    HWND window = nullptr;
    HANDLE release;
    HANDLE answered;
    // What the receiver answers and what it saw.
    int answer = 0;
    unsigned char fill = 0xAB;
    unsigned long long seenOffset = 0;
    int seenLength = 0;
    bool sawNull = false;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        Receiver* self = reinterpret_cast<Receiver*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (message == kReadMessage) {
            self->Handle(wParam);
            return 0;
        }
        if (message == WM_DESTROY)
            PostQuitMessage(0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void Handle(WPARAM wParam)
    {
        inf::ReceivedReadRecord record(wParam);
        if (!record) {
            sawNull = true;
            SetEvent(answered);
            return;
        }
        WaitForSingleObject(release, kWaitMs);
        seenOffset = record->offset;
        seenLength = record->length;
        std::memset(record->buffer, fill, static_cast<std::size_t>(record->length));
        record->result = answer;
        SetEvent(answered);
    }

    void Run()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"TovraTestReadReceiver";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(m_ready);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0)
            DispatchMessageW(&message);
    }

    HANDLE m_ready;
    std::unique_ptr<boost::thread> m_thread;
};

TEST(ReadRecordTest, AnswerInTimeReachesTheCaller)
{
    Receiver receiver;
    struct Case {
        int answer;
        int expected;
        std::size_t copied;
    };
    // A receiver claiming more than was asked is cut to the length asked.
    const Case cases[] = {{100, 100, 100}, {0, 0, 0}, {-1, -1, 0}, {500, 200, 200}};
    for (const Case& c : cases) {
        receiver.answer = c.answer;
        std::vector<unsigned char> buffer(200 + 16, 0x11);
        EXPECT_EQ(c.expected, inf::SendReadRecord(receiver.window, kReadMessage,
                                                  0x200000003ULL, buffer.data(), 200, 1000));
        EXPECT_EQ(0x200000003ULL, receiver.seenOffset);
        EXPECT_EQ(200, receiver.seenLength);
        for (std::size_t i = 0; i < buffer.size(); ++i)
            ASSERT_EQ(i < c.copied ? 0xAB : 0x11, buffer[i]) << "answer " << c.answer << " at " << i;
    }
}

TEST(ReadRecordTest, LateAnswerNeverReachesTheCaller)
{
    Receiver receiver;
    receiver.answer = 64;
    ResetEvent(receiver.release);
    std::vector<unsigned char> buffer(64, 0x11);
    EXPECT_EQ(0, inf::SendReadRecord(receiver.window, kReadMessage, 77, buffer.data(), 64, 200));

    // The caller has moved on; the receiver now handles the message late.
    SetEvent(receiver.release);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(receiver.answered, kWaitMs));
    EXPECT_EQ(77u, receiver.seenOffset);
    EXPECT_EQ(64, receiver.seenLength);
    EXPECT_EQ(std::vector<unsigned char>(64, 0x11), buffer);

    // The receiver answers the next call normally.
    receiver.fill = 0xCD;
    EXPECT_EQ(64, inf::SendReadRecord(receiver.window, kReadMessage, 78, buffer.data(), 64, 1000));
    EXPECT_EQ(std::vector<unsigned char>(64, 0xCD), buffer);
}

TEST(ReadRecordTest, NoWindowGivesNothingYet)
{
    unsigned char buffer[8] = {};
    HWND gone = nullptr;
    {
        Receiver receiver;
        gone = receiver.window;
    }
    EXPECT_EQ(0, inf::SendReadRecord(gone, kReadMessage, 0, buffer, 8, 1000));
}

TEST(ReadRecordTest, NullRecordIsIgnored)
{
    Receiver receiver;
    SendMessageW(receiver.window, kReadMessage, 0, 0);
    EXPECT_TRUE(receiver.sawNull);
}

}  // namespace
