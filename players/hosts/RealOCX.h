#pragma once

#include "players/hosts/PendingHost.h"

// The host of the RealPlayer control; its creation fails until it is built.
class CRealOCX : public CPendingHost {
public:
    using CPendingHost::CPendingHost;
};
