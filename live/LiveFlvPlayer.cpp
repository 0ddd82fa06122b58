#include "live/LiveFlvPlayer.h"

#include "live/LiveHttpReplies.h"
#include "live/LiveStreamHeader.h"

CLiveFlvPlayer::CLiveFlvPlayer() : CLiveHttpPlayer(L"http://127.0.0.1:%d/1.flv") {}

CLiveFlvPlayer::~CLiveFlvPlayer()
{
    // Here, while Reply and ClearHeader are still this class's.
    Stop();
}

bool CLiveFlvPlayer::TakeHeader(const char* header, std::uint32_t length)
{
    return ParseFlvPlayerHeader(header, length, m_contentLength, m_header);
}

std::string CLiveFlvPlayer::Reply()
{
    return LiveFlvReply(m_contentLength);
}

int CLiveFlvPlayer::PushData(const char* record, std::uint32_t length, std::uint32_t, bool)
{
    if (!m_serving || record == nullptr || length < 5)
        return 0;
    std::lock_guard<std::mutex> lock(m_clientLock);
    if (!m_serving)
        return 0;
    bool key = IsFlvKeyFrameRecord(record, length);
    for (ClientTable::iterator client = m_clients.begin(); client != m_clients.end();) {
        if (client->second == 0) {
            client = SendOrDrop(client, record, length);
            continue;
        }
        if (key) {
            // The first tag after the file header follows a previous size of 0.
            static const char kNoPreviousTag[4] = {0, 0, 0, 0};
            client->second = 0;
            SendTo(client->first, kNoPreviousTag, 4);
            SendTo(client->first, record + 4, length - 4);
        }
        ++client;
    }
    return 1;
}
