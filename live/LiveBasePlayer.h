#pragma once

#include <cstdint>
#include <string>

// A local server that re-serves the live stream to the hosted player in the
// form its stream type asks for. The selector creates, starts and stops it;
// the feeder thread pushes every media record into the current one.
class CLiveBasePlayer {
public:
    virtual ~CLiveBasePlayer() {}
    // Begins serving; header is the player header of the stream header.
    virtual bool Start(const char* header, std::uint32_t length) = 0;
    // One media record for every connected client: 1 taken, 0 refused.
    virtual int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength,
                         bool noPacing) = 0;
    // After each piece.
    virtual void Tick(std::uint32_t /*piece*/, std::uint32_t /*elapsedMs*/, bool /*noPacing*/) {}
    // Closes every client and the listener; Start may follow. Also called on
    // another thread while a push runs: it must end a push blocked in a send.
    virtual void Stop() = 0;
    // The URL the hosted player opens; empty while not serving.
    virtual std::wstring GetUrl() = 0;
    // End of stream.
    virtual void Finish() {}
};
