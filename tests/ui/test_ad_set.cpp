// The advertisement description: parsing rules, placement and the overlay's
// schedule, against the platform's MSXML 3.0.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/xml/XMLFile.h"
#include "ui/ADClock.h"
#include "ui/CADSet.h"

namespace {

class AdSetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override
    {
        ADClock::Set(0);
        CoUninitialize();
    }
};

// Owns one reference for the length of a test.
struct Set {
    Set() : set(new CADSet) {}
    ~Set() { set->Release(); }
    CADSet* operator->() { return set; }
    CADSet* set;
};

TEST_F(AdSetTest, RefusesTextThatIsNoAdDescription)
{
    const wchar_t* refused[] = {
        L"", L"<ad>", L"not xml at all", L"<AD><wndtime>5</wndtime></AD>",
        L"<root><ad/></root>", L"<ads/>",
    };
    for (const wchar_t* text : refused) {
        Set set;
        EXPECT_FALSE(set->LoadXml(text)) << text;
    }
    Set empty;
    EXPECT_TRUE(empty->LoadXml(L"<ad><unknown/>text</ad>"));
    EXPECT_TRUE(empty->paneAds.empty());
}

TEST_F(AdSetTest, ReadsTheWholeDescription)
{
    Set set;
    ASSERT_TRUE(set->LoadXml(
        L"<ad><wndtime>60</wndtime><videotime>300</videotime>"
        L"<pad><a text='first' clr='#0000FF'>http://127.0.0.1/one</a>"
        L"<b TEXT='second' Clr='#00FF00'>http://127.0.0.1/two</b></pad>"
        L"<pset spix='40' SPT='3' fhgt='-14' fset='134' fpch='2' smd='1' staytime='7'>Arial</pset>"
        L"<wset>Courier</wset>"
        L"<vad><v size='30,30' pos='-10,10' dur='15' dly='5' rpx='0' text='v' clr='#102030'>"
        L"http://127.0.0.1/ad.flv</v></vad></ad>"));
    EXPECT_EQ(set->overlayInterval, 60);
    EXPECT_EQ(set->videoInterval, 300);
    ASSERT_EQ(set->paneAds.size(), 2u);
    EXPECT_EQ(set->paneAds[0].text, L"first");
    EXPECT_EQ(set->paneAds[0].colour, 0x0000FF);   // used unchanged: red as a COLORREF
    EXPECT_EQ(set->paneAds[0].link, L"http://127.0.0.1/one");
    EXPECT_EQ(set->paneAds[1].text, L"second");      // attribute names in any case
    EXPECT_EQ(set->paneAds[1].colour, 0x00FF00);
    const _tagADSetting& p = set->paneSettings;
    EXPECT_EQ(p.face, "Arial");
    EXPECT_EQ(p.speed, 40);
    EXPECT_EQ(p.pause, 3);
    EXPECT_EQ(p.height, -14);
    EXPECT_EQ(p.charset, 134);
    EXPECT_EQ(p.pitchAndFamily, 2);
    EXPECT_EQ(p.scrollMode, 1);
    EXPECT_EQ(p.stayTime, 7);
    EXPECT_EQ(set->overlaySettings.face, "Courier");
    EXPECT_EQ(set->overlaySettings.speed, 25);
    ASSERT_EQ(set->videoAds.size(), 1u);
    const _tagVideoAD& v = set->videoAds[0];
    EXPECT_EQ(v.width, 30);
    EXPECT_EQ(v.height, 30);
    EXPECT_EQ(v.x, -10);
    EXPECT_EQ(v.y, 10);
    EXPECT_EQ(v.duration, 15);
    EXPECT_EQ(v.delay, 5);
    EXPECT_EQ(v.absolute, 0);
    EXPECT_EQ(v.colour, 0x102030);
    EXPECT_EQ(v.link, L"http://127.0.0.1/ad.flv");
}

TEST_F(AdSetTest, ElementNamesKeepTheirCaseAndRepeatsAreReadAgain)
{
    Set set;
    ASSERT_TRUE(set->LoadXml(
        L"<ad><wndtime>10</wndtime><WndTime>99</WndTime><wndtime>20</wndtime>"
        L"<pad><i text='a'/></pad><PAD><i text='ignored'/></PAD><pad><i text='b'/>"
        L"<!-- a comment is no item -->loose text<i/></pad></ad>"));
    EXPECT_EQ(set->overlayInterval, 20);
    ASSERT_EQ(set->paneAds.size(), 3u);
    EXPECT_EQ(set->paneAds[0].text, L"a");
    EXPECT_EQ(set->paneAds[1].text, L"b");
    EXPECT_EQ(set->paneAds[2].text, L"");   // no "text": still an item
    EXPECT_EQ(set->paneAds[2].link, L"");
}

TEST_F(AdSetTest, NumbersAndColoursAsTheServerWritesThem)
{
    struct Case {
        const wchar_t* wndtime;
        int interval;
        const wchar_t* clr;
        int colour;
    };
    const Case cases[] = {
        {L"45s", 45, L"#0000FF", 0x0000FF},
        {L"-7", -7, L"#ffffff", 0xFFFFFF},
        {L"+8", 8, L"0000FF", 0},          // no "#"
        {L"x12", 0, L"#GG0000", 0},
        {L"", 0, L"", 0},
        {L"99999999999", 2147483647, L"#1234567", 0x123456},   // six digits at most
    };
    for (const Case& c : cases) {
        Set set;
        std::wstring xml = std::wstring(L"<ad><wndtime>") + c.wndtime + L"</wndtime><wad><i clr='" +
                           c.clr + L"'/></wad></ad>";
        ASSERT_TRUE(set->LoadXml(xml.c_str())) << xml;
        EXPECT_EQ(set->overlayInterval, c.interval) << xml;
        ASSERT_EQ(set->overlayAds.size(), 1u);
        EXPECT_EQ(set->overlayAds[0].colour, c.colour) << xml;
    }
}

TEST_F(AdSetTest, DefaultsWhereTheDescriptionIsSilent)
{
    Set set;
    ASSERT_TRUE(set->LoadXml(L"<ad><pad><i text='only'>http://x/</i></pad><vad><v/></vad></ad>"));
    EXPECT_EQ(set->refs, 1);
    EXPECT_EQ(set->overlayInterval, 0);
    EXPECT_EQ(set->videoInterval, 0);
    EXPECT_TRUE(set->overlayAds.empty());
    for (const _tagADSetting* s : {&set->paneSettings, &set->overlaySettings}) {
        EXPECT_EQ(s->speed, 25);
        EXPECT_EQ(s->stayTime, 5);
        EXPECT_EQ(s->pause, 0);
        EXPECT_EQ(s->scrollMode, 0);
        EXPECT_FALSE(s->IsSet());
    }
    ASSERT_EQ(set->videoAds.size(), 1u);
    EXPECT_EQ(set->videoAds[0].absolute, 1);
    EXPECT_EQ(set->videoAds[0].width, 0);
    EXPECT_EQ(set->IsOverlayTime(), 0);   // no overlay ads
}

TEST_F(AdSetTest, VideoAdRectangles)
{
    struct Case {
        const char* what;
        int rpx, w, h, x, y;
        RECT window;
        RECT placed;
    };
    const Case cases[] = {
        {"percent: the middle quarter", 0, 50, 50, 25, 25, {0, 0, 400, 200}, {100, 50, 300, 150}},
        {"percent ignores the window's origin", 0, 50, 50, 25, 25, {10, 20, 410, 220},
         {100, 50, 300, 150}},
        {"absolute from the right edge", 1, 30, 20, -10, 10, {100, 100, 500, 400},
         {490, 110, 520, 130}},
        {"absolute from the bottom edge", 1, 30, 20, 5, -25, {0, 0, 320, 240}, {5, 215, 35, 235}},
        {"absolute inside", 7, 30, 20, 5, 6, {10, 10, 320, 240}, {15, 16, 45, 36}},
        {"empty stays", 0, 50, 50, 25, 25, {0, 0, 0, 100}, {0, 0, 0, 100}},
        {"inverted stays", 1, 50, 50, 25, 25, {10, 10, 5, 5}, {10, 10, 5, 5}},
    };
    for (const Case& c : cases) {
        _tagVideoAD ad;
        ad.absolute = c.rpx;
        ad.width = c.w;
        ad.height = c.h;
        ad.x = c.x;
        ad.y = c.y;
        RECT r = c.window;
        ad.PlaceIn(r);
        EXPECT_TRUE(EqualRect(&r, &c.placed))
            << c.what << ": " << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    }
}

TEST_F(AdSetTest, OverlayTimeFollowsTheIntervalSinceTheLastRun)
{
    Set set;
    ASSERT_TRUE(set->LoadXml(L"<ad><wndtime>60</wndtime><wad><i text='w'/></wad></ad>"));
    ADClock::Set(1000000);
    EXPECT_EQ(set->IsOverlayTime(), 1);   // never finished
    set->overlayFinished = 1000000 - 59;
    EXPECT_EQ(set->IsOverlayTime(), 0);
    set->overlayFinished = 1000000 - 60;
    EXPECT_EQ(set->IsOverlayTime(), 1);

    Set noInterval;
    ASSERT_TRUE(noInterval->LoadXml(L"<ad><wad><i/></wad></ad>"));
    noInterval->overlayFinished = 1000000;
    EXPECT_EQ(noInterval->IsOverlayTime(), 1);   // again as soon as it finished
}

TEST_F(AdSetTest, SavedItemsReadBackTheSame)
{
    CXMLFile file;
    ASSERT_TRUE(file.LoadXML(L"<ad><vad><v/></vad></ad>"));
    IXMLDOMElement* root = file.GetRoot();
    ASSERT_TRUE(root);
    IXMLDOMNode* list = nullptr;
    ASSERT_EQ(S_OK, root->get_firstChild(&list));
    IXMLDOMNode* node = nullptr;
    ASSERT_EQ(S_OK, list->get_firstChild(&node));
    IXMLDOMElement* element = nullptr;
    ASSERT_EQ(S_OK, node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&element)));

    _tagVideoAD out;
    out.text = L"say \"hi\" & <go>";
    out.colour = 0x00ABCDEF;
    out.width = 320;
    out.height = 40;
    out.x = -5;
    out.y = 7;
    out.duration = 12;
    out.delay = 3;
    out.absolute = 0;
    ASSERT_TRUE(out.Save(element));
    _tagVideoAD in;
    ASSERT_TRUE(in.LoadFromNode(node));
    EXPECT_EQ(in.text, out.text);
    EXPECT_EQ(in.colour, out.colour);
    EXPECT_EQ(in.width, 320);
    EXPECT_EQ(in.height, 40);
    EXPECT_EQ(in.x, -5);
    EXPECT_EQ(in.y, 7);
    EXPECT_EQ(in.duration, 12);
    EXPECT_EQ(in.delay, 3);
    EXPECT_EQ(in.absolute, 0);
    element->Release();
    node->Release();
    list->Release();
    root->Release();
}

} // namespace
