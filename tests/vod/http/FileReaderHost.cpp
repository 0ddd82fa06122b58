#include "FileReaderHost.h"

#include <boost/thread/thread.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vod/reader/ReadRecord.h"

namespace {

const wchar_t kWindowClass[] = L"TovraTestReaderHost";

}  // namespace

FileReaderHost::FileReaderHost(std::string bytes)
    : m_bytes(std::move(bytes)),
      m_time(),
      m_window(nullptr),
      m_ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_end(m_bytes.size()),
      m_delayedReads(0),
      m_delayMs(0),
      m_refuseOpens(false),
      m_reads(0),
      m_emptyReads(0),
      m_delayedReadsDone(0)
{
    m_time.tm_mday = 1;
    m_time.tm_year = 70;
    m_thread.reset(new boost::thread([this] { ThreadMain(); }));
    WaitForSingleObject(m_ready, INFINITE);
}

FileReaderHost::~FileReaderHost()
{
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread->join();
    CloseHandle(m_ready);
}

bool FileReaderHost::LoadFile(const std::wstring& path, std::string* bytes)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr)
        return false;
    bytes->clear();
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes->append(chunk, n);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

void FileReaderHost::ThreadMain()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    m_window = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetEvent(m_ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
}

LRESULT CALLBACK FileReaderHost::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam)
{
    FileReaderHost* host =
        reinterpret_cast<FileReaderHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case kSeekMessage:
        host->HandleSeek(static_cast<std::uint32_t>(wParam) |
                         static_cast<std::uint64_t>(static_cast<std::uint32_t>(lParam)) << 32);
        return 0;
    case kReadMessage:
        host->HandleRead(wParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void FileReaderHost::HandleSeek(std::uint64_t offset)
{
    std::function<void(std::uint64_t)> hook;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        m_opens.push_back(offset);
        hook = m_openHook;
    }
    m_changed.notify_all();
    if (hook)
        hook(offset);
}

void FileReaderHost::HandleRead(WPARAM wParam)
{
    inf::ReceivedReadRecord record(wParam);
    if (!record)
        return;
    DWORD delay = 0;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_delayedReads > 0) {
            --m_delayedReads;
            delay = m_delayMs;
        }
    }
    if (delay != 0)
        Sleep(delay);  // the engine thread busy elsewhere
    boost::mutex::scoped_lock lock(m_mutex);
    const int n = Available(record->offset, record->length);
    if (n > 0)
        std::memcpy(record->buffer, m_bytes.data() + record->offset, static_cast<std::size_t>(n));
    record->result = n;
    ++m_reads;
    if (n == 0)
        ++m_emptyReads;
    if (delay != 0)
        ++m_delayedReadsDone;
    m_changed.notify_all();
}

// Bytes readable at offset, up to length: -1 at or beyond the end, 0 inside
// a hole, else up to the next hole or the end.
int FileReaderHost::Available(std::uint64_t offset, int length) const
{
    const std::uint64_t end = std::min<std::uint64_t>(m_end, m_bytes.size());
    if (offset >= end)
        return -1;
    std::uint64_t stop = std::min<std::uint64_t>(end, offset + static_cast<std::uint64_t>(length));
    for (const auto& hole : m_holes) {
        if (offset >= hole.first && offset < hole.second)
            return 0;
        if (hole.first > offset)
            stop = std::min(stop, hole.first);
    }
    return static_cast<int>(stop - offset);
}

void FileReaderHost::AddHole(std::uint64_t begin, std::uint64_t end)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_holes.emplace_back(begin, end);
}

void FileReaderHost::FillHoles()
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_holes.clear();
}

void FileReaderHost::SetEnd(std::uint64_t end)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_end = end;
}

void FileReaderHost::DelayReads(int count, DWORD ms)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_delayedReads = count;
    m_delayMs = ms;
}

void FileReaderHost::RefuseOpens(bool refuse)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_refuseOpens = refuse;
}

void FileReaderHost::SetOpenHook(std::function<void(std::uint64_t)> hook)
{
    boost::mutex::scoped_lock lock(m_mutex);
    m_openHook = std::move(hook);
}

std::vector<std::uint64_t> FileReaderHost::Opens() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_opens;
}

int FileReaderHost::Reads() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_reads;
}

int FileReaderHost::EmptyReads() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_emptyReads;
}

int FileReaderHost::DelayedReadsDone() const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_delayedReadsDone;
}

template <class Predicate>
bool FileReaderHost::WaitFor(DWORD timeoutMs, Predicate done) const
{
    boost::mutex::scoped_lock lock(m_mutex);
    return m_changed.wait_for(lock, boost::chrono::milliseconds(timeoutMs), done);
}

bool FileReaderHost::WaitForOpens(std::size_t count, DWORD timeoutMs) const
{
    return WaitFor(timeoutMs, [&] { return m_opens.size() >= count; });
}

bool FileReaderHost::WaitForReads(int count, DWORD timeoutMs) const
{
    return WaitFor(timeoutMs, [&] { return m_reads >= count; });
}

bool FileReaderHost::WaitForEmptyReads(int count, DWORD timeoutMs) const
{
    return WaitFor(timeoutMs, [&] { return m_emptyReads >= count; });
}

bool FileReaderHost::WaitForDelayedReadsDone(int count, DWORD timeoutMs) const
{
    return WaitFor(timeoutMs, [&] { return m_delayedReadsDone >= count; });
}

// The test owns the host; nothing calls this slot.
void FileReaderHost::Destroy(unsigned int)
{
}

inf::IReader* FileReaderHost::Open(const char*, unsigned long long offset)
{
    {
        boost::mutex::scoped_lock lock(m_mutex);
        if (m_refuseOpens)
            return nullptr;
    }
    SendMessageW(m_window, kSeekMessage, static_cast<WPARAM>(offset & 0xFFFFFFFFu),
                 static_cast<LPARAM>(offset >> 32));
    return this;
}

long long FileReaderHost::GetSize()
{
    return static_cast<long long>(m_bytes.size());
}

int FileReaderHost::Read(unsigned long long offset, unsigned char* buffer, int length)
{
    return inf::SendReadRecord(m_window, kReadMessage, offset, buffer, length, kReadTimeoutMs);
}

std::tm* FileReaderHost::GetTime()
{
    return &m_time;
}

bool FileReaderHost::IsAlive()
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(m_window, WM_NULL, 0, 0, 0, 2000, &answer) != 0;
}
