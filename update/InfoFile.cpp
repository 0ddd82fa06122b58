#include "update/InfoFile.h"

namespace upkeep {

namespace {

// Leading decimal digits of a text, saturated so a long run cannot wrap.
unsigned long long LeadingNumber(const std::wstring& text, size_t from, size_t to)
{
    const unsigned long long kLimit = 0xFFFFFFFFull;
    unsigned long long value = 0;
    while (from < to && (text[from] == L' ' || text[from] == L'\t'))
        ++from;
    for (size_t i = from; i < to && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value >= kLimit ? kLimit : value * 10 + (text[i] - L'0');
    return value;
}

// A type field is read as a signed decimal number whose low byte is kept.
unsigned char TypeByte(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
        ++i;
    bool negative = i < text.size() && text[i] == L'-';
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+'))
        ++i;
    unsigned value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
        value = value * 10 + static_cast<unsigned>(text[i] - L'0');
    return static_cast<unsigned char>(negative ? 0u - value : value);
}

}  // namespace

bool SplitInfoLines(const std::string& bytes, std::vector<std::string>& lines)
{
    lines.clear();
    size_t start = 0;
    for (;;) {
        size_t end = bytes.find('\n', start);
        bool last = end == std::string::npos;
        std::string line = bytes.substr(start, last ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() + 1 >= kMaxInfoLineBytes)
            return false;
        if (last && line.empty() && lines.size() == kMaxInfoLines)
            return true;
        if (lines.size() == kMaxInfoLines)
            return false;
        lines.push_back(line);
        if (last)
            return true;
        start = end + 1;
    }
}

InfoLine ParseInfoLine(const std::wstring& line)
{
    std::vector<std::wstring> values;
    size_t start = 0;
    for (;;) {
        size_t end = line.find(L'&', start);
        std::wstring field = line.substr(start, end == std::wstring::npos ? end : end - start);
        size_t equals = field.find(L'=');
        if (equals != std::wstring::npos)
            values.push_back(field.substr(equals + 1));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }

    InfoLine parsed;
    if (values.empty())
        return parsed;
    parsed.package = values[0];
    size_t tail = values.size() - 1;  // fields after the first
    if (tail >= 1)
        parsed.type = TypeByte(values[values.size() - 1]);
    if (tail >= 2)
        parsed.version = values[values.size() - 2];
    if (tail >= 3)
        parsed.localPath = values[values.size() - 3];
    return parsed;
}

bool IsNewerVersion(const std::wstring& announced, const LocalVersion& local)
{
    size_t start = 0;
    for (int part = 0; part < 3; ++part) {
        size_t dot = announced.find(L'.', start);
        if (dot == std::wstring::npos)
            return false;
        unsigned long long value = LeadingNumber(announced, start, dot);
        if (value != local.part[part])
            return value > local.part[part];
        start = dot + 1;
    }
    return false;
}

}  // namespace upkeep
