#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>

// One text advertisement: the words shown, their colour and the address a
// click opens (for a video ad, the media address played).
struct _tagAD {
    _tagAD() = default;
    _tagAD(const _tagAD&) = default;
    _tagAD& operator=(const _tagAD&) = default;
    virtual ~_tagAD() = default;

    virtual bool Save(IXMLDOMElement* element) const;
    // Walks every attribute; unknown names are ignored.
    virtual bool Load(IXMLDOMNamedNodeMap* attributes);
    // The link is the node's text, the rest its attributes. False for a node
    // without attributes (text, comments), which is no item.
    bool LoadFromNode(IXMLDOMNode* node);

    int colour = 0;   // a COLORREF, taken from the description unchanged
    std::wstring text;
    std::wstring link;
};

// One video advertisement: where it plays inside the video window and for
// how long.
struct _tagVideoAD : _tagAD {
    bool Save(IXMLDOMElement* element) const override;
    bool Load(IXMLDOMNamedNodeMap* attributes) override;
    // Turns the video window's rectangle into this ad's; an empty one stays.
    void PlaceIn(RECT& rect) const;

    int width = 0, height = 0;
    int x = 0, y = 0;
    int delay = 0;      // seconds after the ad before the next one
    int duration = 0;   // seconds the ad plays
    int absolute = 1;   // non-zero: pixels; 0: percent of the video window
};

// Attribute and number readers shared by the description's records.
namespace ad_xml {
// A number's leading decimal digits, an optional sign first; 0 without any.
int ReadInt(const wchar_t* text);
// Calls visit(name, value) for each attribute of the map.
template <class Visit>
void ForEachAttribute(IXMLDOMNamedNodeMap* attributes, Visit visit);
bool NameIs(const wchar_t* name, const wchar_t* wanted);
std::wstring NodeText(IXMLDOMNode* node);
bool SetAttribute(IXMLDOMElement* element, const wchar_t* name, const std::wstring& value);
} // namespace ad_xml

template <class Visit>
void ad_xml::ForEachAttribute(IXMLDOMNamedNodeMap* attributes, Visit visit)
{
    long count = 0;
    if (!attributes || FAILED(attributes->get_length(&count)))
        return;
    for (long i = 0; i < count; ++i) {
        IXMLDOMNode* attribute = nullptr;
        if (FAILED(attributes->get_item(i, &attribute)) || !attribute)
            continue;
        BSTR name = nullptr;
        attribute->get_nodeName(&name);
        std::wstring value = NodeText(attribute);
        visit(name ? name : L"", value.c_str());
        SysFreeString(name);
        attribute->Release();
    }
}
