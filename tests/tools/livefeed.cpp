// livefeed: a feeder and its local players over a piece file, with an engine
// stand-in that releases the file's pieces at a given rate. For the
// real-client tests and the players' benchmark.
//
// usage: livefeed PIECEFILE [--rate N] [--buffering S] [--no-pacing] [--then PIECEFILE]
//
//   --rate releases N pieces a second (default 1; 0: all at once);
//   --no-pacing reports the hosted player buffering (push without pacing);
//   --then follows the pieces with those of a second file, whose header id
//          differs: the stream's header changes there.
//
// Prints one line each, on stdout:
//   READY <url> <title>     each stream-ready message
//   STATUS <stage> <text>   each status message (text or string id)
//   END                     once the feeder asked for the piece after the last
//   STOPPED <ms>            after "STOP" or "quit" on stdin (or its end): Stop's duration
// "wake" on stdin wakes the feeder as the hosted player's buffering would.
#include <windows.h>

#include <mmsystem.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/text/TextConv.h"
#include "live/LiveEngineMessages.h"
#include "live/LiveFeeder.h"
#include "tests/tools/SayLine.h"

namespace {

std::uint32_t U32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::string Utf8(const std::wstring& text)
{
    std::string out;
    WideToUtf8(text.c_str(), out);
    return out;
}

class FileEngine : public ILiveFeederHost {
public:
    // A second file appends its pieces and its header.
    bool Load(const char* path)
    {
        std::ifstream in(path, std::ios::binary);
        std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (b.size() < 20 || b.compare(0, 4, "LPCF") != 0)
            return false;
        if (m_headers.empty())
            m_first = U32(b, 4);
        std::uint32_t count = U32(b, 8);
        std::size_t at = 20 + U32(b, 16);
        if (!m_headers.emplace(U32(b, 12), b.substr(20, at - 20)).second)
            return false;   // the same header id twice: no change to show
        for (std::uint32_t i = 0; i < count && at + 4 <= b.size(); ++i) {
            std::uint32_t length = U32(b, at);
            m_pieces.push_back(b.substr(at + 4, length));
            at += 4 + length;
        }
        return true;
    }
    void Begin(double rate) { m_rate = rate, m_started = timeGetTime(); }

    std::int32_t GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length) override
    {
        std::size_t index = piece - m_first;
        if (piece < m_first)
            return -2;
        if (index >= m_pieces.size()) {
            if (!m_ended.exchange(true))
                Say("END");
            return -1;
        }
        if (m_rate > 0 && (timeGetTime() - m_started) * m_rate / 1000.0 < index)
            return -1;
        const std::string& bytes = m_pieces[index];
        if (buffer == nullptr) {
            length = static_cast<std::uint32_t>(bytes.size());
            return 0;
        }
        if (length < bytes.size())
            return -1;
        std::memcpy(buffer, bytes.data(), bytes.size());
        length = static_cast<std::uint32_t>(bytes.size());
        return static_cast<std::int32_t>(length);
    }
    std::uint32_t GetWindowStart() override { return m_first; }
    bool RequestHeader(std::uint32_t id, std::string& bytes) override
    {
        auto found = m_headers.find(id);
        bytes = found == m_headers.end() ? std::string() : found->second;
        return !bytes.empty();
    }
    LRESULT NotifyHost(UINT message, WPARAM wParam, LPARAM lParam, bool) override
    {
        if (message == WM_LIVE_STATUS)
            Say("STATUS " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 1;
    }
    LRESULT NotifyHostTimeout(UINT message, WPARAM wParam, LPARAM lParam, UINT) override
    {
        if (message == WM_LIVE_STATUS)
            Say("STATUS " + std::to_string(wParam) + " " + Utf8(reinterpret_cast<const wchar_t*>(lParam)));
        if (message == WM_LIVE_STREAM_READY)
            Say("READY " + Utf8(m_url) + " " + Utf8(reinterpret_cast<const wchar_t*>(wParam)));
        return 1;
    }
    const wchar_t* HoldHostText(const std::wstring& text) override
    {
        std::lock_guard<std::mutex> lock(m_textsLock);
        return m_texts.insert(text).first->c_str();
    }
    void SetPlayerUrl(const std::wstring& url) override { m_url = url; }
    bool NoPacing() override { return m_noPacing; }

    bool m_noPacing = false;

private:
    std::uint32_t m_first = 0;
    std::map<std::uint32_t, std::string> m_headers;   // by header id
    std::vector<std::string> m_pieces;
    double m_rate = 1;
    DWORD m_started = 0;
    std::atomic<bool> m_ended{false};
    std::mutex m_textsLock;
    std::set<std::wstring> m_texts;
    std::wstring m_url;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: livefeed PIECEFILE [--rate N] [--buffering S] [--no-pacing]\n");
        return 2;
    }
    FileEngine engine;
    if (!engine.Load(argv[1])) {
        std::fprintf(stderr, "livefeed: cannot read %s\n", argv[1]);
        return 2;
    }
    double rate = 1;
    std::uint32_t buffering = 0;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--rate" && i + 1 < argc)
            rate = std::atof(argv[++i]);
        else if (arg == "--buffering" && i + 1 < argc)
            buffering = static_cast<std::uint32_t>(std::atoi(argv[++i]));
        else if (arg == "--no-pacing")
            engine.m_noPacing = true;
        else if (arg == "--then" && i + 1 < argc && !engine.Load(argv[++i])) {
            std::fprintf(stderr, "livefeed: cannot add %s\n", argv[i]);
            return 2;
        }
    }
    timeBeginPeriod(1);
    engine.Begin(rate);
    LiveFeeder feeder(&engine, buffering);
    feeder.Start();
    std::string line;
    while (std::getline(std::cin, line) && line != "quit" && line != "STOP") {
        if (line == "wake")
            feeder.Wake();
    }
    DWORD before = timeGetTime();
    feeder.Stop();
    Say("STOPPED " + std::to_string(timeGetTime() - before));
    timeEndPeriod(1);
    return 0;
}
