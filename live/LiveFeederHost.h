#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What the feeder thread, which re-serves the channel to the local player,
// asks of its engine. Every call is made on the feeder's thread.
class ILiveFeederHost {
public:
    // LivePieceWindow::GetPiece and the window's start.
    virtual std::int32_t GetPiece(std::uint32_t piece, char* buffer, std::uint32_t& length) = 0;
    virtual std::uint32_t GetWindowStart() = 0;
    // True with a non-empty stored header; otherwise the engine wants it from
    // its peers from now on.
    virtual bool RequestHeader(std::uint32_t id, std::string& bytes) = 0;
    // To the owner window: posted, or sent; 0 without an owner window.
    virtual LRESULT NotifyHost(UINT message, WPARAM wParam, LPARAM lParam, bool post) = 0;
    // Sent with SendMessageTimeoutW; 0 without an owner window or on time-out.
    virtual LRESULT NotifyHostTimeout(UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs) = 0;
    // A copy of text that lives as long as the engine, for a message sent
    // with a time-out; null when no more can be held.
    virtual const wchar_t* HoldHostText(const std::wstring& text) = 0;
    // The local URL of the player serving the stream, written before
    // WM_LIVE_STREAM_READY is sent.
    virtual void SetPlayerUrl(const std::wstring& url) = 0;
    // The player reports buffering: push without pacing.
    virtual bool NoPacing() = 0;

protected:
    ~ILiveFeederHost() {}
};
