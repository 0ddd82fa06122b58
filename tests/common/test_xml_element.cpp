#include <gtest/gtest.h>

#include <string>

#include "common/xml/ConfigHelper.h"

TEST(XMLELement, TagValues)
{
    struct {
        const wchar_t* text;
        const wchar_t* key;
        const wchar_t* value;
    } cases[] = {
        {L"<a>1</a><a>2</a>", L"a", L"1"},                         // the first match
        {L"<r><result> ok \r\n</result></r>", L"result", L" ok \r\n"}, // no trimming
        {L"</a>x<a>", L"a", L""},                                  // closing tag only before
        {L"<a>1", L"a", L""},                                      // no closing tag
        {L"<a x=\"1\">v</a>", L"a", L""},                          // attributes are not read
        {L"<a><a>in</a></a>", L"a", L"<a>in"},                     // nesting is not read
        {L"<a>&amp;</a>", L"a", L"&amp;"},                         // nor entities
        {L"<A>1</A>", L"a", L""},                                  // case-sensitive
        {L"<login>success</login><reason></reason>", L"reason", L""},
        {L"<ab>1</ab><a>2</a>", L"a", L"2"},
    };
    tool::ConfigHelper helper;
    for (const auto& c : cases) {
        helper.SetText(c.text);
        std::wstring value = L"stale";
        helper.GetTagValue(c.key, value);
        EXPECT_EQ(value, c.value) << "key " << std::string(c.key, c.key + wcslen(c.key));
    }
}

TEST(XMLELement, GetBetweenMarkers)
{
    tool::XMLELement element;
    element.SetText(L"x=[1] y=[2]");
    EXPECT_EQ(element.GetBetween(L"y=[", L"]"), L"2");
    EXPECT_EQ(element.GetBetween(L"[", L"]"), L"1");
    EXPECT_EQ(element.GetBetween(L"z=[", L"]"), L"");
    EXPECT_EQ(element.GetBetween(L"y=[", L"}"), L"");
    EXPECT_EQ(element.GetBetween(nullptr, L"]"), L"");
    EXPECT_EQ(element.GetBetween(L"[", nullptr), L"");
    EXPECT_EQ(tool::XMLELement::MakeOpenTag(L"cid"), L"<cid>");
    EXPECT_EQ(tool::XMLELement::MakeCloseTag(L"cid"), L"</cid>");
}
