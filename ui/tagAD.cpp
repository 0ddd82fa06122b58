#include "ui/tagAD.h"

#include <climits>
#include <cstdio>
#include <cwchar>
#include <cwctype>

namespace ad_xml {

int ReadInt(const wchar_t* text)
{
    if (!text)
        return 0;
    bool negative = false;
    if (*text == L'-' || *text == L'+')
        negative = *text++ == L'-';
    long long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        value = value * 10 + (*text - L'0');
        if (value > INT_MAX)   // the server's text never overflows an int of ours
            return negative ? INT_MIN : INT_MAX;
    }
    return static_cast<int>(negative ? -value : value);
}

bool NameIs(const wchar_t* name, const wchar_t* wanted)
{
    return _wcsicmp(name, wanted) == 0;
}

std::wstring NodeText(IXMLDOMNode* node)
{
    BSTR text = nullptr;
    if (!node || FAILED(node->get_text(&text)) || !text)
        return std::wstring();
    std::wstring result(text, SysStringLen(text));
    SysFreeString(text);
    return result;
}

bool SetAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& value)
{
    BSTR bstrName = SysAllocString(name);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    HRESULT hr = element->setAttribute(bstrName, v);
    VariantClear(&v);
    SysFreeString(bstrName);
    return SUCCEEDED(hr);
}

} // namespace ad_xml

using namespace ad_xml;

namespace {

std::wstring Format(const wchar_t* format, int a)
{
    wchar_t text[32];
    std::swprintf(text, 32, format, a);
    return text;
}

std::wstring Pair(int a, int b)
{
    wchar_t text[32];
    std::swprintf(text, 32, L"%d,%d", a, b);
    return text;
}

// "%d,%d": what matches is taken, the rest keeps its value.
void ReadPair(const wchar_t* value, int& a, int& b)
{
    std::swscanf(value, L"%d,%d", &a, &b);
}

} // namespace

bool _tagAD::Save(IXMLDOMElement* element) const
{
    if (!element)
        return false;
    return SetAttribute(element, L"text", text) &&
           SetAttribute(element, L"clr", Format(L"#%06X", colour));
}

bool _tagAD::Load(IXMLDOMNamedNodeMap* attributes)
{
    ForEachAttribute(attributes, [this](const wchar_t* name, const wchar_t* value) {
        if (NameIs(name, L"text")) {
            text = value;
        } else if (NameIs(name, L"clr")) {
            unsigned int read = 0;
            // "#" and up to six hexadecimal digits; anything else keeps black.
            if (std::swscanf(value, L"#%6X", &read) == 1)
                colour = static_cast<int>(read);
        }
    });
    return true;
}

bool _tagAD::LoadFromNode(IXMLDOMNode* node)
{
    IXMLDOMNamedNodeMap* attributes = nullptr;
    if (!node || FAILED(node->get_attributes(&attributes)) || !attributes)
        return false;
    link = NodeText(node);
    bool loaded = Load(attributes);
    attributes->Release();
    return loaded;
}

bool _tagVideoAD::Save(IXMLDOMElement* element) const
{
    return _tagAD::Save(element) && SetAttribute(element, L"size", Pair(width, height)) &&
           SetAttribute(element, L"pos", Pair(x, y)) &&
           SetAttribute(element, L"dur", Format(L"%d", duration)) &&
           SetAttribute(element, L"dly", Format(L"%d", delay)) &&
           SetAttribute(element, L"rpx", Format(L"%d", absolute));
}

bool _tagVideoAD::Load(IXMLDOMNamedNodeMap* attributes)
{
    _tagAD::Load(attributes);
    ForEachAttribute(attributes, [this](const wchar_t* name, const wchar_t* value) {
        if (NameIs(name, L"size"))
            ReadPair(value, width, height);
        else if (NameIs(name, L"pos"))
            ReadPair(value, x, y);
        else if (NameIs(name, L"dur"))
            duration = ReadInt(value);
        else if (NameIs(name, L"dly"))
            delay = ReadInt(value);
        else if (NameIs(name, L"rpx"))
            absolute = ReadInt(value);
    });
    return true;
}

void _tagVideoAD::PlaceIn(RECT& rect) const
{
    if (IsRectEmpty(&rect))
        return;
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    RECT placed;
    if (absolute) {
        placed.left = x < 0 ? rect.right + x : rect.left + x;
        placed.top = y < 0 ? rect.bottom + y : rect.top + y;
        placed.right = placed.left + width;
        placed.bottom = placed.top + height;
    } else {
        // Percent of the window's size, from its client origin.
        placed.left = x * w / 100;
        placed.top = y * h / 100;
        placed.right = placed.left + width * w / 100;
        placed.bottom = placed.top + height * h / 100;
    }
    rect = placed;
}
