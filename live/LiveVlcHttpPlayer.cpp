#include "live/LiveVlcHttpPlayer.h"

#include "live/LiveHttpReplies.h"

CLiveVlcHttpPlayer::CLiveVlcHttpPlayer() : CLiveHttpPlayer(L"vlch://127.0.0.1:%d") {}

CLiveVlcHttpPlayer::~CLiveVlcHttpPlayer()
{
    // Here, while Reply and ClearHeader are still this class's.
    Stop();
}

bool CLiveVlcHttpPlayer::TakeHeader(const char* header, std::uint32_t length)
{
    m_kept.assign(header != nullptr ? header : "", header != nullptr ? length : 0);
    return true;
}

std::string CLiveVlcHttpPlayer::Reply()
{
    return LiveVlcReply();
}

void CLiveVlcHttpPlayer::ClearHeader()
{
    CLiveHttpPlayer::ClearHeader();
    m_kept.clear();
}

int CLiveVlcHttpPlayer::PushData(const char* record, std::uint32_t length, std::uint32_t, bool)
{
    if (!m_serving || record == nullptr)
        return 0;
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (!m_serving)
        return 0;
    for (ClientTable::iterator client = m_clients.begin(); client != m_clients.end();)
        client = SendOrDrop(client, record, length);
    return 1;
}
