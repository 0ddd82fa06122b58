#pragma once
// What the Real and VLC stand-ins share: a stream read over HTTP on a thread
// of its own, and a playback clock over what has arrived. The reading thread
// feeds the stand-in's format reader and publishes what it found; the
// control's thread moves the clock at its timer and reads the state, so a
// player that is fed faster than real time still plays at real time, and
// one fed slower falls back to buffering.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace standins {

// What the format reader found so far; written by the reading thread.
struct StreamFacts {
    bool headers = false;      // the stream's headers are read
    bool ended = false;        // the whole stream arrived
    bool bad = false;          // no stream of the format, or no answer
    std::uint32_t bufferedMs = 0;   // media time that arrived, from the first sample
    std::uint32_t lengthMs = 0;     // announced length, 0 when unknown
    int width = 0;
    int height = 0;
};

class StreamPlayback {
public:
    enum class State { Idle, Connecting, Buffering, Playing, Paused, Stopped, Ended, Error };

    // Called on the reading thread with each piece of the body; it updates
    // the facts it is given.
    typedef std::function<void(const std::uint8_t* data, std::size_t size, StreamFacts& facts)> Feed;

    StreamPlayback();
    ~StreamPlayback();
    StreamPlayback(const StreamPlayback&) = delete;
    StreamPlayback& operator=(const StreamPlayback&) = delete;

    // Starts reading the address (http://host:port/path) from the start.
    void Start(const std::wstring& url, Feed feed);
    // Ends the reading; the clock goes back to 0.
    void Stop();
    void Pause();
    // Goes on after a pause; false when nothing was started.
    bool Resume();
    // Moves the clock; the state after it.
    State Tick();
    State Current() const { return state_; }
    std::uint32_t PositionMs() const { return positionMs_; }
    void SetPositionMs(std::uint32_t positionMs);
    StreamFacts Facts() const;

    // Media time the clock wants ahead of it before it plays.
    static const std::uint32_t kPrerollMs = 1000;

private:
    static DWORD WINAPI ReadThread(void* self);
    void Read();
    void Publish(const StreamFacts& facts);
    void JoinReader();

    mutable CRITICAL_SECTION lock_;
    StreamFacts facts_;                    // guarded by lock_
    UINT_PTR socket_ = ~UINT_PTR(0);       // a SOCKET, guarded by lock_ (closed to end a read)
    HANDLE thread_ = nullptr;
    std::wstring url_;
    Feed feed_;
    State state_ = State::Idle;
    std::uint32_t positionMs_ = 0;
    DWORD clockBase_ = 0;                  // tick count at position 0 while playing
};

}  // namespace standins
