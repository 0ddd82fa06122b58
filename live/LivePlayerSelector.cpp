#include "live/LivePlayerSelector.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "live/LiveFlvPlayer.h"
#include "live/LiveRMPlayer.h"
#include "live/LiveStreamHeader.h"
#include "live/LiveVlcHttpPlayer.h"
#include "live/LiveWMPlayer.h"
#include "live/LiveWMPushPlayer.h"

namespace {

std::wstring FromAnsi(const std::string& bytes)
{
    if (bytes.empty())
        return std::wstring();
    int size = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    return text;
}

}  // namespace

CLiveBasePlayer* MakeLivePlayer(const std::string& tag)
{
    if (tag == "real")
        return new CLiveRMPlayer();
    if (tag == "flv ")
        return new CLiveFlvPlayer();
    if (tag == "vlch")
        return new CLiveVlcHttpPlayer();
    if (tag == "wmv ")
        return new CLiveWMPlayer();
    if (tag == "mmsp" || tag == "wmv2")
        return new CLiveWMPushPlayer(tag == "mmsp");
    return nullptr;
}

LivePlayerSelector::LivePlayerSelector(LivePlayerFactory factory)
    : m_factory(factory), m_current(nullptr)
{
}

LivePlayerSelector::~LivePlayerSelector()
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    m_current = nullptr;
    for (std::unique_ptr<CLiveBasePlayer>& player : m_players) {
        if (player)
            player->Stop();
        player.reset();
    }
}

CLiveBasePlayer* LivePlayerSelector::PlayerFor(const std::string& tag)
{
    // One slot per kind of player; "wmv " is the writer player's.
    static const char* const kTags[kSlots] = {"wmv ", "real", "flv ", "mmsp", "wmv2", "vlch"};
    for (int slot = 0; slot < kSlots; ++slot) {
        if (tag != kTags[slot])
            continue;
        if (!m_players[slot])
            m_players[slot].reset(m_factory(tag));
        return m_players[slot].get();
    }
    return nullptr;
}

bool LivePlayerSelector::Select(const char* header, std::uint32_t length)
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    if (m_current != nullptr) {
        m_current->Stop();
        m_current = nullptr;
    }
    LiveStreamHeader parsed;
    if (!ParseLiveStreamHeader(header, length, parsed))
        return false;
    CLiveBasePlayer* player = PlayerFor(parsed.tag);
    if (player == nullptr)
        return false;
    if (parsed.hasFields && !parsed.title.empty())
        m_title = FromAnsi(parsed.title);
    m_current = player;
    if (!player->Start(header + parsed.playerHeaderOffset,
                       static_cast<std::uint32_t>(length - parsed.playerHeaderOffset))) {
        m_current = nullptr;
        return false;
    }
    return true;
}

void LivePlayerSelector::StopCurrent()
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    if (m_current != nullptr)
        m_current->Stop();
    m_current = nullptr;
}

std::wstring LivePlayerSelector::GetUrl()
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    return m_current != nullptr ? m_current->GetUrl() : std::wstring();
}

std::wstring LivePlayerSelector::GetTitle()
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    return m_title;
}

CLiveBasePlayer* LivePlayerSelector::Current()
{
    std::lock_guard<std::mutex> lock(m_currentLock);
    return m_current;
}
