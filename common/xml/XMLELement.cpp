#include "common/xml/XMLELement.h"

namespace tool {

std::wstring XMLELement::GetBetween(const wchar_t* start, const wchar_t* end) const
{
    if (!start || !end)
        return std::wstring();
    std::wstring::size_type from = m_text.find(start);
    if (from == std::wstring::npos)
        return std::wstring();
    from += std::char_traits<wchar_t>::length(start);
    std::wstring::size_type to = m_text.find(end, from);
    if (to == std::wstring::npos)
        return std::wstring();
    return m_text.substr(from, to - from);
}

void XMLELement::GetTagValue(const wchar_t* key, std::wstring& out) const
{
    out = GetBetween(MakeOpenTag(key).c_str(), MakeCloseTag(key).c_str());
}

std::wstring XMLELement::MakeOpenTag(const wchar_t* key)
{
    return L"<" + std::wstring(key ? key : L"") + L">";
}

std::wstring XMLELement::MakeCloseTag(const wchar_t* key)
{
    return L"</" + std::wstring(key ? key : L"") + L">";
}

} // namespace tool
