// Feeds arbitrary bytes through the information file's reader the way the
// update library does: split into lines, widen, parse, compare.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "update/InfoFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    if (!upkeep::SplitInfoLines(std::string(reinterpret_cast<const char*>(data), size), lines))
        return 0;
    if (lines.size() > upkeep::kMaxInfoLines)
        __builtin_trap();
    upkeep::LocalVersion local;
    local.part[0] = 1;
    local.part[1] = 300;
    for (const std::string& line : lines) {
        if (line.size() + 1 >= upkeep::kMaxInfoLineBytes)
            __builtin_trap();
        upkeep::InfoLine parsed = upkeep::ParseInfoLine(std::wstring(line.begin(), line.end()));
        if (parsed.package.size() > line.size() || parsed.version.size() > line.size())
            __builtin_trap();
        upkeep::IsNewerVersion(parsed.version, local);
    }
    return 0;
}
