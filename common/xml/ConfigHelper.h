#pragma once

#include "common/xml/XMLELement.h"

namespace tool {

// The tag reader the control's dialogs hold; nothing of its own.
class ConfigHelper : public XMLELement {
public:
    virtual ~ConfigHelper() = default;
};

} // namespace tool
