#pragma once

#include "live/LiveHttpPlayer.h"

// Serves the stream as one endless FLV file ("flv "). A client that joins
// gets the file header and then waits for a video key frame, so that its
// first frame decodes.
class CLiveFlvPlayer : public CLiveHttpPlayer {
public:
    CLiveFlvPlayer();
    ~CLiveFlvPlayer() override;
    int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength, bool noPacing) override;

protected:
    bool TakeHeader(const char* header, std::uint32_t length) override;
    std::string Reply() override;
};
