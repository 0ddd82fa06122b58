// The "AtlAxWin71" host window and the dispatch event sink, tried on the
// probe control of the stand-in DLL.
#include <gtest/gtest.h>
#include <windows.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "platform/axhost/AxHost.h"
#include "platform/axhost/AxWinHostWindow.h"
#include "platform/axhost/DispEventSink.h"
#include "platform/standins/StandinIds.h"
#include "tests/platform/StandinSupport.h"

namespace {

const wchar_t kProbeText[] = L"{7A0C3E51-4B2D-4F7E-9C11-5D2A6B8E0F31}";
const IID kUnknownEvents = {0x11111111, 0x2222, 0x3333, {4, 4, 4, 4, 4, 4, 4, 4}};

class AxHostTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(RegisterStandins());
        ASSERT_TRUE(axhost::AxWinInit());
        parent_ = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        TakeStandinLog();
    }
    void TearDown() override
    {
        SetStandinKnob(L"PROBE_NO_CLASSINFO", nullptr);
        SetStandinKnob(L"FAIL_CREATE", nullptr);
        DestroyWindow(parent_);
        OleUninitialize();
    }

    HWND Host(const wchar_t* text, int width = 320, int height = 240)
    {
        return CreateWindowExW(0, axhost::kHostClassName, text, WS_CHILD | WS_VISIBLE, 0, 0, width,
                               height, parent_, reinterpret_cast<HMENU>(7), nullptr, nullptr);
    }

    static IDispatch* Dispatch(HWND host)
    {
        IUnknown* control = nullptr;
        IDispatch* dispatch = nullptr;
        if (SUCCEEDED(axhost::AxGetControl(host, &control))) {
            control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
            control->Release();
        }
        return dispatch;
    }

    static DISPID IdOf(IDispatch* dispatch, const wchar_t* name)
    {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }

    // Calls Ring by name with the arguments (declaration order).
    static HRESULT Ring(IDispatch* dispatch, std::vector<VARIANT> args)
    {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                             static_cast<UINT>(reversed.size()), 0};
        HRESULT result = dispatch->Invoke(IdOf(dispatch, L"Ring"), IID_NULL, LOCALE_USER_DEFAULT,
                                          DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        for (VARIANT& arg : reversed)
            VariantClear(&arg);
        return result;
    }

    static VARIANT Long(long value)
    {
        VARIANT v;
        v.vt = VT_I4;
        v.lVal = value;
        return v;
    }
    static VARIANT Text(const wchar_t* text)
    {
        VARIANT v;
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text);
        return v;
    }

    static HWND VideoOf(HWND host) { return FindWindowExW(host, nullptr, L"TovraProbeVideo", nullptr); }

    HWND parent_ = nullptr;
};

// The probe's one event, (number, text), recorded as one line per call.
class ProbeSink : public axhost::CDispEventSink {
public:
    explicit ProbeSink(REFIID published = DIID_StandinProbeEvents)
        : CDispEventSink(kMap, 1, published) {}
    std::vector<std::wstring> heard;

protected:
    void OnEvent(DISPID id, const axhost::EventArgs& args) override
    {
        heard.push_back(std::to_wstring(id) + L":" + std::to_wstring(args.Long(0)) + L"," +
                        args.Text(1));
    }

private:
    static const axhost::EventEntry kMap[1];
};
const axhost::EventEntry ProbeSink::kMap[1] = {{PROBE_EVENT_RANG, 2}};

TEST_F(AxHostTest, WindowTextCreatesSitesAndActivatesTheControl)
{
    for (const wchar_t* text : {kProbeText, L"TovraStandins.Probe"}) {
        SCOPED_TRACE(testing::Message() << "text " << std::string(text, text + wcslen(text)));
        HWND host = Host(text);
        ASSERT_NE(host, nullptr);
        HWND video = VideoOf(host);
        ASSERT_NE(video, nullptr);
        RECT client;
        GetClientRect(video, &client);
        EXPECT_EQ(client.right, 320);
        EXPECT_EQ(client.bottom, 240);
        EXPECT_NE(TakeStandinLog().find(L"Probe.DoVerb(-5)"), std::wstring::npos);

        IDispatch* dispatch = Dispatch(host);
        ASSERT_NE(dispatch, nullptr);
        DISPID value = IdOf(dispatch, L"value");   // names ignore case
        ASSERT_EQ(value, PROBE_VALUE);
        VARIANT put = Long(4321);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS putParams = {&put, &named, 1, 1};
        ASSERT_EQ(dispatch->Invoke(value, IID_NULL, 0, DISPATCH_PROPERTYPUT, &putParams, nullptr,
                                   nullptr, nullptr), S_OK);
        VARIANT got;
        VariantInit(&got);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        ASSERT_EQ(dispatch->Invoke(value, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &got, nullptr,
                                   nullptr), S_OK);
        EXPECT_EQ(got.lVal, 4321);

        // Destroying the host deactivates the control and lets it go: its
        // window is gone and it holds no client site any more.
        IOleObject* ole = nullptr;
        ASSERT_EQ(dispatch->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)), S_OK);
        dispatch->Release();
        DestroyWindow(host);
        EXPECT_FALSE(IsWindow(video));
        IOleClientSite* site = reinterpret_cast<IOleClientSite*>(1);
        ole->GetClientSite(&site);
        EXPECT_EQ(site, nullptr);
        ole->Release();
    }
}

TEST_F(AxHostTest, ACreationThatFailsFailsTheWindow)
{
    EXPECT_EQ(Host(L"NoSuch.Control"), nullptr);
    EXPECT_EQ(Host(L"{00000000-1234-5678-9ABC-DEF012345678}"), nullptr);
    SetStandinKnob(L"FAIL_CREATE", L"Probe");
    EXPECT_EQ(Host(kProbeText), nullptr);
    EXPECT_NE(TakeStandinLog().find(L"Probe.Create refused"), std::wstring::npos);
}

TEST_F(AxHostTest, AnEmptyHostCreatesThroughItsInterfaceAndFollowsItsSize)
{
    HWND host = Host(nullptr, 200, 100);
    ASSERT_NE(host, nullptr);
    IUnknown* control = nullptr;
    EXPECT_EQ(axhost::AxGetControl(host, &control), E_FAIL);
    EXPECT_EQ(axhost::AxGetControl(parent_, &control), E_FAIL);   // not a host at all

    IUnknown* unknown = nullptr;
    ASSERT_EQ(axhost::AxGetHost(host, &unknown), S_OK);
    IAxWinHostWindow* hostWindow = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_IAxWinHostWindow, reinterpret_cast<void**>(&hostWindow)),
              S_OK);
    unknown->Release();
    EXPECT_EQ(hostWindow->CreateControl(kProbeText, parent_, nullptr), E_INVALIDARG);
    ASSERT_EQ(hostWindow->CreateControl(kProbeText, host, nullptr), S_OK);
    IDispatch* queried = nullptr;
    ASSERT_EQ(hostWindow->QueryControl(IID_IDispatch, reinterpret_cast<void**>(&queried)), S_OK);
    queried->Release();
    hostWindow->Release();

    HWND video = VideoOf(host);
    ASSERT_NE(video, nullptr);
    MoveWindow(host, 0, 0, 280, 150, TRUE);
    RECT client;
    GetClientRect(video, &client);
    EXPECT_EQ(client.right, 280);
    EXPECT_EQ(client.bottom, 150);
    DestroyWindow(host);
}

TEST_F(AxHostTest, NotificationsOfTheControlAreReflectedToIt)
{
    HWND host = Host(kProbeText);
    ASSERT_NE(host, nullptr);
    HWND video = VideoOf(host);
    EXPECT_EQ(SendMessageW(host, WM_COMMAND, MAKEWPARAM(7, BN_CLICKED),
                           reinterpret_cast<LPARAM>(video)), 0x5A);
    NMHDR notify = {video, 7, static_cast<UINT>(-2)};   // NM_CLICK
    EXPECT_EQ(SendMessageW(host, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&notify)), 0x5A);
    // A window that is not the host's child is not reflected to.
    EXPECT_EQ(SendMessageW(host, WM_COMMAND, 0, reinterpret_cast<LPARAM>(parent_)), 0);
    const std::wstring log = TakeStandinLog();
    EXPECT_NE(log.find(L"reflected 273"), std::wstring::npos) << std::string(log.begin(), log.end());
    EXPECT_NE(log.find(L"reflected 78"), std::wstring::npos);
    DestroyWindow(host);
}

TEST_F(AxHostTest, ActivationWithoutAClientSiteIsRefused)
{
    IOleObject* ole = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_StandinProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(&ole)), S_OK);
    RECT place = {0, 0, 10, 10};
    EXPECT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent_, &place),
              E_UNEXPECTED);
    EXPECT_NE(TakeStandinLog().find(L"refused: no client site"), std::wstring::npos);
    ole->Release();
}

// Where the sink finds the control's events: the control's own default
// source wins over the published id; without class information the published
// id is all there is.
TEST_F(AxHostTest, TheSinkAdvisesAtTheDefaultSourceOrThePublishedOne)
{
    struct Case {
        bool classInfo;
        const IID* published;
        HRESULT advise;
    } cases[] = {
        {true, &kUnknownEvents, S_OK},
        {true, &DIID_StandinProbeEvents, S_OK},
        {false, &DIID_StandinProbeEvents, S_OK},
        {false, &kUnknownEvents, CONNECT_E_NOCONNECTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "class info " << c.classInfo << ", advise "
                                        << std::hex << c.advise);
        SetStandinKnob(L"PROBE_NO_CLASSINFO", c.classInfo ? nullptr : L"1");
        HWND host = Host(kProbeText);
        ASSERT_NE(host, nullptr);
        IUnknown* control = nullptr;
        ASSERT_EQ(axhost::AxGetControl(host, &control), S_OK);
        ProbeSink sink(*c.published);
        EXPECT_EQ(sink.DispEventAdvise(control), c.advise);
        IDispatch* dispatch = Dispatch(host);
        EXPECT_EQ(Ring(dispatch, {Long(61), Text(L"sixty-one")}), S_OK);
        if (c.advise == S_OK) {
            EXPECT_TRUE(IsEqualIID(sink.EventInterface(), DIID_StandinProbeEvents));
            ASSERT_EQ(sink.heard.size(), 1u);
            EXPECT_EQ(sink.heard[0], L"7:61,sixty-one");
            EXPECT_EQ(sink.DispEventUnadvise(), S_OK);
            Ring(dispatch, {Long(62), Text(L"after")});
        }
        EXPECT_EQ(sink.heard.size(), c.advise == S_OK ? 1u : 0u);
        dispatch->Release();
        control->Release();
        DestroyWindow(host);
    }
}

// An event whose argument count is not the map's never reaches the handler,
// which would read past the arguments given.
TEST_F(AxHostTest, TheSinkIgnoresEventsWithAnotherArgumentCount)
{
    HWND host = Host(kProbeText);
    ASSERT_NE(host, nullptr);
    IUnknown* control = nullptr;
    ASSERT_EQ(axhost::AxGetControl(host, &control), S_OK);
    ProbeSink sink;
    ASSERT_EQ(sink.DispEventAdvise(control), S_OK);
    IDispatch* dispatch = Dispatch(host);
    EXPECT_EQ(Ring(dispatch, {}), S_OK);
    EXPECT_EQ(Ring(dispatch, {Long(1)}), S_OK);
    EXPECT_EQ(Ring(dispatch, {Long(1), Text(L"two"), Long(3)}), S_OK);
    EXPECT_TRUE(sink.heard.empty());
    EXPECT_EQ(Ring(dispatch, {Long(2), Text(L"two")}), S_OK);
    EXPECT_EQ(sink.heard.size(), 1u);

    // Straight to the sink: a count with no arguments behind it, and an id
    // outside the map.
    DISPPARAMS hollow = {nullptr, nullptr, 2, 0};
    EXPECT_EQ(sink.Invoke(PROBE_EVENT_RANG, IID_NULL, 0, DISPATCH_METHOD, &hollow, nullptr, nullptr,
                          nullptr), S_OK);
    EXPECT_EQ(sink.Invoke(PROBE_EVENT_RANG, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr,
                          nullptr), S_OK);
    VARIANT two[2] = {Long(5), Long(6)};
    DISPPARAMS other = {two, nullptr, 2, 0};
    EXPECT_EQ(sink.Invoke(99, IID_NULL, 0, DISPATCH_METHOD, &other, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(sink.heard.size(), 1u);

    sink.DispEventUnadvise();
    dispatch->Release();
    control->Release();
    DestroyWindow(host);
}

}  // namespace
