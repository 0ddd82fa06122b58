#pragma once

#include "players/hosts/PendingHost.h"

// The host of the VLC control; its creation fails until it is built.
class CVLCOCX : public CPendingHost {
public:
    using CPendingHost::CPendingHost;
};
