// TovraUpdate.dll driven through its exports, as an outside host loads it,
// against tests/fixtures/download_server.py.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "download/TovraUpdate.h"
#include "tests/common/TestFiles.h"
#include "tests/update/FixtureHttp.h"

namespace {

const DWORD kDefaultBlock = 0x100000;
const UINT_PTR kUser = 0x5A17C0DE;
const DWORD kWaitMs = 20000;

template <typename Function>
Function Resolve(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

struct Api {
    HMODULE module = nullptr;
    decltype(&http_init) init = nullptr;
    decltype(&http_exit) exit = nullptr;
    decltype(&http_start) start = nullptr;
    decltype(&http_stop) stop = nullptr;
    decltype(&http_setcallback) setCallback = nullptr;
};
Api api;

struct Call {
    std::wstring url, file, dir;
    DWORD length;
    int index, percent;
    DWORD bytes;
    UINT_PTR user;
};

std::mutex callsLock;
std::condition_variable callsChanged;
std::vector<Call> calls;

int WINAPI RecordProgress(const wchar_t* url, const wchar_t* file, const wchar_t* dir,
                          DWORD length, int index, int percent, DWORD bytes, UINT_PTR user)
{
    std::lock_guard<std::mutex> lock(callsLock);
    calls.push_back(Call{url, file, dir, length, index, percent, bytes, user});
    callsChanged.notify_all();
    return 0;
}

std::vector<Call> CallsFor(const std::wstring& url)
{
    std::lock_guard<std::mutex> lock(callsLock);
    std::vector<Call> out;
    for (const Call& call : calls)
        if (call.url == url)
            out.push_back(call);
    return out;
}

bool WaitForCalls(const std::function<bool(const std::vector<Call>&)>& done)
{
    std::unique_lock<std::mutex> lock(callsLock);
    return callsChanged.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                 [&] { return done(calls); });
}

size_t CountFor(const std::vector<Call>& all, const std::wstring& url)
{
    size_t n = 0;
    for (const Call& call : all)
        n += call.url == url;
    return n;
}

bool ReachedHundred(const std::vector<Call>& all, const std::wstring& url)
{
    for (const Call& call : all)
        if (call.url == url && call.percent == 100)
            return true;
    return false;
}

// Waits for every thread that the library started (its Win32 start address
// lies in the library's image) to end: the only way to see that a worker
// finished on its own, since a finished download reports nothing more.
bool WaitForWorkers()
{
    auto base = reinterpret_cast<BYTE*>(api.module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    BYTE* end = base + nt->OptionalHeader.SizeOfImage;
    typedef LONG(WINAPI * QueryThread)(HANDLE, int, void*, ULONG, ULONG*);
    auto query = Resolve<QueryThread>(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread");
    const int kThreadQuerySetWin32StartAddress = 9;

    std::vector<HANDLE> workers;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ThreadID);
        BYTE* start = nullptr;
        if (thread && query(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) == 0 &&
            start >= base && start < end)
            workers.push_back(thread);
        else if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    bool ended = true;
    for (HANDLE thread : workers) {
        ended = ended && WaitForSingleObject(thread, kWaitMs) == WAIT_OBJECT_0;
        CloseHandle(thread);
    }
    return ended;
}

unsigned char PatternByte(size_t i)
{
    return static_cast<unsigned char>(i * 31 + 7);
}

// Count of leading bytes that follow the server's pattern.
size_t PatternPrefix(const std::string& bytes)
{
    size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) == PatternByte(i))
        ++i;
    return i;
}

bool AllZero(const std::string& bytes, size_t from)
{
    return bytes.find_first_not_of('\0', from) == std::string::npos;
}

std::wstring Widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

struct StopCall {
    const wchar_t* url;
    int result;
};

DWORD WINAPI StopOnThread(void* param)
{
    auto call = static_cast<StopCall*>(param);
    call->result = api.stop(call->url);
    return 0;
}

class TovraUpdate : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        api.module = LoadLibraryW(TOVRA_UPDATE_DLL);
        ASSERT_NE(api.module, nullptr) << "LoadLibrary failed: " << GetLastError();
        api.init = Resolve<decltype(api.init)>(api.module, "http_init");
        api.exit = Resolve<decltype(api.exit)>(api.module, "http_exit");
        api.start = Resolve<decltype(api.start)>(api.module, "http_start");
        api.stop = Resolve<decltype(api.stop)>(api.module, "http_stop");
        api.setCallback = Resolve<decltype(api.setCallback)>(api.module, "http_setcallback");
    }

    void SetUp() override
    {
        ASSERT_TRUE(api.init && api.exit && api.start && api.stop && api.setCallback)
            << "an export is missing";
        port_ = FixturePort("TOVRA_DOWNLOAD_PORT");
        ASSERT_NE(port_, 0u) << "TOVRA_DOWNLOAD_PORT is not set: run under the fixture runner";
        ASSERT_EQ(Control("POST", "/_reset").status, 200u);
        {
            std::lock_guard<std::mutex> lock(callsLock);
            calls.clear();
        }
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        dir_ = exe;
        dir_.erase(dir_.rfind(L'\\') + 1);
        dir_ += L"download scratch\\";
        CreateDirectoryW(dir_.c_str(), nullptr);
        ASSERT_EQ(api.init(), 1);
        api.setCallback(RecordProgress, kDefaultBlock, 20, kUser);
    }

    void TearDown() override
    {
        api.exit();
        EXPECT_TRUE(WaitForWorkers()) << "a worker outlived http_exit";
    }

    FixtureReply Control(const char* method, const std::string& path)
    {
        return FixtureRequest(method, port_, path);
    }

    std::wstring Url(const std::string& path)
    {
        return Widen("http://127.0.0.1:" + std::to_string(port_) + path);
    }

    int Start(const std::wstring& url, const std::wstring& file)
    {
        DeleteFileW((dir_ + file).c_str());
        return api.start(url.c_str(), file.c_str(), dir_.c_str());
    }

    unsigned port_ = 0;
    std::wstring dir_;
};

// A whole body in blocks of the configured size: every call carries the
// download's texts, the length, worker 1 and the user value; the percents
// are the truncated share received so far and only the last one is 100.
TEST_F(TovraUpdate, FullBodyArrivesInBlocksWithTruncatedPercents)
{
    const DWORD size = 3000000;
    struct Case {
        DWORD blockSize, expectedBlock;
    } cases[] = {{kDefaultBlock, kDefaultBlock}, {0, kDefaultBlock}, {700000, 700000}};
    for (const Case& c : cases) {
        SCOPED_TRACE("block size " + std::to_string(c.blockSize));
        api.setCallback(RecordProgress, c.blockSize, 20, kUser);
        std::wstring url = Url("/bytes/3000000?block=" + std::to_string(c.blockSize));
        ASSERT_EQ(Start(url, L"full.bin"), 1);
        ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
        ASSERT_EQ(api.stop(url.c_str()), 1);

        std::vector<Call> seen = CallsFor(url);
        DWORD total = 0;
        for (size_t i = 0; i < seen.size(); ++i) {
            const Call& call = seen[i];
            total += call.bytes;
            EXPECT_EQ(call.file, L"full.bin");
            EXPECT_EQ(call.dir, dir_);
            EXPECT_EQ(call.length, size);
            EXPECT_EQ(call.index, 1);
            EXPECT_EQ(call.user, kUser);
            EXPECT_EQ(call.bytes, i + 1 < seen.size() ? c.expectedBlock : size % c.expectedBlock);
            EXPECT_EQ(call.percent, static_cast<int>(static_cast<double>(total) / size * 100.0));
        }
        EXPECT_EQ(total, size);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back().percent, 100);

        std::string bytes = ReadBytes(dir_ + L"full.bin");
        EXPECT_EQ(bytes.size(), size);
        EXPECT_EQ(PatternPrefix(bytes), size);
    }
}

TEST_F(TovraUpdate, SendsItsUserAgentAndTheWholePathWithItsQuery)
{
    std::wstring url = Url("/bytes/10?x=1&y=2");
    ASSERT_EQ(Start(url, L"agent.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
    EXPECT_EQ(Control("GET", "/_log").body, "/bytes/10?x=1&y=2\tWinHTTP1\n");
}

// A body without a Content-Length is read to its end; the length passed is
// 0, the data blocks report 0 % and a last call with 0 bytes reports 100 %.
TEST_F(TovraUpdate, BodyWithoutLengthIsReadToItsEnd)
{
    api.setCallback(RecordProgress, 65536, 20, kUser);
    std::wstring url = Url("/nolength/250000");
    ASSERT_EQ(Start(url, L"nolength.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
    ASSERT_TRUE(WaitForWorkers());

    std::vector<Call> seen = CallsFor(url);
    ASSERT_GE(seen.size(), 2u);
    DWORD total = 0;
    for (size_t i = 0; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].length, 0u);
        EXPECT_EQ(seen[i].percent, 0);
        EXPECT_GT(seen[i].bytes, 0u);
        total += seen[i].bytes;
    }
    EXPECT_EQ(total, 250000u);
    EXPECT_EQ(seen.back().bytes, 0u);
    EXPECT_EQ(seen.back().percent, 100);
    std::string bytes = ReadBytes(dir_ + L"nolength.bin");
    EXPECT_EQ(bytes.size(), 250000u);
    EXPECT_EQ(PatternPrefix(bytes), 250000u);
}

TEST_F(TovraUpdate, EmptyBodyWithLengthZeroCompletesAtOnce)
{
    std::wstring url = Url("/bytes/0");
    ASSERT_EQ(Start(url, L"empty.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
    ASSERT_TRUE(WaitForWorkers());
    std::vector<Call> seen = CallsFor(url);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].bytes, 0u);
    EXPECT_EQ(seen[0].length, 0u);
    bool opened = false;
    EXPECT_EQ(ReadBytes(dir_ + L"empty.bin", &opened), "");
    EXPECT_TRUE(opened);
}

// A body that ends before its announced length ends the worker without
// 100 %: the file keeps what came and its zero-filled tail.
TEST_F(TovraUpdate, ShortBodyEndsTheWorkerBelowHundred)
{
    api.setCallback(RecordProgress, 1000, 20, kUser);
    std::wstring url = Url("/short/10000/4000");
    ASSERT_EQ(Start(url, L"short.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return CountFor(all, url) >= 4; }));
    ASSERT_TRUE(WaitForWorkers()) << "the worker goes on after the body ended";

    std::vector<Call> seen = CallsFor(url);
    DWORD total = 0;
    for (const Call& call : seen) {
        total += call.bytes;
        EXPECT_LT(call.percent, 100);
    }
    EXPECT_EQ(total, 4000u);
    EXPECT_EQ(seen.back().percent, 40);
    std::string bytes = ReadBytes(dir_ + L"short.bin");
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(PatternPrefix(bytes), 4000u);
    EXPECT_TRUE(AllZero(bytes, 4000));
    EXPECT_EQ(api.stop(url.c_str()), 1) << "a finished download stays listed until stopped";
}

// An error page is not the file: no file, no call, and the worker ends.
TEST_F(TovraUpdate, ErrorStatusWritesNothing)
{
    for (const char* path : {"/status/404/5000", "/status/500/0", "/no/such/route"}) {
        SCOPED_TRACE(path);
        std::wstring url = Url(path);
        ASSERT_EQ(Start(url, L"error.bin"), 1);
        ASSERT_TRUE(WaitForWorkers());
        EXPECT_TRUE(CallsFor(url).empty());
        EXPECT_EQ(Exists(dir_ + L"error.bin"), false);
        EXPECT_EQ(api.stop(url.c_str()), 1);
    }
}

TEST_F(TovraUpdate, StartAnswersTwoForAListedUrlAndZeroForBadArguments)
{
    std::wstring url = Url("/bytes/100");
    ASSERT_EQ(Start(url, L"twice.bin"), 1);
    EXPECT_EQ(Start(url, L"other.bin"), 2);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
    EXPECT_EQ(Start(url, L"twice.bin"), 2) << "a finished download stays listed";
    EXPECT_EQ(api.stop(url.c_str()), 1);
    EXPECT_EQ(Start(url, L"twice.bin"), 1) << "a stopped download can start again";

    std::wstring longUrl = Url("/bytes/1?" + std::string(260, 'q'));
    std::wstring longDir(256, L'd');
    std::wstring fresh = Url("/bytes/2");
    struct Case {
        const wchar_t *url, *file, *dir;
    } bad[] = {
        {nullptr, L"f.bin", dir_.c_str()},
        {fresh.c_str(), nullptr, dir_.c_str()},
        {fresh.c_str(), L"f.bin", nullptr},
        {L"not a url", L"f.bin", dir_.c_str()},
        {longUrl.c_str(), L"f.bin", dir_.c_str()},
        {fresh.c_str(), L"f.bin", longDir.c_str()},
    };
    for (const Case& c : bad) {
        EXPECT_EQ(api.start(c.url, c.file, c.dir), 0);
        if (c.url) {
            EXPECT_EQ(api.stop(c.url), 0) << "a refused download is not listed";
        }
    }
}

TEST_F(TovraUpdate, StopRemovesExactlyTheNamedTask)
{
    std::wstring urls[] = {Url("/bytes/10?a"), Url("/bytes/10?b"), Url("/bytes/10?c")};
    for (const std::wstring& url : urls) {
        ASSERT_EQ(Start(url, L"list.bin"), 1);
        ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return ReachedHundred(all, url); }));
    }
    EXPECT_EQ(api.stop(urls[1].c_str()), 1);
    EXPECT_EQ(api.stop(urls[1].c_str()), 0);
    EXPECT_EQ(api.stop(Url("/bytes/10?unknown").c_str()), 0);
    EXPECT_EQ(api.stop(nullptr), 0);
    EXPECT_EQ(Start(urls[0], L"list.bin"), 2);
    EXPECT_EQ(Start(urls[2], L"list.bin"), 2);
    EXPECT_EQ(api.stop(urls[2].c_str()), 1);
    EXPECT_EQ(api.stop(urls[0].c_str()), 1);
}

// Stop in the middle of a long body: stop returns once the worker ended, no
// call comes after it, and the file holds the received part.
TEST_F(TovraUpdate, StopMidDownloadEndsTheWorker)
{
    api.setCallback(RecordProgress, 16384, 20, kUser);
    struct Case {
        const char* path;
        DWORD announced;
    } cases[] = {{"/paced/50000000", 50000000}, {"/stream", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::wstring url = Url(c.path);
        ASSERT_EQ(Start(url, L"stopped.bin"), 1);
        ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return CountFor(all, url) >= 3; }));
        ASSERT_EQ(api.stop(url.c_str()), 1);
        size_t atStop = CallsFor(url).size();
        ASSERT_TRUE(WaitForWorkers());
        std::vector<Call> seen = CallsFor(url);
        EXPECT_EQ(seen.size(), atStop) << "a call came after http_stop returned";
        EXPECT_LT(seen.back().percent, 100);

        bool opened = false;
        std::string bytes = ReadBytes(dir_ + L"stopped.bin", &opened);
        ASSERT_TRUE(opened) << "the worker still holds the file";
        size_t received = 0;
        for (const Call& call : seen)
            received += call.bytes;
        EXPECT_GE(PatternPrefix(bytes), received);
        if (c.announced) {
            EXPECT_EQ(bytes.size(), c.announced);
        }
        EXPECT_EQ(api.stop(url.c_str()), 0);
    }
}

// A server that stops sending cannot hold http_stop for ever, whether the
// worker waits for the headers or inside a block; once the server goes on,
// the worker ends and reports nothing.
TEST_F(TovraUpdate, StopOfAStalledTransferReturns)
{
    api.setCallback(RecordProgress, 65536, 20, kUser);
    struct Case {
        std::string path, tag;
    } cases[] = {{"/stall/s1", "s1"}, {"/hold/h1/100000/20000", "h1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const std::string& path = c.path;
        std::wstring url = Url(path);
        ASSERT_EQ(Start(url, L"stall.bin"), 1);
        ASSERT_NE(Control("GET", "/_log?wait=" + path).body.find(path), std::string::npos)
            << "the request never reached the server";

        StopCall stopCall{url.c_str(), -1};
        HANDLE stopper = CreateThread(nullptr, 0, StopOnThread, &stopCall, 0, nullptr);
        ASSERT_EQ(WaitForSingleObject(stopper, kWaitMs), WAIT_OBJECT_0) << "http_stop hangs";
        CloseHandle(stopper);
        EXPECT_EQ(stopCall.result, 1);
        EXPECT_EQ(Control("POST", "/_release/" + c.tag).status, 200u);
        ASSERT_TRUE(WaitForWorkers());
        EXPECT_TRUE(CallsFor(url).empty());
    }
}

// Two downloads at once keep their own state: each call carries its own
// texts, stopping one leaves the other running, and each file is whole.
TEST_F(TovraUpdate, ConcurrentDownloadsKeepTheirOwnState)
{
    api.setCallback(RecordProgress, 8192, 20, kUser);
    std::wstring streamA = Url("/stream?a"), streamB = Url("/stream?b"), whole = Url("/bytes/300000");
    ASSERT_EQ(Start(streamA, L"a.bin"), 1);
    ASSERT_EQ(Start(streamB, L"b.bin"), 1);
    ASSERT_EQ(Start(whole, L"whole.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) {
        return CountFor(all, streamA) >= 3 && CountFor(all, streamB) >= 3 && ReachedHundred(all, whole);
    }));

    ASSERT_EQ(api.stop(streamA.c_str()), 1);
    size_t aAtStop = CallsFor(streamA).size();
    size_t bAtStop = CallsFor(streamB).size();
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return CountFor(all, streamB) >= bAtStop + 3; }))
        << "stopping one download stopped the other";
    EXPECT_EQ(CallsFor(streamA).size(), aAtStop);
    ASSERT_EQ(api.stop(streamB.c_str()), 1);
    ASSERT_TRUE(WaitForWorkers());

    struct Expect {
        std::wstring url, file;
    } expected[] = {{streamA, L"a.bin"}, {streamB, L"b.bin"}, {whole, L"whole.bin"}};
    for (const Expect& e : expected) {
        std::vector<Call> seen = CallsFor(e.url);
        size_t total = 0;
        for (const Call& call : seen) {
            EXPECT_EQ(call.file, e.file);
            total += call.bytes;
        }
        std::string bytes = ReadBytes(dir_ + e.file);
        EXPECT_EQ(PatternPrefix(bytes), bytes.size());
        if (e.url == whole) {
            EXPECT_EQ(bytes.size(), 300000u);
        } else {
            // A stop between a block's write and its call leaves that block
            // unreported.
            EXPECT_GE(bytes.size(), total);
            EXPECT_LE(bytes.size(), total + 8192);
        }
    }
}

// http_exit ends running downloads; until the next http_init nothing starts.
TEST_F(TovraUpdate, ExitStopsRunningDownloads)
{
    std::wstring url = Url("/stream?exit");
    ASSERT_EQ(Start(url, L"exit.bin"), 1);
    ASSERT_TRUE(WaitForCalls([&](const std::vector<Call>& all) { return CountFor(all, url) >= 1; }));
    api.exit();
    ASSERT_TRUE(WaitForWorkers());
    size_t atExit = CallsFor(url).size();
    EXPECT_EQ(Start(url, L"exit.bin"), 0);
    EXPECT_EQ(api.stop(url.c_str()), 0);
    EXPECT_EQ(CallsFor(url).size(), atExit);
    ASSERT_EQ(api.init(), 1);
    EXPECT_EQ(Start(url, L"exit.bin"), 1) << "the exit forgot the listed download";
}

}  // namespace
