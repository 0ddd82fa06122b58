// CXMLFile against the platform's MSXML 3.0.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/xml/XMLFile.h"

namespace {

class Apartment : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }

    static std::wstring RootName(CXMLFile& file)
    {
        IXMLDOMElement* root = file.GetRoot();
        if (!root)
            return L"(none)";
        BSTR name = nullptr;
        root->get_tagName(&name);
        std::wstring text = name ? name : L"";
        SysFreeString(name);
        root->Release();
        return text;
    }
};

} // namespace

TEST_F(Apartment, NoRootBeforeTheFirstLoad)
{
    CXMLFile file;
    EXPECT_EQ(file.GetRoot(), nullptr);
}

TEST_F(Apartment, LoadsParsesAndReplaces)
{
    CXMLFile file;
    ASSERT_TRUE(file.LoadXML(L"<?xml version=\"1.0\"?><adset><ad id=\"1\">x</ad></adset>"));
    EXPECT_EQ(RootName(file), L"adset");

    IXMLDOMElement* root = file.GetRoot();
    ASSERT_NE(root, nullptr);
    IXMLDOMNode* ad = nullptr;
    BSTR query = SysAllocString(L"ad");
    ASSERT_EQ(root->selectSingleNode(query, &ad), S_OK);
    SysFreeString(query);
    BSTR text = nullptr;
    ad->get_text(&text);
    EXPECT_STREQ(text, L"x");
    SysFreeString(text);
    ad->Release();
    root->Release();

    ASSERT_TRUE(file.LoadXML(L"<other/>"));
    EXPECT_EQ(RootName(file), L"other");
}

// Malformed text gives false; the same object loads the next text.
TEST_F(Apartment, MalformedTextFailsAndTheObjectStaysUsable)
{
    CXMLFile file;
    for (const wchar_t* bad : {L"<a><b></a>", L"<a>", L"", L"not xml", L"<a></a><b></b>"}) {
        EXPECT_FALSE(file.LoadXML(bad));
        EXPECT_FALSE(file.LoadXML(nullptr));
        ASSERT_TRUE(file.LoadXML(L"<ok/>"));
        EXPECT_EQ(RootName(file), L"ok");
    }
}
