#include "net/MakePeerId.h"

#include <cstdlib>
#include <ctime>

#include "net/HostIdentity.h"

PeerId MakePeerId(std::uint16_t port) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    std::string hardware;
    if (GetAdapterMacHex(hardware, 0))
        return ComposePeerId(&hardware, port);
    return ComposePeerId(nullptr, port);
}
