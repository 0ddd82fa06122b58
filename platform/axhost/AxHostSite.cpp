#include "platform/axhost/AxHostSite.h"

#include <olectl.h>

namespace axhost {

namespace {

// Pixels of the screen to HIMETRIC (0.01 mm), as OLE extents are given.
SIZEL PixelsToHimetric(LONG width, LONG height)
{
    HDC screen = GetDC(nullptr);
    const int dpiX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int dpiY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    SIZEL size = {MulDiv(width, 2540, dpiX), MulDiv(height, 2540, dpiY)};
    return size;
}

// A class id in braces, or a ProgID.
HRESULT ClassFromName(LPCOLESTR name, CLSID* clsid)
{
    if (!name || !*name)
        return E_INVALIDARG;
    if (name[0] == L'{')
        return CLSIDFromString(const_cast<LPOLESTR>(name), clsid);
    return CLSIDFromProgID(name, clsid);
}

}  // namespace

CAxHostSite::~CAxHostSite()
{
    ReleaseControl();
}

STDMETHODIMP CAxHostSite::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite))
        *object = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceSite))
        *object = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(iid, IID_IOleInPlaceUIWindow) || IsEqualIID(iid, IID_IOleInPlaceFrame))
        *object = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(iid, IID_IOleControlSite))
        *object = static_cast<IOleControlSite*>(this);
    else if (IsEqualIID(iid, IID_IAxWinHostWindow))
        *object = static_cast<IAxWinHostWindow*>(this);
    else if (IsEqualIID(iid, IID_IDispatch))
        *object = static_cast<IDispatch*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CAxHostSite::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
}

STDMETHODIMP_(ULONG) CAxHostSite::Release()
{
    LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CAxHostSite::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CAxHostSite::GetContainer(IOleContainer** container)
{
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CAxHostSite::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = window_;
    return S_OK;
}

STDMETHODIMP CAxHostSite::OnInPlaceActivate()
{
    if (!inPlaceObject_ && oleObject_)
        oleObject_->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlaceObject_));
    return S_OK;
}

STDMETHODIMP CAxHostSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                           LPRECT position, LPRECT clip,
                                           LPOLEINPLACEFRAMEINFO info)
{
    if (!frame || !document || !position || !clip)
        return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(window_, position);
    *clip = *position;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

STDMETHODIMP CAxHostSite::OnInPlaceDeactivate()
{
    if (inPlaceObject_) {
        inPlaceObject_->Release();
        inPlaceObject_ = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CAxHostSite::OnPosRectChange(LPCRECT position)
{
    if (!position)
        return E_POINTER;
    if (inPlaceObject_)
        inPlaceObject_->SetObjectRects(position, position);
    return S_OK;
}

STDMETHODIMP CAxHostSite::SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR)
{
    if (object)
        object->AddRef();
    if (activeObject_)
        activeObject_->Release();
    activeObject_ = object;
    return S_OK;
}

STDMETHODIMP CAxHostSite::GetExtendedControl(IDispatch** control)
{
    if (!control)
        return E_POINTER;
    *control = nullptr;
    return control_ ? control_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(control))
                    : E_NOTIMPL;
}

STDMETHODIMP CAxHostSite::CreateControl(LPCOLESTR name, HWND window, IStream* stream)
{
    return CreateControlEx(name, window, stream, nullptr, IID_NULL, nullptr);
}

STDMETHODIMP CAxHostSite::CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                          IUnknown** control, REFIID adviseIid,
                                          IUnknown* adviseSink)
{
    if (control)
        *control = nullptr;
    if (!IsOwnWindow(window))
        return E_INVALIDARG;
    CLSID clsid;
    HRESULT result = ClassFromName(name, &clsid);
    if (FAILED(result))
        return result;
    IUnknown* created = nullptr;
    result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void**>(&created));
    if (FAILED(result))
        return result;

    // A stream given by the caller holds the control's saved state.
    IPersistStreamInit* persist = nullptr;
    if (SUCCEEDED(created->QueryInterface(IID_IPersistStreamInit,
                                          reinterpret_cast<void**>(&persist)))) {
        IOleObject* ole = nullptr;
        DWORD status = 0;
        if (SUCCEEDED(created->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
            ole->GetMiscStatus(DVASPECT_CONTENT, &status);
            if (status & OLEMISC_SETCLIENTSITEFIRST)
                ole->SetClientSite(this);
            ole->Release();
        }
        result = stream ? persist->Load(stream) : persist->InitNew();
        persist->Release();
    }
    if (SUCCEEDED(result))
        result = AttachControl(created, window);
    if (SUCCEEDED(result) && adviseSink && !IsEqualIID(adviseIid, IID_NULL)) {
        DWORD cookie = 0;
        IConnectionPointContainer* container = nullptr;
        IConnectionPoint* point = nullptr;
        result = created->QueryInterface(IID_IConnectionPointContainer,
                                         reinterpret_cast<void**>(&container));
        if (SUCCEEDED(result))
            result = container->FindConnectionPoint(adviseIid, &point);
        if (SUCCEEDED(result))
            result = point->Advise(adviseSink, &cookie);
        if (point)
            point->Release();
        if (container)
            container->Release();
        if (FAILED(result))
            ReleaseControl();
    }
    if (FAILED(result)) {
        // A control sited before its state was loaded is told to let go.
        if (!control_) {
            IOleObject* ole = nullptr;
            if (SUCCEEDED(created->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole)))) {
                ole->SetClientSite(nullptr);
                ole->Release();
            }
        }
        created->Release();
        return result;
    }
    if (control) {
        *control = created;
        created->AddRef();
    }
    created->Release();
    return S_OK;
}

STDMETHODIMP CAxHostSite::AttachControl(IUnknown* control, HWND window)
{
    if (!control)
        return E_POINTER;
    if (!IsOwnWindow(window))
        return E_INVALIDARG;
    IOleObject* ole = nullptr;
    HRESULT result = control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&ole));
    if (FAILED(result))
        return result;
    ReleaseControl();

    control_ = control;
    control_->AddRef();
    oleObject_ = ole;
    IOleClientSite* current = nullptr;
    if (FAILED(oleObject_->GetClientSite(&current)) || !current)
        result = oleObject_->SetClientSite(this);
    if (current)
        current->Release();

    RECT client;
    GetClientRect(window_, &client);
    SIZEL extent = PixelsToHimetric(client.right - client.left, client.bottom - client.top);
    if (SUCCEEDED(result)) {
        oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
        result = oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, window_, &client);
    }
    if (FAILED(result)) {
        ReleaseControl();
        return result;
    }
    return S_OK;
}

STDMETHODIMP CAxHostSite::QueryControl(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return control_ ? control_->QueryInterface(iid, object) : E_NOINTERFACE;
}

STDMETHODIMP CAxHostSite::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CAxHostSite::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result,
                                 EXCEPINFO*, UINT*)
{
    if (!result)
        return E_POINTER;
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_TRUE;
        return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
        result->vt = VT_BOOL;
        result->boolVal = VARIANT_FALSE;
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

void CAxHostSite::Resize()
{
    if (!inPlaceObject_)
        return;
    RECT client;
    GetClientRect(window_, &client);
    if (oleObject_) {
        SIZEL extent = PixelsToHimetric(client.right - client.left, client.bottom - client.top);
        oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
    }
    inPlaceObject_->SetObjectRects(&client, &client);
}

void CAxHostSite::ReleaseControl()
{
    if (activeObject_) {
        activeObject_->Release();
        activeObject_ = nullptr;
    }
    if (inPlaceObject_) {
        IOleInPlaceObject* inPlace = inPlaceObject_;
        inPlace->AddRef();
        inPlace->InPlaceDeactivate();
        inPlace->Release();
        OnInPlaceDeactivate();
    }
    if (oleObject_) {
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
        oleObject_->Release();
        oleObject_ = nullptr;
    }
    if (control_) {
        control_->Release();
        control_ = nullptr;
    }
}

HWND CAxHostSite::ControlWindow() const
{
    HWND window = nullptr;
    if (!inPlaceObject_ || FAILED(inPlaceObject_->GetWindow(&window)))
        return nullptr;
    return window;
}

}  // namespace axhost
