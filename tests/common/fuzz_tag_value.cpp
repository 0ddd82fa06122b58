// tool::XMLELement over any reply text: the first line is the key, the rest
// the text; a value found is the text between its tags, never beyond it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/xml/XMLELement.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::wstring input(data, data + size);
    std::wstring::size_type split = input.find(L'\n');
    std::wstring key = input.substr(0, split);
    key = key.substr(0, key.find(L'\0'));   // the key is a C string
    std::wstring text = split == std::wstring::npos ? std::wstring() : input.substr(split + 1);

    tool::XMLELement element;
    element.SetText(text);
    std::wstring value;
    element.GetTagValue(key.c_str(), value);
    std::wstring open = L"<" + key + L">";
    std::wstring::size_type at = text.find(open);
    if (value.empty())
        return 0;
    if (at == std::wstring::npos || text.compare(at + open.size(), value.size(), value) != 0 ||
        text.compare(at + open.size() + value.size(), key.size() + 3, L"</" + key + L">") != 0)
        std::abort();
    return 0;
}
