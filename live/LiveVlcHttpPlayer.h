#pragma once

#include "live/LiveHttpPlayer.h"

// Serves opaque bytes (an MPEG transport stream) to the hosted VLC ("vlch").
class CLiveVlcHttpPlayer : public CLiveHttpPlayer {
public:
    CLiveVlcHttpPlayer();
    ~CLiveVlcHttpPlayer() override;
    int PushData(const char* record, std::uint32_t length, std::uint32_t pieceLength, bool noPacing) override;

protected:
    // Kept whole and never sent.
    bool TakeHeader(const char* header, std::uint32_t length) override;
    std::string Reply() override;
    void ClearHeader() override;

private:
    std::string m_kept;
};
