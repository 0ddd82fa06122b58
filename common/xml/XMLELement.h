#pragma once

#include <string>

namespace tool {

// Plain text search for the short tagged replies of the content server:
// no parsing, no attributes, entities, CDATA or nesting. Windows-free.
class XMLELement {
public:
    void SetText(const std::wstring& text) { m_text = text; }
    const std::wstring& GetText() const { return m_text; }

    // The characters between the first start marker and the first end marker
    // after it, untrimmed; empty when either is null or absent.
    std::wstring GetBetween(const wchar_t* start, const wchar_t* end) const;
    // out receives GetBetween("<key>", "</key>").
    void GetTagValue(const wchar_t* key, std::wstring& out) const;

    static std::wstring MakeOpenTag(const wchar_t* key);
    static std::wstring MakeCloseTag(const wchar_t* key);

private:
    std::wstring m_text;
};

} // namespace tool
