#include "net/UhProperties.h"

#include <cstdlib>
#include <cstring>

#include "net/UHCore.h"

namespace uh {

namespace {

bool ResolveHost(const std::string& host, std::uint32_t& address) {
    address = inet_addr(host.c_str());
    if (address != INADDR_NONE)
        return true;
    const hostent* h = gethostbyname(host.c_str());
    if (!h || h->h_addrtype != AF_INET || !h->h_addr_list[0])
        return false;
    std::memcpy(&address, h->h_addr_list[0], 4);
    return true;
}

// atoi as the settings are read: text that is not a number gives 0.
int Number(const PropertyMap& properties, int id) {
    std::string text;
    return GetPropertyValue(properties, id, text) ? std::atoi(text.c_str()) : 0;
}

}  // namespace

bool ReadUhSettings(const PropertyMap& properties, UhSettings& settings) {
    std::string host, port;
    if (!GetPropertyValue(properties, PPN_PROP_NAT_SERVER, host) ||
        !GetPropertyValue(properties, PPN_PROP_NAT_PORT, port) || !ResolveHost(host, settings.natServerIp))
        return false;
    settings.natServerPort = htons(static_cast<std::uint16_t>(std::atoi(port.c_str())));
    settings.hasStunServer = GetPropertyValue(properties, PPN_PROP_STUN_SERVER, settings.stunServer);
    settings.portHigh = static_cast<std::uint16_t>(Number(properties, PPN_PROP_PORT_HIGH));
    settings.portLow = static_cast<std::uint16_t>(Number(properties, PPN_PROP_PORT_LOW));
    settings.hasPortRange = properties.count(PPN_PROP_PORT_HIGH) && properties.count(PPN_PROP_PORT_LOW) &&
                            settings.portHigh >= settings.portLow;
    settings.loginIntervalMs = static_cast<unsigned>(Number(properties, PPN_PROP_LOGIN_INTERVAL));
    settings.logoutIntervalMs = static_cast<unsigned>(Number(properties, PPN_PROP_LOGOUT_INTERVAL));
    settings.keepaliveSeconds = static_cast<unsigned>(Number(properties, PPN_PROP_KEEPALIVE_INTERVAL));
    return true;
}

void ApplyUhSettings(const UhSettings& s, UHCore& core) {
    core.SetNatServer(s.natServerIp, s.natServerPort);
    if (s.hasStunServer)
        core.SetStunServer(s.stunServer);
    if (s.hasPortRange)
        core.SetPortRange(s.portHigh, s.portLow);
    if (s.loginIntervalMs != 0)
        core.SetLoginInterval(s.loginIntervalMs);
    if (s.logoutIntervalMs != 0)
        core.SetLogoutInterval(s.logoutIntervalMs);
    if (s.keepaliveSeconds != 0)
        core.SetKeepaliveInterval(s.keepaliveSeconds);
}

}  // namespace uh
