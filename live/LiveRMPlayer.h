#pragma once

#include "live/LiveHttpPlayer.h"

// Serves the stream as one endless RealMedia file ("real"). A joining client
// gets the file header, every packet of the other streams, and video from
// the first key packet on.
class CLiveRMPlayer : public CLiveHttpPlayer {
public:
    CLiveRMPlayer();
    ~CLiveRMPlayer() override;
    int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength, bool noPacing) override;
    // Sends the closing index chunks to every client and shuts each down.
    void Finish() override;

protected:
    bool TakeHeader(const char* header, std::uint32_t length) override;
    std::string Reply() override;
    void ClearHeader() override;

private:
    std::uint16_t m_videoStream;
};
