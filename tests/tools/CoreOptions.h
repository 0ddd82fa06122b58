#pragma once

// The network core options the drivers share: --nat HOST:PORT, --stun TEXT,
// --login-interval MS, --logout-interval MS, --keepalive S.
#include <string>

#include "net/PropertyMap.h"

// The options as core properties; false on an unknown option or a --nat
// without a port.
inline bool ReadCoreOptions(int argc, char** argv, PropertyMap& properties) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--nat") {
            const std::string::size_type colon = value.find(':');
            if (colon == std::string::npos)
                return false;
            properties[PPN_PROP_NAT_SERVER] = value.substr(0, colon);
            properties[PPN_PROP_NAT_PORT] = value.substr(colon + 1);
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
