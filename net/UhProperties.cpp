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

bool ApplyUhProperties(const PropertyMap& properties, UHCore& core) {
    std::string host, port;
    std::uint32_t address;
    if (!GetPropertyValue(properties, PPN_PROP_NAT_SERVER, host) ||
        !GetPropertyValue(properties, PPN_PROP_NAT_PORT, port) || !ResolveHost(host, address))
        return false;
    core.SetNatServer(address, htons(static_cast<std::uint16_t>(std::atoi(port.c_str()))));

    std::string stun;
    if (GetPropertyValue(properties, PPN_PROP_STUN_SERVER, stun))
        core.SetStunServer(stun);
    if (properties.count(PPN_PROP_PORT_HIGH) && properties.count(PPN_PROP_PORT_LOW))
        core.SetPortRange(static_cast<std::uint16_t>(Number(properties, PPN_PROP_PORT_HIGH)),
                          static_cast<std::uint16_t>(Number(properties, PPN_PROP_PORT_LOW)));
    if (const int ms = Number(properties, PPN_PROP_LOGIN_INTERVAL))
        core.SetLoginInterval(static_cast<unsigned>(ms));
    if (const int ms = Number(properties, PPN_PROP_LOGOUT_INTERVAL))
        core.SetLogoutInterval(static_cast<unsigned>(ms));
    if (const int s = Number(properties, PPN_PROP_KEEPALIVE_INTERVAL))
        core.SetKeepaliveInterval(static_cast<unsigned>(s));
    return true;
}

}  // namespace uh
