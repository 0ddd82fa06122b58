#pragma once

#include <windows.h>

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vod/reader/IReaderHost.h"

namespace boost {
class thread;
}

// A reader host over bytes in memory, standing in for the engine: it answers
// on a window thread of its own, reached by sent messages exactly as the
// engine is (a seek, a read record sent with a 1000 ms time-out, WM_NULL for
// liveness). Knobs make data missing (holes), slow (delayed answers) or
// ending early; counters tell a test what the server asked.
class FileReaderHost : public inf::IReaderHost, public inf::IReader {
public:
    static const UINT kSeekMessage = 1288;
    static const UINT kReadMessage = 1289;
    static const UINT kReadTimeoutMs = 1000;

    explicit FileReaderHost(std::string bytes);
    ~FileReaderHost();
    FileReaderHost(const FileReaderHost&) = delete;
    FileReaderHost& operator=(const FileReaderHost&) = delete;

    // Reads a whole file; false when it cannot be read.
    static bool LoadFile(const std::wstring& path, std::string* bytes);

    // Bytes in [begin, end) are not there: reads at them give 0 and reads
    // before them stop short of them.
    void AddHole(std::uint64_t begin, std::uint64_t end);
    void FillHoles();
    // Reads at or beyond `end` give -1 (nothing will come).
    void SetEnd(std::uint64_t end);
    // The next `count` reads are answered only after `ms` milliseconds.
    void DelayReads(int count, DWORD ms);
    // Open answers null (as while the engine does not know the size).
    void RefuseOpens(bool refuse);
    // Called on the host's thread with the offset of every seek.
    void SetOpenHook(std::function<void(std::uint64_t)> hook);

    std::vector<std::uint64_t> Opens() const;
    // Reads answered so far, and those among them that found no data yet.
    int Reads() const;
    int EmptyReads() const;
    // Delayed reads answered so far.
    int DelayedReadsDone() const;
    bool WaitForOpens(std::size_t count, DWORD timeoutMs) const;
    bool WaitForReads(int count, DWORD timeoutMs) const;
    bool WaitForEmptyReads(int count, DWORD timeoutMs) const;
    bool WaitForDelayedReadsDone(int count, DWORD timeoutMs) const;

    void Destroy(unsigned int flags) override;
    inf::IReader* Open(const char* name, unsigned long long offset) override;
    long long GetSize() override;
    int Read(unsigned long long offset, unsigned char* buffer, int length) override;
    std::tm* GetTime() override;
    bool IsAlive() override;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void ThreadMain();
    void HandleSeek(std::uint64_t offset);
    void HandleRead(WPARAM wParam);
    int Available(std::uint64_t offset, int length) const;
    template <class Predicate>
    bool WaitFor(DWORD timeoutMs, Predicate done) const;

    const std::string m_bytes;
    std::tm m_time;
    std::unique_ptr<boost::thread> m_thread;
    HWND m_window;
    HANDLE m_ready;

    mutable boost::mutex m_mutex;  // guards everything below
    mutable boost::condition_variable m_changed;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_holes;
    std::uint64_t m_end;
    int m_delayedReads;
    DWORD m_delayMs;
    bool m_refuseOpens;
    std::function<void(std::uint64_t)> m_openHook;
    std::vector<std::uint64_t> m_opens;
    int m_reads;
    int m_emptyReads;
    int m_delayedReadsDone;
};
