// The engines need Winsock 2 before windows.h.
#include <winsock2.h>

#include "control/CCStreamView.h"

#include <olectl.h>

#include <climits>
#include <new>

#include "live/LiveCore.h"
#include "platform/axhost/AxHost.h"
#include "platform/com/ComModule.h"
#include "platform/com/Enumerator.h"
#include "players/CodecRegistration.h"
#include "vod/VodCore.h"

namespace {

const DWORD kSafeForScripting = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// OLEMISC_RECOMPOSEONRESIZE | CANTLINKINSIDE | INSIDEOUT | ACTIVATEWHENVISIBLE
// | SETCLIENTSITEFIRST: the value the class registration announces too.
const DWORD kMiscStatus = 0x20191;

const wchar_t kDefaultPlayMode[] = L"full";
const wchar_t kDefaultFlvPlayer[] = L"http://flv.invalid/download/flvplayer2.swf";

// The page parameters in the order they are applied, each through the put of
// its property ("PausedAD" is the parameter of the property spelled
// PasuedAD); the value is coerced to the put's type first.
const struct PageParameter {
    const wchar_t* name;
    DISPID id;
    VARTYPE type;
} kPageParameters[] = {
    {L"AutoSize", -500, VT_BOOL},        {L"Nat", 1, VT_BSTR},
    {L"Stun", 2, VT_BSTR},               {L"Cgi", 3, VT_BSTR},
    {L"Action", 4, VT_BSTR},             {L"OutPlayerId", 5, VT_BSTR},
    {L"PlayMode", 6, VT_BSTR},           {L"FullScreen", 7, VT_BOOL},
    {L"AutoPlay", 8, VT_BOOL},           {L"BufferAD", 9, VT_BSTR},
    {L"AutoChatPop", 10, VT_BOOL},       {L"EnableChat", 11, VT_BOOL},
    {L"EnableNameCookie", 12, VT_BOOL},  {L"CookieFormat", 13, VT_BSTR},
    {L"Position", 14, VT_UI4},           {L"Volume", 15, VT_UI4},
    {L"Mute", 16, VT_BOOL},              {L"StateString", 17, VT_BSTR},
    {L"Duration", 18, VT_UI4},           {L"CurPlay", 19, VT_UI4},
    {L"EnableContexMenu", 20, VT_BOOL},  {L"StartDelay", 21, VT_UI4},
    {L"StopAD", 22, VT_BSTR},            {L"BufferTime", 23, VT_UI4},
    {L"FlvPlayer", 24, VT_BSTR},         {L"OrgSize", 26, VT_BOOL},
    {L"EnableCacheData", 27, VT_BOOL},   {L"DefaultDLS", 28, VT_UI4},
    {L"DefaultULS", 29, VT_UI4},         {L"LockFullscreen", 40, VT_BOOL},
    {L"AutoFullscreen", 41, VT_BOOL},    {L"EnablePlaylist", 42, VT_BOOL},
    {L"EnableControlBar", 44, VT_BOOL},  {L"UserSession", 45, VT_BSTR},
    {L"TrackPeerNums", 48, VT_I4},       {L"MaxConnectPeers", 49, VT_I4},
    {L"FullDataTime", 50, VT_I4},        {L"ADAppend", 51, VT_BSTR},
    {L"EnableNetDataDisplay", 52, VT_BOOL}, {L"StatusBarDisplay", 53, VT_BSTR},
    {L"MemorySize", 54, VT_UI4},         {L"PausedAD", 55, VT_BSTR},
    {L"EnableShowAbout", 56, VT_BOOL},   {L"PortRange", 57, VT_BSTR},
};

// Reads one parameter of the bag as the given type; false when the page has
// none or its text does not convert.
bool ReadParameter(IPropertyBag* bag, IErrorLog* log, const wchar_t* name, VARTYPE type,
                   VARIANT& value)
{
    VariantInit(&value);
    if (FAILED(bag->Read(name, &value, log)))
        return false;
    if (value.vt == type)
        return true;
    if (SUCCEEDED(VariantChangeType(&value, &value, 0, type)))
        return true;
    VariantClear(&value);
    return false;
}

}  // namespace

CCStreamView::CCStreamView()
    : COleControl(CLSID_CStreamView, kMiscStatus),
      events_(static_cast<ICStreamView2*>(this), this, DIID__IVodEvents),
      safety_(kSafeForScripting)
{
    playMode_ = SysAllocString(kDefaultPlayMode);
    flvPlayer_ = SysAllocString(kDefaultFlvPlayer);
    for (BSTR* text : {&nat_, &stun_, &cgi_, &action_, &outPlayerId_, &bufferAD_, &cookieFormat_,
                       &stopAD_, &userSession_, &adAppend_, &statusBarDisplay_, &pasuedAD_,
                       &portRange_})
        *text = SysAllocString(L"");
    com::LockModule();
}

CCStreamView::~CCStreamView()
{
    DestroyControlWindow();
    // A close put off while a challenge was answered leaves its engine.
    delete vod_;
    delete live_;
    if (dispatchInfo_)
        dispatchInfo_->Release();
    for (BSTR text : {nat_, stun_, cgi_, action_, outPlayerId_, playMode_, bufferAD_, cookieFormat_,
                      stopAD_, flvPlayer_, userSession_, adAppend_, statusBarDisplay_, pasuedAD_,
                      portRange_})
        SysFreeString(text);
    com::UnlockModule();
}

HRESULT CCStreamView::Create(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    CCStreamView* created = new (std::nothrow) CCStreamView();
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

STDMETHODIMP CCStreamView::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, IID_ICStreamView) || IsEqualIID(iid, IID_ICStreamView2))
        *object = static_cast<ICStreamView2*>(this);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
        *object = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(iid, IID_IObjectSafety))
        *object = static_cast<IObjectSafety*>(this);
    else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistPropertyBag))
        *object = static_cast<IPersistPropertyBag*>(this);
    else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
        *object = static_cast<IProvideClassInfo2*>(this);
    else if (QueryOleInterface(iid, object))
        return S_OK;
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CCStreamView::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) CCStreamView::Release()
{
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) {
        // A reference held across a loop that the destruction runs must not
        // bring the count to 0 a second time.
        refs_ = LONG_MIN / 2;
        delete this;
    }
    return static_cast<ULONG>(refs);
}

// The vtable half of the dual interface: ITypeInfo::Invoke calls our methods
// through it.
HRESULT CCStreamView::DispatchInfo(ITypeInfo** info)
{
    if (!dispatchInfo_) {
        ITypeInfo* dispatch = nullptr;
        HRESULT result = com::ModuleTypeInfo(IID_ICStreamView2, &dispatch);
        if (FAILED(result))
            return result;
        HREFTYPE vtablePart = 0;
        result = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtablePart);
        if (SUCCEEDED(result))
            result = dispatch->GetRefTypeInfo(vtablePart, &dispatchInfo_);
        dispatch->Release();
        if (FAILED(result))
            return result;
    }
    *info = dispatchInfo_;
    return S_OK;
}

STDMETHODIMP CCStreamView::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP CCStreamView::GetTypeInfo(UINT index, LCID, ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    if (index != 0)
        return DISP_E_BADINDEX;
    return com::ModuleTypeInfo(IID_ICStreamView2, info);
}

STDMETHODIMP CCStreamView::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
{
    ITypeInfo* info = nullptr;
    HRESULT result = DispatchInfo(&info);
    return FAILED(result) ? result : DispGetIDsOfNames(info, names, count, ids);
}

STDMETHODIMP CCStreamView::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                  VARIANT* result, EXCEPINFO* exception, UINT* argumentError)
{
    ITypeInfo* info = nullptr;
    HRESULT loaded = DispatchInfo(&info);
    if (FAILED(loaded))
        return loaded;
    return info->Invoke(static_cast<ICStreamView2*>(this), id, flags, params, result, exception,
                        argumentError);
}

STDMETHODIMP CCStreamView::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    if (!points)
        return E_POINTER;
    IConnectionPoint* point = &events_;
    return com::CEnumConnectionPoints::Create(std::vector<IConnectionPoint*>(1, point), points);
}

STDMETHODIMP CCStreamView::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, events_.EventsId()))
        return CONNECT_E_NOCONNECTION;
    *point = &events_;
    events_.AddRef();
    return S_OK;
}

STDMETHODIMP CCStreamView::GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled)
{
    if (!supported || !enabled)
        return E_POINTER;
    IUnknown* answered = nullptr;
    HRESULT result = QueryInterface(iid, reinterpret_cast<void**>(&answered));
    if (FAILED(result)) {
        *supported = *enabled = 0;
        return result;
    }
    answered->Release();
    *supported = kSafeForScripting;
    *enabled = safety_;
    return S_OK;
}

STDMETHODIMP CCStreamView::SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled)
{
    IUnknown* answered = nullptr;
    if (FAILED(QueryInterface(iid, reinterpret_cast<void**>(&answered))))
        return E_NOINTERFACE;
    answered->Release();
    if (mask & ~kSafeForScripting)
        return E_FAIL;
    safety_ = (safety_ & ~mask) | (mask & enabled);
    return S_OK;
}

// The extent first, as the container measured it; then each parameter
// through its put, in the order of the table.
STDMETHODIMP CCStreamView::Load(IPropertyBag* bag, IErrorLog* log)
{
    if (!bag)
        return E_POINTER;
    SIZEL extent = Extent();
    VARIANT value;
    if (ReadParameter(bag, log, L"_cx", VT_I4, value))
        extent.cx = value.lVal;
    if (ReadParameter(bag, log, L"_cy", VT_I4, value))
        extent.cy = value.lVal;
    SetExtentValue(extent);

    for (const PageParameter& parameter : kPageParameters) {
        if (!ReadParameter(bag, log, parameter.name, parameter.type, value))
            continue;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &named, 1, 1};
        Invoke(parameter.id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
               nullptr);
        VariantClear(&value);
    }
    return S_OK;
}

// Writes every parameter with the property's current value.
STDMETHODIMP CCStreamView::Save(IPropertyBag* bag, BOOL, BOOL)
{
    if (!bag)
        return E_POINTER;
    VARIANT value;
    value.vt = VT_I4;
    value.lVal = Extent().cx;
    bag->Write(L"_cx", &value);
    value.lVal = Extent().cy;
    bag->Write(L"_cy", &value);
    for (const PageParameter& parameter : kPageParameters) {
        VariantInit(&value);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        if (FAILED(Invoke(parameter.id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                          nullptr)))
            continue;
        HRESULT written = bag->Write(parameter.name, &value);
        VariantClear(&value);
        if (FAILED(written))
            return written;
    }
    return S_OK;
}

STDMETHODIMP CCStreamView::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    return com::ModuleTypeInfo(CLSID_CStreamView, info);
}

STDMETHODIMP CCStreamView::GetGUID(DWORD kind, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = DIID__IVodEvents;
    return S_OK;
}

HWND CCStreamView::CreateControlWindow(HWND parent, const RECT& position)
{
    // The hosts of the Flash and FLV players are "AtlAxWin71" windows.
    axhost::AxWinInit();
    HWND window = view_.Create(parent, position);
    if (window) {
        InitChildWindows();
        // The main player's reports come here; the advertisement player's
        // are its own business.
        mainPlayer_.m_owner = window;
        LayoutControls();
        // The codec folder's filters and the media player's scheme key.
        RegisterCodecFilters();
        AutoPlay();
    }
    return window;
}

void CCStreamView::DestroyControlWindow()
{
    if (view_.Handle())
        view_.DestroyWindow();
}
