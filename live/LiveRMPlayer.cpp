#include "live/LiveRMPlayer.h"

#include <ctime>

#include "live/LiveHttpReplies.h"
#include "live/LiveStreamHeader.h"
#include "vod/http/HttpReply.h"

CLiveRMPlayer::CLiveRMPlayer() : CLiveHttpPlayer(L"http://127.0.0.1:%d/1.rm"), m_videoStream(0) {}

CLiveRMPlayer::~CLiveRMPlayer()
{
    // Here, while Reply and ClearHeader are still this class's.
    Stop();
}

bool CLiveRMPlayer::TakeHeader(const char* header, std::uint32_t length)
{
    return ParseRmPlayerHeader(header, length, m_contentLength, m_videoStream, m_header);
}

std::string CLiveRMPlayer::Reply()
{
    return LiveRmReply(m_contentLength, FormatHttpDate(std::time(nullptr)));
}

void CLiveRMPlayer::ClearHeader()
{
    CLiveHttpPlayer::ClearHeader();
    m_videoStream = 0;
}

int CLiveRMPlayer::PushData(const char* record, std::uint32_t length, std::uint32_t, bool)
{
    if (!m_serving || record == nullptr || length == 0)
        return 0;
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (!m_serving)
        return 0;
    std::uint16_t stream = 0;
    bool key = false;
    ReadRmPacket(record, length, stream, key);
    for (ClientTable::iterator client = m_clients.begin(); client != m_clients.end();) {
        if (client->second != 0 && stream == m_videoStream) {
            if (!key) {
                ++client;
                continue;
            }
            client->second = 0;
        }
        client = SendOrDrop(client, record, length);
    }
    return 1;
}

void CLiveRMPlayer::Finish()
{
    const std::string block = RmIndexBlock();
    std::lock_guard<std::mutex> lock(m_clientLock);
    for (ClientTable::value_type& client : m_clients) {
        SendTo(client.first, block.data(), block.size());
        shutdown(client.first, SD_BOTH);
    }
}
