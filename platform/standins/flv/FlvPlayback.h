#pragma once
// The FLV playback of the Flash stand-in's player movie: a thread that reads
// the media over HTTP, checks every tag, and advances the position at the
// pace of the tags' timestamps. A seek behind the read point asks the server
// again for "/<offset>.flv" from the key frame before the target. The state
// is read from the control's thread through State().
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace standins {

class FlvPlayback {
public:
    // "stopped", "paused", "buffering", "seeking", "playing".
    struct Snapshot {
        std::wstring state;
        long positionSeconds = 0;
        long durationSeconds = 0;
    };
    // Told on the playback thread at every change of state.
    typedef std::function<void(const std::wstring& state)> StateChanged;
    // Told what went wrong, or which request was made, for the call record.
    typedef std::function<void(const std::wstring& line)> Logger;

    FlvPlayback(StateChanged changed, Logger log);
    ~FlvPlayback();
    FlvPlayback(const FlvPlayback&) = delete;
    FlvPlayback& operator=(const FlvPlayback&) = delete;

    // Plays the address from its start (a running playback stops first).
    void Start(const std::wstring& url);
    void Pause();
    void Resume();
    void Stop();
    void Seek(long seconds);
    Snapshot State() const;
    // Reading or playing (not ended, failed or stopped).
    bool Running() const { return thread_ && WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT; }
    const std::wstring& Url() const { return url_; }
    // Set before Start: after a seek the new stream is asked for only once
    // the host has read the "seeking" state (at most kSeekHoldMs), so a host
    // that polls cannot miss that state however briefly seeking would last.
    void HoldSeekingUntilTaken(bool hold) { holdSeeking_ = hold; }
    // The host read this state (and cleared the movie's change flag).
    void StateTaken(const std::wstring& state);

    static const DWORD kSeekHoldMs = 30000;

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    // One connection from byte offset `from` (0: the whole file): true when
    // a seek asks for another from *again, false when the playback ends.
    bool Stream(std::uint64_t from, std::uint64_t* again);
    // With the hold on: waits until "seeking" was taken, the bound passed or
    // a stop; false on a stop.
    bool SeekingShown();
    void SetState(const wchar_t* state);

    StateChanged changed_;
    Logger log_;
    HANDLE thread_ = nullptr;
    HANDLE wake_ = nullptr;
    std::wstring url_;
    bool holdSeeking_ = false;
    mutable std::mutex lock_;
    // Guarded by lock_:
    Snapshot snapshot_;
    bool stop_ = false;
    bool paused_ = false;
    long seekTo_ = -1;
    bool seekingTaken_ = false;
    std::map<std::uint32_t, std::uint64_t> keyFrames_;   // timestamp ms -> file offset
};

}  // namespace standins
