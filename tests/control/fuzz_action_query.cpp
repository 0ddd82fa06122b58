// The page's texts the control parses: the content query on the first line,
// the NAT server on the second, the port range on the third.
#include <cstdint>
#include <string>

#include "control/ControlRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t first = input.find('\n');
    const std::size_t second = first == std::string::npos ? first : input.find('\n', first + 1);
    const std::string query = input.substr(0, first);
    const std::string nat = first == std::string::npos ? std::string() : input.substr(first + 1, second - first - 1);
    const std::string range = second == std::string::npos ? std::string() : input.substr(second + 1);

    control_rules::Action action;
    control_rules::ParseAction(std::wstring(query.begin(), query.end()), action);
    std::string host;
    std::uint16_t port = 0;
    control_rules::ParseNat(nat, host, port);
    if (host.empty() || port == 0)
        __builtin_trap();
    int low = 0, high = 0;
    control_rules::ParsePortRange(std::wstring(range.begin(), range.end()), low, high);
    control_rules::ReferrerOf(std::wstring(query.begin(), query.end()));
    return 0;
}
