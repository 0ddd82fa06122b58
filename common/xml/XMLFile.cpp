#include "common/xml/XMLFile.h"

#include "common/xml/MsXml3Ids.h"

CXMLFile::CXMLFile() : m_document(nullptr) {}

CXMLFile::~CXMLFile()
{
    if (m_document)
        m_document->Release();
}

bool CXMLFile::LoadXML(const wchar_t* text)
{
    if (!m_document &&
        FAILED(CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_ALL, kIidXmlDomDocument2,
                                reinterpret_cast<void**>(&m_document)))) {
        m_document = nullptr;
        return false;
    }
    BSTR source = SysAllocString(text ? text : L"");
    VARIANT_BOOL loaded = VARIANT_FALSE;
    HRESULT hr = m_document->loadXML(source, &loaded);
    SysFreeString(source);
    // The parse error is not reported: callers only learn that the text failed.
    return SUCCEEDED(hr) && loaded == VARIANT_TRUE;
}

IXMLDOMElement* CXMLFile::GetRoot()
{
    IXMLDOMElement* root = nullptr;
    if (!m_document || FAILED(m_document->get_documentElement(&root)))
        return nullptr;
    return root;
}
