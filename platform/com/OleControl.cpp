#include "platform/com/OleControl.h"

#include <olectl.h>

namespace com {

namespace {

template <typename Interface>
void ReleaseAndClear(Interface*& pointer)
{
    if (pointer)
        pointer->Release();
    pointer = nullptr;
}

// The default extent: 2 x 2 inches in HIMETRIC.
const SIZEL kDefaultExtent = {5080, 5080};

}  // namespace

COleControl::COleControl(REFCLSID clsid, DWORD miscStatus)
    : clsid_(clsid), miscStatus_(miscStatus), extent_(kDefaultExtent)
{
}

COleControl::~COleControl()
{
    ReleaseAndClear(frame_);
    ReleaseAndClear(inPlaceSite_);
    ReleaseAndClear(clientSite_);
    ReleaseAndClear(adviseHolder_);
    ReleaseAndClear(viewSink_);
}

bool COleControl::QueryOleInterface(REFIID iid, void** object)
{
    if (IsEqualIID(iid, IID_IOleObject))
        *object = static_cast<IOleObject*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject))
        *object = static_cast<IOleInPlaceObject*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject))
        *object = static_cast<IOleInPlaceActiveObject*>(this);
    else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
        *object = static_cast<IViewObject2*>(this);
    else if (IsEqualIID(iid, IID_IPersistStreamInit))
        *object = static_cast<IPersistStreamInit*>(this);
    else if (IsEqualIID(iid, IID_IOleControl))
        *object = static_cast<IOleControl*>(this);
    else
        return false;
    static_cast<IUnknown*>(static_cast<IOleObject*>(this))->AddRef();
    return true;
}

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site)
{
    if (site)
        site->AddRef();
    ReleaseAndClear(clientSite_);
    clientSite_ = site;
    return S_OK;
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = clientSite_;
    if (clientSite_)
        clientSite_->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::Close(DWORD)
{
    InPlaceDeactivate();
    if (adviseHolder_)
        adviseHolder_->SendOnClose();
    return S_OK;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT position)
{
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(verb, position);
    case OLEIVERB_HIDE:
        if (ControlWindow())
            ShowWindow(ControlWindow(), SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

HRESULT COleControl::InPlaceActivate(LONG verb, const RECT* position)
{
    if (!clientSite_)
        return E_UNEXPECTED;
    if (!inPlaceSite_) {
        IOleInPlaceSite* site = nullptr;
        if (FAILED(clientSite_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&site))))
            return E_NOINTERFACE;
        if (site->CanInPlaceActivate() != S_OK) {
            site->Release();
            return E_FAIL;
        }
        site->OnInPlaceActivate();
        inPlaceSite_ = site;
    }

    HWND parent = nullptr;
    inPlaceSite_->GetWindow(&parent);
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* document = nullptr;
    RECT place = {}, clip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof frameInfo;
    inPlaceSite_->GetWindowContext(&frame, &document, &place, &clip, &frameInfo);
    if (document)
        document->Release();
    if (position)
        place = *position;

    if (!ControlWindow()) {
        if (!parent || !CreateControlWindow(parent, place)) {
            if (frame)
                frame->Release();
            InPlaceDeactivate();
            return E_FAIL;
        }
    }
    ShowWindow(ControlWindow(), SW_SHOW);

    if (verb == OLEIVERB_UIACTIVATE && !frame_ && frame) {
        inPlaceSite_->OnUIActivate();
        frame->SetActiveObject(this, nullptr);
        frame_ = frame;
        frame = nullptr;
    }
    if (frame)
        frame->Release();
    return S_OK;
}

STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs)
{
    return OleRegEnumVerbs(clsid_, verbs);
}

STDMETHODIMP COleControl::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

STDMETHODIMP COleControl::GetUserType(DWORD form, LPOLESTR* type)
{
    return OleRegGetUserType(clsid_, form, type);
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* connection)
{
    if (!adviseHolder_ && FAILED(CreateOleAdviseHolder(&adviseHolder_)))
        return E_OUTOFMEMORY;
    return adviseHolder_->Advise(sink, connection);
}

STDMETHODIMP COleControl::Unadvise(DWORD connection)
{
    return adviseHolder_ ? adviseHolder_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    return adviseHolder_ ? adviseHolder_->EnumAdvise(advises) : S_OK;
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = miscStatus_;
    return S_OK;
}

STDMETHODIMP COleControl::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = ControlWindow();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::InPlaceDeactivate()
{
    if (!inPlaceSite_)
        return S_OK;
    UIDeactivate();
    DestroyControlWindow();
    IOleInPlaceSite* site = inPlaceSite_;
    inPlaceSite_ = nullptr;
    site->OnInPlaceDeactivate();
    site->Release();
    return S_OK;
}

STDMETHODIMP COleControl::UIDeactivate()
{
    if (!frame_)
        return S_OK;
    frame_->SetActiveObject(nullptr, nullptr);
    ReleaseAndClear(frame_);
    if (inPlaceSite_)
        inPlaceSite_->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT position, LPCRECT)
{
    if (!position)
        return E_POINTER;
    if (ControlWindow())
        MoveWindow(ControlWindow(), position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
    return S_OK;
}

// Drawn for a container that asks for a picture of the control (a print, or
// a site that is not active): the face colour over the bounds.
STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                               ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!draw || !bounds)
        return E_INVALIDARG;
    RECT area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    FillRect(draw, &area, GetSysColorBrush(COLOR_BTNFACE));
    return S_OK;
}

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    if (sink)
        sink->AddRef();
    ReleaseAndClear(viewSink_);
    viewSink_ = sink;
    viewAspects_ = aspects;
    viewFlags_ = flags;
    return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = viewAspects_;
    if (flags)
        *flags = viewFlags_;
    if (sink) {
        *sink = viewSink_;
        if (viewSink_)
            viewSink_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

STDMETHODIMP COleControl::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

STDMETHODIMP COleControl::Load(LPSTREAM stream)
{
    if (!stream)
        return E_POINTER;
    SIZEL extent = {};
    ULONG read = 0;
    HRESULT result = stream->Read(&extent, sizeof extent, &read);
    if (FAILED(result))
        return result;
    if (read != sizeof extent)
        return E_FAIL;
    extent_ = extent;
    return S_OK;
}

STDMETHODIMP COleControl::Save(LPSTREAM stream, BOOL)
{
    if (!stream)
        return E_POINTER;
    return stream->Write(&extent_, sizeof extent_, nullptr);
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof extent_;
    return S_OK;
}

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info)
{
    if (!info)
        return E_POINTER;
    info->cb = sizeof *info;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

}  // namespace com
