#pragma once

// The network core options the drivers share: --nat HOST:PORT, --stun TEXT,
// --login-interval MS, --logout-interval MS, --keepalive S.
#include <string>

#include "net/PropertyMap.h"

// "HOST:PORT" split at its last colon; false without one.
inline bool SplitHostPort(const std::string& value, std::string& host, std::string& port) {
    const std::string::size_type colon = value.rfind(':');
    if (colon == std::string::npos)
        return false;
    host = value.substr(0, colon);
    port = value.substr(colon + 1);
    return true;
}

// --nat HOST:PORT as core properties; false without a port.
inline bool ReadNatOption(const std::string& value, PropertyMap& properties) {
    std::string host, port;
    if (!SplitHostPort(value, host, port))
        return false;
    properties[PPN_PROP_NAT_SERVER] = host;
    properties[PPN_PROP_NAT_PORT] = port;
    return true;
}

// The options as core properties; false on an unknown option or a --nat
// without a port.
inline bool ReadCoreOptions(int argc, char** argv, PropertyMap& properties) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--nat") {
            if (!ReadNatOption(value, properties))
                return false;
        } else if (option == "--stun") {
            properties[PPN_PROP_STUN_SERVER] = value;
        } else if (option == "--login-interval") {
            properties[PPN_PROP_LOGIN_INTERVAL] = value;
        } else if (option == "--logout-interval") {
            properties[PPN_PROP_LOGOUT_INTERVAL] = value;
        } else if (option == "--keepalive") {
            properties[PPN_PROP_KEEPALIVE_INTERVAL] = value;
        } else {
            return false;
        }
    }
    return true;
}
