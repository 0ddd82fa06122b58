// The feeder and the player selector against a stand-in engine and recording
// players: header changes, countdown texts, piece order and Stop.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "live/LiveEngineMessages.h"
#include "live/LiveFeeder.h"
#include "live/LivePlayerSelector.h"

namespace {

const auto kBound = std::chrono::seconds(30);

// One log for the engine's messages and the players' calls, in order.
struct Log {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> lines;

    void Add(const std::string& line)
    {
        std::lock_guard<std::mutex> hold(lock);
        lines.push_back(line);
        changed.notify_all();
    }
    bool WaitFor(const std::string& line)
    {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, kBound, [&] {
            for (const std::string& l : lines)
                if (l == line)
                    return true;
            return false;
        });
    }
    std::vector<std::string> Starting(const std::string& prefix)
    {
        std::lock_guard<std::mutex> hold(lock);
        std::vector<std::string> out;
        for (const std::string& l : lines)
            if (l.compare(0, prefix.size(), prefix) == 0)
                out.push_back(l);
        return out;
    }
};

Log* g_log = nullptr;

class RecordingPlayer : public CLiveBasePlayer {
public:
    explicit RecordingPlayer(const std::string& tag) : m_id(tag + "#" + std::to_string(++s_made)) {}
    ~RecordingPlayer() override { g_log->Add("delete " + m_id + (m_serving ? " serving" : "")); }
    bool Start(const char* header, std::uint32_t length) override
    {
        // The feeder's thread is in COM's multithreaded apartment already.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        g_log->Add(com == S_FALSE ? "com ready" : "com missing");
        if (SUCCEEDED(com))
            CoUninitialize();
        g_log->Add("start " + m_id + " " + std::string(header, length));
        m_serving = true;
        return true;
    }
    int PushData(const char* record, std::uint32_t length, std::uint32_t, bool) override
    {
        g_log->Add("push " + std::string(record, length));
        return 1;
    }
    void Tick(std::uint32_t piece, std::uint32_t, bool) override { g_log->Add("tick " + std::to_string(piece)); }
    void Stop() override
    {
        g_log->Add("stop " + m_id);
        m_serving = false;
    }
    std::wstring GetUrl() override { return L"http://127.0.0.1:1/" + std::wstring(m_id.begin(), m_id.end()); }

    static int s_made;

private:
    std::string m_id;
    bool m_serving = false;
};
int RecordingPlayer::s_made = 0;

CLiveBasePlayer* MakeRecordingPlayer(const std::string& tag)
{
    return new RecordingPlayer(tag);
}

std::string U32(std::uint32_t v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string Header(const std::string& tag, const std::string& title, const std::string& playerHeader)
{
    std::uint16_t t = static_cast<std::uint16_t>(title.size());
    return tag + U32(7) + std::string(reinterpret_cast<const char*>(&t), 2) + title + playerHeader;
}

std::string Piece(std::uint32_t headerId, const std::vector<std::string>& records)
{
    std::string piece = U32(headerId);
    for (const std::string& r : records)
        piece += U32(static_cast<std::uint32_t>(r.size())) + r;
    return piece;
}

std::string Narrow(const wchar_t* text)
{
    std::string out;
    for (; text != nullptr && *text; ++text)
        out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

// Pieces and headers set up before Start; -2 for pieces in slid.
class FakeEngine : public ILiveFeederHost {
public:
    std::map<std::uint32_t, std::string> pieces;
    std::set<std::uint32_t> slid;
    std::map<std::uint32_t, std::string> headers;
    LiveFeeder* feeder = nullptr;
    std::wstring url;

    std::int32_t GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length) override
    {
        if (slid.count(piece))
            return -2;
        auto it = pieces.find(piece);
        if (it == pieces.end())
            return -1;
        length = static_cast<std::uint32_t>(it->second.size());
        if (buffer == nullptr)
            return 0;
        std::memcpy(buffer, it->second.data(), length);
        return static_cast<std::int32_t>(length);
    }
    std::uint32_t GetWindowStart() override { return 1; }
    bool RequestHeader(std::uint32_t id, std::string& bytes) override
    {
        bytes = headers.count(id) ? headers[id] : std::string();
        return !bytes.empty();
    }
    LRESULT NotifyHost(UINT message, WPARAM wParam, LPARAM lParam, bool) override
    {
        g_log->Add("status " + std::to_string(wParam) + " " + std::to_string(lParam));
        // The hosted player reports buffering once its stream went away.
        if (message == WM_LIVE_STATUS && wParam == LIVE_STATUS_NEXT_PROGRAMME && feeder != nullptr)
            feeder->Wake();
        return 1;
    }
    LRESULT NotifyHostTimeout(UINT message, WPARAM wParam, LPARAM lParam, UINT) override
    {
        if (message == WM_LIVE_STATUS)
            g_log->Add("status " + std::to_string(wParam) + " " +
                       std::to_string(std::wcslen(reinterpret_cast<const wchar_t*>(lParam))) + ":" +
                       Narrow(reinterpret_cast<const wchar_t*>(lParam)));
        else if (message == WM_LIVE_STREAM_READY)
            g_log->Add("ready " + Narrow(url.c_str()) + " " + Narrow(reinterpret_cast<const wchar_t*>(wParam)));
        return 1;
    }
    const wchar_t* HoldHostText(const std::wstring& text) override { return m_texts.insert(text).first->c_str(); }
    void SetPlayerUrl(const std::wstring& value) override { url = value; }
    bool NoPacing() override { return false; }

private:
    std::set<std::wstring> m_texts;
};

class LiveFeederTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log = &log;
        RecordingPlayer::s_made = 0;
    }
    void TearDown() override { g_log = nullptr; }
    // Runs a feeder until line is logged, then stops it.
    void RunUntil(std::uint32_t buffering, const std::string& line)
    {
        LiveFeeder feeder(&engine, buffering, MakeRecordingPlayer);
        engine.feeder = &feeder;
        ASSERT_TRUE(feeder.Start());
        EXPECT_FALSE(feeder.Start());
        EXPECT_TRUE(log.WaitFor(line)) << line;
        EXPECT_TRUE(feeder.Stop());
        EXPECT_FALSE(feeder.Stop());
    }
    Log log;
    FakeEngine engine;
};

TEST_F(LiveFeederTest, CountdownOnlyBeforeTheFirstHeaderThenTheSameTagReusesItsPlayer)
{
    engine.headers[1] = Header("flv ", "One", "AAAAAAAA");
    engine.headers[2] = Header("flv ", "Two", "BBBBBBBB");
    engine.pieces[1] = Piece(1, {"r1"});
    engine.pieces[2] = Piece(2, {"r2"});
    engine.pieces[3] = Piece(2, {"r3"});
    RunUntil(10, "tick 3");

    // The text is string 168 of the module's table (the test's own).
    std::vector<std::string> countdown;
    for (int i = 0; i < 10; ++i) {
        const std::string text = "wait " + std::to_string(i * 10) + "%";
        countdown.push_back("status 9 " + std::to_string(text.size()) + ":" + text);
    }
    std::vector<std::string> statuses = log.Starting("status");
    ASSERT_EQ(statuses.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(statuses.begin(), statuses.begin() + 10), countdown);
    EXPECT_EQ(statuses[10], "status 8 118");
    EXPECT_EQ(log.Starting("ready"), (std::vector<std::string>{"ready http://127.0.0.1:1/flv #1 One",
                                                               "ready http://127.0.0.1:1/flv #1 Two"}));
    EXPECT_EQ(log.Starting("start"), (std::vector<std::string>{"start flv #1 AAAAAAAA", "start flv #1 BBBBBBBB"}));
    EXPECT_EQ(log.Starting("delete"), std::vector<std::string>{"delete flv #1"});
    EXPECT_EQ(log.Starting("com"), (std::vector<std::string>{"com ready", "com ready"}));
}

TEST_F(LiveFeederTest, PiecesInOrderSkippingSlidOutAndEmptyOnesTick)
{
    engine.headers[5] = Header("real", "", "H");
    engine.pieces[1] = Piece(5, {"a", "b"});
    engine.slid.insert(2);
    engine.pieces[3] = Piece(5, {});
    engine.pieces[4] = Piece(5, {"c"}) + U32(100) + "short";  // the last record runs past the piece
    engine.pieces[5] = Piece(5, {"d"});
    RunUntil(0, "tick 5");

    EXPECT_TRUE(log.Starting("status").empty());
    std::vector<std::string> flow;
    for (const std::string& l : log.lines)
        if (l.compare(0, 4, "push") == 0 || l.compare(0, 4, "tick") == 0)
            flow.push_back(l);
    EXPECT_EQ(flow, (std::vector<std::string>{"push a", "push b", "tick 1", "tick 3", "push c", "tick 4",
                                              "push d", "tick 5"}));
}

TEST_F(LiveFeederTest, AHeaderWithoutAPlayerDropsItsRecordsUntilTheNext)
{
    engine.headers[1] = Header("kxep", "X", "");
    engine.headers[2] = Header("vlch", "Y", "");
    engine.pieces[1] = Piece(1, {"dropped"});
    engine.pieces[2] = Piece(2, {"kept"});
    RunUntil(0, "push kept");

    EXPECT_EQ(log.Starting("push"), std::vector<std::string>{"push kept"});
    EXPECT_EQ(log.Starting("ready"), std::vector<std::string>{"ready http://127.0.0.1:1/vlch#1 Y"});
}

struct SelectCase {
    const char* name;
    std::string header;
    bool selected;
    const char* title;   // after Select
    const char* start;   // the player header the player got, or null
};

TEST_F(LiveFeederTest, SelectParsesTheHeaderTable)
{
    const std::string bad = std::string("flv ") + U32(0) + std::string("\x09\0", 2) + "12345678";
    const SelectCase cases[] = {
        {"title and player header", Header("flv ", "News", "12345678"), true, "News", "12345678"},
        {"empty title keeps the title", Header("real", "", "xy"), true, "News", "xy"},
        {"8 bytes: no fields, title kept", "flv 1234", true, "News", "1234"},
        {"title past the end", bad, false, "News", nullptr},
        {"kxep selects none", Header("kxep", "K", ""), false, "News", nullptr},
        {"unknown tag", Header("avi ", "A", ""), false, "News", nullptr},
        {"shorter than a tag", "flv", false, "News", nullptr},
    };
    LivePlayerSelector selector(MakeRecordingPlayer);
    for (const SelectCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t starts = log.Starting("start").size();
        EXPECT_EQ(selector.Select(c.header.data(), static_cast<std::uint32_t>(c.header.size())), c.selected);
        EXPECT_EQ(Narrow(selector.GetTitle().c_str()), c.title);
        EXPECT_EQ(selector.Current() != nullptr, c.selected);
        EXPECT_EQ(selector.GetUrl().empty(), !c.selected);
        std::vector<std::string> now = log.Starting("start");
        if (c.start != nullptr)
            EXPECT_EQ(now.back().substr(now.back().rfind(' ') + 1), c.start);
        else
            EXPECT_EQ(now.size(), starts);
    }
}

TEST_F(LiveFeederTest, RealPlayersRefuseHeadersShorterThanTheirFixedFields)
{
    LivePlayerSelector selector;
    const std::string cases[] = {Header("flv ", "", "1234567"), Header("real", "", "123456789")};
    for (const std::string& header : cases) {
        SCOPED_TRACE(header.substr(0, 4));
        EXPECT_FALSE(selector.Select(header.data(), static_cast<std::uint32_t>(header.size())));
        std::string whole = header + "x";
        EXPECT_TRUE(selector.Select(whole.data(), static_cast<std::uint32_t>(whole.size())));
        EXPECT_FALSE(selector.GetUrl().empty());
    }
}

TEST_F(LiveFeederTest, DestroyingTheSelectorStopsEveryCachedPlayerFirst)
{
    {
        // A player started after the last StopCurrent (Select racing Stop)
        // is still serving when the selector goes.
        LivePlayerSelector selector(MakeRecordingPlayer);
        for (const char* tag : {"flv ", "real", "vlch"}) {
            std::string header = Header(tag, "", "h");
            ASSERT_TRUE(selector.Select(header.data(), static_cast<std::uint32_t>(header.size())));
        }
    }
    std::vector<std::string> deleted = log.Starting("delete");
    EXPECT_EQ(deleted.size(), 3u);
    for (const std::string& line : deleted)
        EXPECT_EQ(line.find("serving"), std::string::npos) << line;
}

}  // namespace
