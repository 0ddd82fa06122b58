#pragma once

#include <windows.h>
#include <msxml2.h>

// An XML document parsed by the platform's MSXML 3.0 DOM (the advertisement
// description). Used from the owner's single-threaded apartment.
class CXMLFile {
public:
    CXMLFile();
    virtual ~CXMLFile();
    CXMLFile(const CXMLFile&) = delete;
    CXMLFile& operator=(const CXMLFile&) = delete;

    // Creates the document on first use; a later load replaces the content.
    // False when MSXML 3.0 is missing or the text is not well-formed.
    bool LoadXML(const wchar_t* text);
    // The document element, or null; the caller releases it.
    IXMLDOMElement* GetRoot();

private:
    IXMLDOMDocument2* m_document;
};
