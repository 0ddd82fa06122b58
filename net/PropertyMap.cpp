#include "net/PropertyMap.h"

bool GetPropertyValue(const PropertyMap& map, int id, std::string& value) {
    const PropertyMap::const_iterator it = map.find(id);
    if (it == map.end())
        return false;
    value = it->second;
    return true;
}
