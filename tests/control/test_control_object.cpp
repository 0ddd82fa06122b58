// The control object as a page's browser drives it: its type library, its
// properties and rules, page parameters, safety, events and activation in a
// site of ours. Linked straight into this program with the type library and
// the control bar dialog.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "control/CCStreamView.h"
#include "control/ControlIds.h"
#include "platform/window/MessageMap.h"
#include "platform/window/WindowBase.h"
#include "tests/tools/OleTestHost.h"

namespace {

using olehost::GetText;
using olehost::PutText;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class ControlObject : public ::testing::Test {
protected:
    static void SetUpTestSuite() { OleInitialize(nullptr); }
    static void TearDownTestSuite() { OleUninitialize(); }

    void SetUp() override
    {
        control_ = new CCStreamView();
        ASSERT_EQ(control_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_)), S_OK);
    }

    void TearDown() override
    {
        dispatch_->Release();
        EXPECT_EQ(control_->Release(), 0u);
    }

    template <typename Interface>
    Interface* As(REFIID iid)
    {
        Interface* answered = nullptr;
        EXPECT_EQ(control_->QueryInterface(iid, reinterpret_cast<void**>(&answered)), S_OK);
        return answered;
    }

    CCStreamView* control_ = nullptr;
    IDispatch* dispatch_ = nullptr;
};

// Every member: its DISPID, its type and whether it can be put.
enum Kind { ReadWrite, ReadOnly, Method };
const struct Member {
    const wchar_t* name;
    DISPID id;
    VARTYPE type;
    Kind kind;
} kMembers[] = {
    {L"AutoSize", -500, VT_BOOL, ReadWrite},   {L"Nat", 1, VT_BSTR, ReadWrite},
    {L"Stun", 2, VT_BSTR, ReadWrite},          {L"Cgi", 3, VT_BSTR, ReadWrite},
    {L"Action", 4, VT_BSTR, ReadWrite},        {L"OutPlayerId", 5, VT_BSTR, ReadWrite},
    {L"PlayMode", 6, VT_BSTR, ReadWrite},      {L"FullScreen", 7, VT_BOOL, ReadWrite},
    {L"AutoPlay", 8, VT_BOOL, ReadWrite},      {L"BufferAD", 9, VT_BSTR, ReadWrite},
    {L"AutoChatPop", 10, VT_BOOL, ReadWrite},  {L"EnableChat", 11, VT_BOOL, ReadWrite},
    {L"EnableNameCookie", 12, VT_BOOL, ReadWrite}, {L"CookieFormat", 13, VT_BSTR, ReadWrite},
    {L"Position", 14, VT_UI4, ReadWrite},      {L"Volume", 15, VT_UI4, ReadWrite},
    {L"Mute", 16, VT_BOOL, ReadWrite},         {L"StateString", 17, VT_BSTR, ReadWrite},
    {L"Duration", 18, VT_UI4, ReadWrite},      {L"CurPlay", 19, VT_UI4, ReadWrite},
    {L"EnableContexMenu", 20, VT_BOOL, ReadWrite}, {L"StartDelay", 21, VT_UI4, ReadWrite},
    {L"StopAD", 22, VT_BSTR, ReadWrite},       {L"BufferTime", 23, VT_UI4, ReadWrite},
    {L"FlvPlayer", 24, VT_BSTR, ReadWrite},    {L"InfoString", 25, VT_BSTR, ReadOnly},
    {L"OrgSize", 26, VT_BOOL, ReadWrite},      {L"EnableCacheData", 27, VT_BOOL, ReadWrite},
    {L"DefaultDLS", 28, VT_UI4, ReadWrite},    {L"DefaultULS", 29, VT_UI4, ReadWrite},
    {L"LockFullscreen", 40, VT_BOOL, ReadWrite}, {L"AutoFullscreen", 41, VT_BOOL, ReadWrite},
    {L"EnablePlaylist", 42, VT_BOOL, ReadWrite}, {L"Open", 30, VT_EMPTY, Method},
    {L"Play", 31, VT_EMPTY, Method},           {L"Pause", 32, VT_EMPTY, Method},
    {L"Stop", 33, VT_EMPTY, Method},           {L"Close", 34, VT_EMPTY, Method},
    {L"PopPlaylist", 35, VT_EMPTY, Method},    {L"PopChat", 36, VT_EMPTY, Method},
    {L"ChangeVideoSize", 37, VT_EMPTY, Method}, {L"LocalPlayerUrl", 38, VT_BSTR, ReadOnly},
    {L"PlayState", 39, VT_UI4, ReadOnly},      {L"DownloadedPercent", 43, VT_UI4, ReadOnly},
    {L"EnableControlBar", 44, VT_BOOL, ReadWrite}, {L"UserSession", 45, VT_BSTR, ReadWrite},
    {L"StartVodService", 46, VT_EMPTY, Method}, {L"StopVodService", 47, VT_EMPTY, Method},
    {L"TrackPeerNums", 48, VT_I4, ReadWrite},  {L"MaxConnectPeers", 49, VT_I4, ReadWrite},
    {L"FullDataTime", 50, VT_I4, ReadWrite},   {L"ADAppend", 51, VT_BSTR, ReadWrite},
    {L"EnableNetDataDisplay", 52, VT_BOOL, ReadWrite}, {L"StatusBarDisplay", 53, VT_BSTR, ReadWrite},
    {L"MemorySize", 54, VT_UI4, ReadWrite},    {L"PasuedAD", 55, VT_BSTR, ReadWrite},
    {L"EnableShowAbout", 56, VT_BOOL, ReadWrite}, {L"PortRange", 57, VT_BSTR, ReadWrite},
};

// What the interface halves of the dual interfaces declare, by DISPID.
struct Declared {
    VARTYPE getType = VT_ILLEGAL;
    bool put = false, method = false;
};

void Collect(ITypeInfo* info, std::map<DISPID, Declared>& declared)
{
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    const WORD functions = attributes->cFuncs;
    info->ReleaseTypeAttr(attributes);
    for (WORD i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &function), S_OK);
        Declared& entry = declared[function->memid];
        if (function->invkind == INVOKE_PROPERTYGET && function->cParams == 1 &&
            function->lprgelemdescParam[0].tdesc.vt == VT_PTR)
            entry.getType = function->lprgelemdescParam[0].tdesc.lptdesc->vt;
        else if (function->invkind == INVOKE_PROPERTYPUT)
            entry.put = true;
        else if (function->invkind == INVOKE_FUNC && function->cParams == 0)
            entry.method = true;
        info->ReleaseFuncDesc(function);
    }
}

TEST_F(ControlObject, TypeLibraryNamesEveryMemberAtItsDispidWithItsType)
{
    ITypeInfo* dispatchInfo = nullptr;
    ASSERT_EQ(dispatch_->GetTypeInfo(0, 0, &dispatchInfo), S_OK);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(dispatchInfo->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ICStreamView2));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    dispatchInfo->ReleaseTypeAttr(attributes);

    // ICStreamView2's own members, then those it inherits from ICStreamView.
    std::map<DISPID, Declared> declared;
    HREFTYPE reference = 0;
    ITypeInfo* second = nullptr;
    ASSERT_EQ(dispatchInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference), S_OK);
    ASSERT_EQ(dispatchInfo->GetRefTypeInfo(reference, &second), S_OK);
    Collect(second, declared);
    ITypeInfo* first = nullptr;
    ASSERT_EQ(second->GetRefTypeOfImplType(0, &reference), S_OK);
    ASSERT_EQ(second->GetRefTypeInfo(reference, &first), S_OK);
    ASSERT_EQ(first->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, IID_ICStreamView));
    first->ReleaseTypeAttr(attributes);
    Collect(first, declared);
    first->Release();
    second->Release();
    dispatchInfo->Release();

    EXPECT_EQ(declared.size(), sizeof kMembers / sizeof kMembers[0]) << "no member more or less";
    for (const Member& member : kMembers) {
        const std::string name = Narrow(member.name);
        LPOLESTR names[] = {const_cast<LPOLESTR>(member.name)};
        DISPID id = 0;
        EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << name;
        EXPECT_EQ(id, member.id) << name;
        const Declared& entry = declared[member.id];
        if (member.kind == Method) {
            EXPECT_TRUE(entry.method) << name;
            continue;
        }
        EXPECT_EQ(entry.getType, member.type) << name;
        EXPECT_EQ(entry.put, member.kind == ReadWrite) << name;
    }
    wchar_t misspelt[] = L"PausedAD";
    LPOLESTR names[] = {misspelt};
    DISPID id = 0;
    EXPECT_EQ(dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME)
        << "only the page parameter is spelled so";
}

TEST_F(ControlObject, ClassInfoNamesTheDefaultInterfaceAndTheEventSource)
{
    IProvideClassInfo2* provider = As<IProvideClassInfo2>(IID_IProvideClassInfo2);
    ASSERT_NE(provider, nullptr);
    GUID source = {};
    EXPECT_EQ(provider->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, DIID__IVodEvents));
    EXPECT_EQ(provider->GetGUID(2, &source), E_INVALIDARG);

    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(provider->GetClassInfo(&coclass), S_OK);
    provider->Release();
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, CLSID_CStreamView));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FCONTROL);
    const UINT implemented = attributes->cImplTypes;
    coclass->ReleaseTypeAttr(attributes);

    GUID defaultInterface = GUID_NULL, defaultSource = GUID_NULL;
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE reference = 0;
        ITypeInfo* info = nullptr;
        ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
        ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &reference), S_OK);
        ASSERT_EQ(coclass->GetRefTypeInfo(reference, &info), S_OK);
        ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
        if (flags == IMPLTYPEFLAG_FDEFAULT)
            defaultInterface = attributes->guid;
        if (flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) {
            defaultSource = attributes->guid;
            EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
            FUNCDESC* function = nullptr;
            ASSERT_EQ(attributes->cFuncs, 1);
            ASSERT_EQ(info->GetFuncDesc(0, &function), S_OK);
            EXPECT_EQ(function->memid, 1);
            ASSERT_EQ(function->cParams, 1);
            EXPECT_EQ(function->lprgelemdescParam[0].tdesc.vt, VT_UI4);
            BSTR name = nullptr;
            UINT count = 0;
            ASSERT_EQ(info->GetNames(1, &name, 1, &count), S_OK);
            EXPECT_STREQ(name, L"PlayStateChanged");
            SysFreeString(name);
            info->ReleaseFuncDesc(function);
        }
        info->ReleaseTypeAttr(attributes);
        info->Release();
    }
    ITypeLib* library = nullptr;
    UINT index = 0;
    ASSERT_EQ(coclass->GetContainingTypeLib(&library, &index), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(libraryAttributes->guid, LIBID_vodctlLib))
        << "the library id the registry names is the one the type library carries";
    library->ReleaseTLibAttr(libraryAttributes);
    library->Release();
    coclass->Release();
    EXPECT_TRUE(IsEqualGUID(defaultInterface, IID_ICStreamView2));
    EXPECT_TRUE(IsEqualGUID(defaultSource, DIID__IVodEvents));
}

TEST_F(ControlObject, StartsWithTheDefaults)
{
    const struct {
        const wchar_t* name;
        DISPID id;
        const wchar_t* value;
    } defaults[] = {
        {L"Nat", 1, L""}, {L"Cgi", 3, L""}, {L"PlayMode", 6, L"full"}, {L"FullScreen", 7, L"0"},
        {L"AutoPlay", 8, L"-1"}, {L"AutoChatPop", 10, L"0"}, {L"EnableChat", 11, L"-1"},
        {L"EnableNameCookie", 12, L"0"}, {L"Position", 14, L"0"}, {L"Volume", 15, L"67"},
        {L"Mute", 16, L"0"}, {L"EnableContexMenu", 20, L"-1"}, {L"StartDelay", 21, L"0"},
        {L"BufferTime", 23, L"0"}, {L"FlvPlayer", 24, L"http://flv.invalid/download/flvplayer2.swf"},
        {L"EnableCacheData", 27, L"-1"}, {L"DefaultDLS", 28, L"400"}, {L"DefaultULS", 29, L"400"},
        {L"EnablePlaylist", 42, L"-1"}, {L"LocalPlayerUrl", 38, L""}, {L"PlayState", 39, L"0"},
        {L"DownloadedPercent", 43, L"0"}, {L"EnableControlBar", 44, L"2"},
        {L"UserSession", 45, L""}, {L"TrackPeerNums", 48, L"0"}, {L"MaxConnectPeers", 49, L"0"},
        {L"FullDataTime", 50, L"0"}, {L"EnableNetDataDisplay", 52, L"-1"},
        {L"MemorySize", 54, L"20"}, {L"PasuedAD", 55, L""}, {L"EnableShowAbout", 56, L"-1"},
        {L"PortRange", 57, L""},
    };
    for (const auto& d : defaults)
        EXPECT_EQ(GetText(dispatch_, d.id), d.value) << Narrow(d.name);
    EXPECT_EQ(control_->Layout(), CCStreamView::LAYOUT_FULL);
    EXPECT_FALSE(control_->SessionEnabled());

    VARIANT_BOOL fullScreen = 5;
    EXPECT_EQ(control_->get_FullScreen(&fullScreen), S_FALSE) << "no player is open";
    EXPECT_EQ(fullScreen, 0);
    EXPECT_EQ(control_->put_FullScreen(VARIANT_TRUE), S_FALSE);
}

TEST_F(ControlObject, PlayModeChoosesTheLayoutAndReadsFullOtherwise)
{
    const struct {
        const wchar_t* put;
        const wchar_t* reads;
        CCStreamView::LayoutMode layout;
    } cases[] = {
        {L"SiMpLe", L"SiMpLe", CCStreamView::LAYOUT_SIMPLE},
        {L"mini", L"mini", CCStreamView::LAYOUT_MINI},
        {L"AUDIO", L"AUDIO", CCStreamView::LAYOUT_AUDIO},
        {L"compact", L"compact", CCStreamView::LAYOUT_COMPACT},
        {L"FULL", L"full", CCStreamView::LAYOUT_FULL},
        {L"tiny", L"full", CCStreamView::LAYOUT_FULL},
        {L" simple", L"full", CCStreamView::LAYOUT_FULL},
        {L"", L"full", CCStreamView::LAYOUT_FULL},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(PutText(dispatch_, 6, c.put), S_OK);
        EXPECT_EQ(GetText(dispatch_, 6), c.reads) << Narrow(c.put);
        EXPECT_EQ(control_->Layout(), c.layout) << Narrow(c.put);
    }
}

TEST_F(ControlObject, OnlyFiveTextsAreTrimmed)
{
    const struct {
        DISPID id;
        bool trimmed;
    } texts[] = {{1, false}, {2, false}, {3, true},   {4, false},  {5, false},
                 {9, true},  {22, true}, {24, true},  {45, true},  {51, false},
                 {53, false}, {55, false}, {57, false}, {13, false}};
    for (const auto& t : texts) {
        ASSERT_EQ(PutText(dispatch_, t.id, L" \t x y \r\n"), S_OK);
        EXPECT_EQ(GetText(dispatch_, t.id), t.trimmed ? L"x y" : L" \t x y \r\n") << t.id;
    }
    // A null text is kept as null.
    BSTR text = SysAllocString(L"x");
    ASSERT_EQ(control_->put_Cgi(nullptr), S_OK);
    ASSERT_EQ(control_->get_Cgi(&text), S_OK);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(control_->get_Cgi(nullptr), E_POINTER);
}

TEST_F(ControlObject, UserSessionTakesAUrlAndAnIntervalOrKeepsTheLastOne)
{
    // Applied in order: each case starts from what the ones before it left.
    const struct {
        const wchar_t* put;
        const wchar_t* url;
        int interval;
        bool enabled;
    } steps[] = {
        {L"http://s.invalid/k?a=1|0", L"http://s.invalid/k?a=1", 1, true},
        {L"not a url", L"http://s.invalid/k?a=1", 1, true},
        {L"  http://s.invalid/a|b|7 ", L"http://s.invalid/a|b", 7, true},
        {L"http://s.invalid/only", L"http://s.invalid/only", 60, true},
        {L"http://s.invalid/n|-5", L"http://s.invalid/n", 1, true},
        {L"", L"http://s.invalid/n", 1, true},
        {L"nourl|30", L"", 30, false},
        {L"http://s.invalid/x|", L"http://s.invalid/x", 1, true},
    };
    for (const auto& s : steps) {
        ASSERT_EQ(PutText(dispatch_, 45, s.put), S_OK);
        EXPECT_EQ(control_->SessionUrl(), s.url) << Narrow(s.put);
        EXPECT_EQ(control_->SessionInterval(), s.interval) << Narrow(s.put);
        EXPECT_EQ(control_->SessionEnabled(), s.enabled) << Narrow(s.put);
    }
}

TEST_F(ControlObject, CookieFormatSplitsAtTheFirstBar)
{
    const struct {
        const wchar_t *put, *url, *name;
    } cases[] = {
        {L"http://c.invalid/page|user", L"http://c.invalid/page", L"user"},
        {L"http://c.invalid/|a|b", L"http://c.invalid/", L"a|b"},
        {L"name", L"", L"name"},
        {L"|name", L"", L"name"},
        {L"", L"", L""},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(PutText(dispatch_, 13, c.put), S_OK);
        EXPECT_EQ(GetText(dispatch_, 13), c.put);
        EXPECT_EQ(control_->ChatCookieUrl(), c.url) << Narrow(c.put);
        EXPECT_EQ(control_->ChatCookieName(), c.name) << Narrow(c.put);
        EXPECT_EQ(control_->Chat().CookieUrl(), c.url) << Narrow(c.put);
        EXPECT_EQ(control_->Chat().CookieName(), c.name) << Narrow(c.put);
    }
    VARIANT on;
    on.vt = VT_BOOL;
    on.boolVal = VARIANT_TRUE;
    ASSERT_EQ(olehost::Put(dispatch_, 12, on), S_OK);
    EXPECT_TRUE(control_->ChatNameCookie());
    EXPECT_EQ(1, control_->Chat().NameCookie());
}

TEST_F(ControlObject, BooleansAndMute)
{
    // Any non-zero boolean counts as set; Mute is set by -1 only.
    const struct {
        DISPID id;
        SHORT put;
        const wchar_t* reads;
    } cases[] = {
        {11, 0, L"0"}, {11, 5, L"5"}, {44, -1, L"-1"}, {44, 0, L"0"},
        {16, -1, L"-1"}, {16, 1, L"0"}, {16, 0, L"0"},
    };
    for (const auto& c : cases) {
        VARIANT value;
        value.vt = VT_BOOL;
        value.boolVal = c.put;
        ASSERT_EQ(olehost::Put(dispatch_, c.id, value), S_OK);
        EXPECT_EQ(GetText(dispatch_, c.id), c.reads) << c.id << " put " << c.put;
    }
}

TEST_F(ControlObject, PlayerValuesWithoutAPlayer)
{
    // Nothing is open: the player's values read 0, and a seek is ignored.
    VARIANT seek;
    seek.vt = VT_UI4;
    seek.ulVal = 500;
    EXPECT_EQ(olehost::Put(dispatch_, 14, seek), S_OK);
    for (DISPID id : {14, 18, 19})
        EXPECT_EQ(GetText(dispatch_, id), L"0") << id;

    // The main player's flags: set by -1 only, read back as -1 or 0.
    const struct {
        DISPID id;
        SHORT put;
        const wchar_t* reads;
    } flags[] = {{26, -1, L"-1"}, {26, 1, L"0"}, {40, -1, L"-1"}, {40, 0, L"0"},
                 {41, -1, L"-1"}, {41, 2, L"0"}};
    for (const auto& f : flags) {
        VARIANT value;
        value.vt = VT_BOOL;
        value.boolVal = f.put;
        ASSERT_EQ(olehost::Put(dispatch_, f.id, value), S_OK);
        EXPECT_EQ(GetText(dispatch_, f.id), f.reads) << f.id << " put " << f.put;
    }
}

TEST_F(ControlObject, ObjectSafetyStartsSafeAndKeepsTheGivenBits)
{
    IObjectSafety* safety = As<IObjectSafety>(IID_IObjectSafety);
    ASSERT_NE(safety, nullptr);
    DWORD supported = 0, enabled = 0;
    for (REFIID iid : {IID_IDispatch, IID_ICStreamView2, IID_IPersistPropertyBag, IID_IOleObject}) {
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(iid, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, 3u);
        EXPECT_EQ(enabled, 3u);
    }
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IClassFactory, &supported, &enabled),
              E_NOINTERFACE);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IClassFactory, 1, 1), E_NOINTERFACE);

    const struct {
        DWORD mask, set;
        HRESULT answer;
        DWORD enabledAfter;
    } steps[] = {
        {3, 0, S_OK, 0}, {4, 4, E_FAIL, 0}, {1, 1, S_OK, 1}, {2, 2, S_OK, 3},
        {7, 0, E_FAIL, 3}, {2, 0, S_OK, 1}, {0, 3, S_OK, 1},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, s.mask, s.set), s.answer);
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled),
                  S_OK);
        EXPECT_EQ(enabled, s.enabledAfter) << "mask " << s.mask << " set " << s.set;
    }
    safety->Release();
}

TEST_F(ControlObject, PageParametersGoThroughThePutsInOrder)
{
    IPersistPropertyBag* persist = As<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ASSERT_NE(persist, nullptr);
    olehost::TextBag bag;
    bag.values = {
        {L"_cx", L"7000"},        {L"PlayMode", L"MINI"},      {L"PasuedAD", L"spelled as the property"},
        {L"Cgi", L"  http://c.invalid/cgi  "}, {L"Volume", L"-1"}, {L"DefaultDLS", L"800"},
        {L"EnableChat", L"0"},    {L"AutoPlay", L"true"},      {L"EnableControlBar", L"1"},
        {L"EnableShowAbout", L"2"}, {L"UserSession", L"http://s.invalid/k|30"},
        {L"TrackPeerNums", L"-3"}, {L"Mute", L"1"},           {L"StartDelay", L"x"},
    };
    ASSERT_EQ(persist->Load(&bag, nullptr), S_OK);

    const struct {
        DISPID id;
        const wchar_t* value;
    } expected[] = {
        {6, L"MINI"}, {55, L""}, {3, L"http://c.invalid/cgi"}, {15, L"67"}, {28, L"800"},
        {11, L"0"}, {8, L"-1"}, {44, L"-1"}, {56, L"-1"}, {48, L"-3"}, {16, L"-1"}, {21, L"0"},
    };
    for (const auto& e : expected)
        EXPECT_EQ(GetText(dispatch_, e.id), e.value) << e.id;
    EXPECT_EQ(control_->Layout(), CCStreamView::LAYOUT_MINI);
    EXPECT_EQ(control_->SessionInterval(), 30);

    const wchar_t* order[] = {L"_cx", L"_cy", L"AutoSize", L"Nat", L"Stun", L"Cgi", L"Action",
                              L"OutPlayerId", L"PlayMode", L"FullScreen"};
    ASSERT_GE(bag.reads.size(), 46u);
    for (size_t i = 0; i < sizeof order / sizeof order[0]; ++i)
        EXPECT_EQ(bag.reads[i], order[i]);
    EXPECT_EQ(bag.reads[bag.reads.size() - 3], L"PausedAD");
    EXPECT_EQ(bag.reads.back(), L"PortRange");
    for (const std::wstring& read : bag.reads)
        EXPECT_TRUE(read != L"PasuedAD" && read != L"InfoString" && read != L"PlayState" &&
                    read != L"LocalPlayerUrl" && read != L"DownloadedPercent")
            << Narrow(read);

    bag.values = {{L"PausedAD", L"paused.swf"}};
    ASSERT_EQ(persist->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(GetText(dispatch_, 55), L"paused.swf");

    IOleObject* ole = As<IOleObject>(IID_IOleObject);
    SIZEL extent = {};
    ASSERT_EQ(ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, 7000);
    ole->Release();

    // Saved, every parameter is written under its page name.
    olehost::TextBag saved;
    ASSERT_EQ(persist->Save(&saved, TRUE, TRUE), S_OK);
    EXPECT_EQ(saved.values[L"PausedAD"], L"paused.swf");
    EXPECT_EQ(saved.values[L"_cx"], L"7000");
    EXPECT_EQ(saved.values[L"PlayMode"], L"MINI");
    EXPECT_EQ(saved.values.count(L"PasuedAD"), 0u);
    EXPECT_EQ(saved.values.size(), 2 + 44u);
    persist->Release();
}

TEST_F(ControlObject, StreamKeepsTheExtent)
{
    IPersistStreamInit* persist = As<IPersistStreamInit>(IID_IPersistStreamInit);
    IOleObject* ole = As<IOleObject>(IID_IOleObject);
    SIZEL extent = {1234, 567};
    ASSERT_EQ(ole->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(ole->SetExtent(DVASPECT_ICON, &extent), DV_E_DVASPECT);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ASSERT_EQ(persist->Save(stream, TRUE), S_OK);

    CCStreamView* other = new CCStreamView();
    IPersistStreamInit* otherPersist = nullptr;
    ASSERT_EQ(other->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&otherPersist)),
              S_OK);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ASSERT_EQ(otherPersist->Load(stream), S_OK);
    EXPECT_EQ(otherPersist->Load(stream), E_FAIL) << "a stream that ends early";
    SIZEL loaded = {};
    ASSERT_EQ(other->GetExtent(DVASPECT_CONTENT, &loaded), S_OK);
    EXPECT_EQ(loaded.cx, 1234);
    EXPECT_EQ(loaded.cy, 567);
    otherPersist->Release();
    EXPECT_EQ(other->Release(), 0u);
    stream->Release();
    ole->Release();
    persist->Release();
}

TEST_F(ControlObject, PlayStateChangesGoToTheSinksUntilOneFails)
{
    IConnectionPointContainer* container =
        As<IConnectionPointContainer>(IID_IConnectionPointContainer);
    ASSERT_NE(container, nullptr);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IVodEvents, &point), S_OK);

    olehost::EventSink failing(E_FAIL), second;
    DWORD failingCookie = 0, secondCookie = 0;
    ASSERT_EQ(point->Advise(&failing, &failingCookie), S_OK);
    ASSERT_EQ(point->Advise(&second, &secondCookie), S_OK);
    EXPECT_NE(failingCookie, secondCookie);

    IEnumConnections* connections = nullptr;
    ASSERT_EQ(point->EnumConnections(&connections), S_OK);
    CONNECTDATA advised[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(3, advised, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(advised[0].dwCookie, failingCookie);
    EXPECT_EQ(advised[1].dwCookie, secondCookie);
    for (ULONG i = 0; i < fetched; ++i)
        advised[i].pUnk->Release();
    connections->Release();
    IEnumConnectionPoints* points = nullptr;
    ASSERT_EQ(container->EnumConnectionPoints(&points), S_OK);
    IConnectionPoint* listed = nullptr;
    EXPECT_EQ(points->Next(1, &listed, nullptr), S_OK);
    EXPECT_EQ(listed, point);
    listed->Release();
    EXPECT_EQ(points->Next(1, &listed, nullptr), S_FALSE);
    points->Release();
    EXPECT_EQ(failing.refs, 2u) << "the enumerator let the sinks go";

    control_->SetPlayState(2);
    ASSERT_EQ(failing.calls.size(), 1u);
    EXPECT_EQ(failing.ids[0], 1);
    EXPECT_EQ(failing.calls[0].vt, VT_I4);
    EXPECT_EQ(failing.calls[0].lVal, 2);
    EXPECT_TRUE(second.calls.empty()) << "the firing stops at the first failing sink";

    control_->SetPlayState(2);
    EXPECT_EQ(failing.calls.size(), 1u) << "an unchanged state fires nothing";
    EXPECT_EQ(GetText(dispatch_, 39), L"2");

    ASSERT_EQ(point->Unadvise(failingCookie), S_OK);
    EXPECT_EQ(point->Unadvise(failingCookie), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(failing.refs, 1u) << "an unadvised sink is released";
    control_->SetPlayState(1);
    control_->SetPlayState(0);
    ASSERT_EQ(second.calls.size(), 2u);
    EXPECT_EQ(second.calls[0].lVal, 1);
    EXPECT_EQ(second.calls[1].lVal, 0);
    EXPECT_EQ(failing.calls.size(), 1u);

    point->Release();
    container->Release();
    // The last release of the control lets its remaining sink go.
    dispatch_->Release();
    EXPECT_EQ(control_->Release(), 0u);
    EXPECT_EQ(second.refs, 1u);
    control_ = new CCStreamView();
    ASSERT_EQ(control_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_)), S_OK);
}

bool ThreadQueueEmpty()
{
    MSG message;
    return !PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_NOYIELD);
}

TEST_F(ControlObject, MethodsWithoutAWindowChangeNothing)
{
    ASSERT_TRUE(ThreadQueueEmpty());
    for (DISPID method : {30, 31, 32, 33, 34, 35, 36, 37}) {
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(dispatch_->Invoke(method, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                    nullptr),
                  S_OK)
            << method;
        EXPECT_TRUE(ThreadQueueEmpty()) << "nothing posted by " << method;
    }
    EXPECT_EQ(GetText(dispatch_, 39), L"0");
    EXPECT_EQ(GetText(dispatch_, 38), L"");
}

// The items of the control bar that a reflected WM_DRAWITEM reaches: a plain
// subclass above the skinned button's own, counting and passing on.
namespace reflection {
WNDPROC g_next = nullptr;
int g_drawn = 0;
LRESULT CALLBACK Count(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kReflectBase + WM_DRAWITEM)
        ++g_drawn;
    return CallWindowProcW(g_next, hwnd, message, wParam, lParam);
}
}  // namespace reflection

TEST_F(ControlObject, InPlaceActivationMakesTheControlBarInTheSiteWindow)
{
    HWND page = CreateWindowExW(0, L"Static", L"page", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(page, nullptr);
    olehost::TestSite site(page);
    IOleObject* ole = As<IOleObject>(IID_IOleObject);
    ASSERT_NE(ole, nullptr);
    DWORD misc = 0;
    EXPECT_EQ(ole->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
    EXPECT_EQ(misc, 0x20191u);
    EXPECT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, page, nullptr), E_UNEXPECTED)
        << "no client site yet";
    ASSERT_EQ(ole->SetClientSite(&site), S_OK);
    EXPECT_EQ(control_->Window(), nullptr) << "no window before activation";
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, page, nullptr), S_OK);

    HWND bar = control_->Window();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetParent(bar), page);
    EXPECT_TRUE(IsWindowVisible(bar) || !IsWindowVisible(page));
    EXPECT_TRUE(GetWindowLongW(bar, GWL_STYLE) & WS_CHILD);
    RECT area = {};
    GetWindowRect(bar, &area);
    EXPECT_EQ(area.right - area.left, 480) << "placed where the site said";
    for (int id = IDC_PLAY; id <= IDC_VIDEOSIZE; ++id) {
        HWND item = GetDlgItem(bar, id);
        EXPECT_EQ(item != nullptr, id != 203) << id;
        if (item)
            EXPECT_EQ(GetParent(item), bar) << id;
    }
    IOleInPlaceObject* inPlace = As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    HWND answered = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&answered), S_OK);
    EXPECT_EQ(answered, bar);
    RECT moved = {10, 20, 330, 80};
    EXPECT_EQ(inPlace->SetObjectRects(&moved, &moved), S_OK);
    GetWindowRect(bar, &area);
    EXPECT_EQ(area.right - area.left, 320);

    // An owner-drawn item draws itself: the bar hands WM_DRAWITEM back.
    HWND playItem = GetDlgItem(bar, IDC_PLAY);
    reflection::g_next = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        playItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reflection::Count)));
    ASSERT_NE(reflection::g_next, nullptr);
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_BUTTON;
    draw.CtlID = IDC_PLAY;
    draw.hwndItem = GetDlgItem(bar, IDC_PLAY);
    SendMessageW(bar, WM_DRAWITEM, IDC_PLAY, reinterpret_cast<LPARAM>(&draw));
    EXPECT_EQ(reflection::g_drawn, 1);
    SetWindowLongPtrW(playItem, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(reflection::g_next));

    // With a window, Play posts the play button's command; Pause while
    // stopped posts nothing.
    ASSERT_TRUE(ThreadQueueEmpty());
    EXPECT_EQ(control_->Pause(), S_OK);
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, bar, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(control_->Play(), S_OK);
    ASSERT_TRUE(PeekMessageW(&message, bar, WM_COMMAND, WM_COMMAND, PM_REMOVE));
    EXPECT_EQ(LOWORD(message.wParam), IDC_PLAY);
    EXPECT_EQ(reinterpret_cast<HWND>(message.lParam), GetDlgItem(bar, IDC_PLAY));

    EXPECT_EQ(inPlace->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(control_->Window(), nullptr);
    const std::vector<std::string> calls = {"CanInPlaceActivate", "OnInPlaceActivate",
                                            "OnInPlaceDeactivate"};
    EXPECT_EQ(site.calls, calls);
    inPlace->Release();
    EXPECT_EQ(ole->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_EQ(ole->SetClientSite(nullptr), S_OK);
    EXPECT_EQ(site.refs, 1u) << "the site is let go";
    ole->Release();
    DestroyWindow(page);
}

}  // namespace
