#include "ui/CADSet.h"

#include <cwchar>

#include "common/xml/XMLFile.h"
#include "ui/ADClock.h"

namespace {

// The element children of node, in document order.
template <class Visit>
void ForEachChild(IXMLDOMNode* node, Visit visit)
{
    IXMLDOMNode* child = nullptr;
    if (FAILED(node->get_firstChild(&child)))
        return;
    while (child) {
        visit(child);
        IXMLDOMNode* next = nullptr;
        if (FAILED(child->get_nextSibling(&next)))
            next = nullptr;
        child->Release();
        child = next;
    }
}

bool IsElement(IXMLDOMNode* node)
{
    DOMNodeType type = NODE_INVALID;
    return SUCCEEDED(node->get_nodeType(&type)) && type == NODE_ELEMENT;
}

std::wstring NodeName(IXMLDOMNode* node)
{
    BSTR name = nullptr;
    if (FAILED(node->get_nodeName(&name)) || !name)
        return std::wstring();
    std::wstring result(name, SysStringLen(name));
    SysFreeString(name);
    return result;
}

} // namespace

bool CADSet::LoadXml(const wchar_t* text)
{
    CXMLFile file;
    if (!file.LoadXML(text))
        return false;
    IXMLDOMElement* root = file.GetRoot();
    if (!root)
        return false;
    bool isAd = NodeName(root) == L"ad";
    if (isAd) {
        ForEachChild(root, [this](IXMLDOMNode* child) {
            if (IsElement(child))
                ReadChild(child, NodeName(child).c_str());
        });
    }
    root->Release();
    return isAd;
}

void CADSet::ReadChild(IXMLDOMNode* child, const wchar_t* name)
{
    if (std::wcscmp(name, L"wndtime") == 0)
        overlayInterval = ad_xml::ReadInt(ad_xml::NodeText(child).c_str());
    else if (std::wcscmp(name, L"videotime") == 0)
        videoInterval = ad_xml::ReadInt(ad_xml::NodeText(child).c_str());
    else if (std::wcscmp(name, L"pad") == 0)
        ReadItems(child, paneAds);
    else if (std::wcscmp(name, L"wad") == 0)
        ReadItems(child, overlayAds);
    else if (std::wcscmp(name, L"vad") == 0)
        ReadItems(child, videoAds);
    else if (std::wcscmp(name, L"pset") == 0)
        paneSettings.LoadFromNode(child);
    else if (std::wcscmp(name, L"wset") == 0)
        overlaySettings.LoadFromNode(child);
}

template <class Item>
void CADSet::ReadItems(IXMLDOMNode* list, std::vector<Item>& items)
{
    ForEachChild(list, [&items](IXMLDOMNode* child) {
        Item item;
        if (IsElement(child) && item.LoadFromNode(child))
            items.push_back(item);
    });
}

LONG CADSet::AddRef()
{
    return InterlockedIncrement(&refs);
}

LONG CADSet::Release()
{
    LONG left = InterlockedDecrement(&refs);
    if (left <= 0)
        delete this;
    return left;
}

int CADSet::IsOverlayTime() const
{
    if (overlayAds.empty())
        return 0;
    return ADClock::Now() - overlayFinished >= overlayInterval ? 1 : 0;
}
