#include "ui/ADSettings.h"

#include "ui/tagAD.h"

void _tagADSetting::LoadFromNode(IXMLDOMNode* node)
{
    std::wstring wide = ad_xml::NodeText(node);
    int size = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                   nullptr, 0, nullptr, nullptr);
    face.assign(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &face[0],
                            size, nullptr, nullptr);
    IXMLDOMNamedNodeMap* attributes = nullptr;
    if (FAILED(node->get_attributes(&attributes)) || !attributes)
        return;
    ad_xml::ForEachAttribute(attributes, [this](const wchar_t* name, const wchar_t* value) {
        using ad_xml::NameIs;
        const int number = ad_xml::ReadInt(value);
        if (NameIs(name, L"fhgt"))
            height = number;
        else if (NameIs(name, L"fset"))
            charset = static_cast<BYTE>(number);
        else if (NameIs(name, L"fpch"))
            pitchAndFamily = static_cast<BYTE>(number);
        else if (NameIs(name, L"smd"))
            scrollMode = static_cast<BYTE>(number);
        else if (NameIs(name, L"spt"))
            pause = number;
        else if (NameIs(name, L"staytime"))
            stayTime = number;
        else if (NameIs(name, L"spix"))
            speed = number;
    });
    attributes->Release();
}

bool _tagADSetting::IsSet() const
{
    return (!face.empty() && height != 0) || scrollMode != 0 || pause != 0 || stayTime != 5 ||
           speed != 25;
}
