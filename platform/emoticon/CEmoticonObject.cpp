#include "platform/emoticon/CEmoticonObject.h"

#include <shlobj.h>

#include <new>

#include "platform/com/ComModule.h"
#include "ui/CPictureEx.h"

namespace {

FORMATETC BitmapFormat()
{
    return {CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI};
}

template <class T>
void Replace(T*& slot, T* value)
{
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

}  // namespace

HRESULT CEmoticonObject::Create(IUnknown* outer, REFIID iid, void** object)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    CEmoticonObject* created = new (std::nothrow) CEmoticonObject();
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT result = created->QueryInterface(iid, object);
    created->Release();
    return result;
}

CEmoticonObject::CEmoticonObject()
{
    com::LockModule();
}

CEmoticonObject::~CEmoticonObject()
{
    picture_.reset();
    Replace(site_, static_cast<IOleClientSite*>(nullptr));
    Replace(viewSink_, static_cast<IAdviseSink*>(nullptr));
    com::UnlockModule();
}

STDMETHODIMP CEmoticonObject::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, IID_IEmoticonPicture))
        *object = static_cast<IEmoticonPicture*>(this);
    else if (IsEqualIID(iid, IID_IOleObject))
        *object = static_cast<IOleObject*>(this);
    else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2))
        *object = static_cast<IViewObject2*>(this);
    else if (IsEqualIID(iid, IID_IDataObject))
        *object = static_cast<IDataObject*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CEmoticonObject::AddRef()
{
    return InterlockedIncrement(&refs_);
}

STDMETHODIMP_(ULONG) CEmoticonObject::Release()
{
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CEmoticonObject::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info)
        *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::LoadFromGlobal(HGLOBAL* block, LONG size)
{
    if (!block || !*block || size <= 0)
        return E_INVALIDARG;
    auto picture = std::make_unique<CPictureEx>(host_);
    if (!picture->LoadFromMemory(*block, static_cast<DWORD>(size)))
        return E_FAIL;
    picture->Start();
    picture_ = std::move(picture);
    drawnStep_ = 0;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::SetHostWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    host_ = *window;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::HasNewFrame(VARIANT_BOOL* redraw)
{
    if (!redraw)
        return E_POINTER;
    *redraw = picture_ && picture_->GetStepCount() != drawnStep_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::FrameDrawn(LONG)
{
    if (picture_)
        drawnStep_ = picture_->GetStepCount();
    return S_OK;
}

STDMETHODIMP CEmoticonObject::SetClientSite(IOleClientSite* site)
{
    Replace(site_, site);
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetClientSite(IOleClientSite** site)
{
    if (!site)
        return E_POINTER;
    *site = site_;
    if (site_)
        site_->AddRef();
    return S_OK;
}

STDMETHODIMP CEmoticonObject::SetHostNames(LPCOLESTR, LPCOLESTR)
{
    return S_OK;
}

STDMETHODIMP CEmoticonObject::Close(DWORD)
{
    if (picture_)
        picture_->Stop();
    return S_OK;
}

STDMETHODIMP CEmoticonObject::SetMoniker(DWORD, IMoniker*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::InitFromData(IDataObject*, BOOL, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::GetClipboardData(DWORD, IDataObject** data)
{
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

// A picture has nothing to open or edit.
STDMETHODIMP CEmoticonObject::DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT)
{
    return OLEOBJ_S_CANNOT_DOVERB_NOW;
}

STDMETHODIMP CEmoticonObject::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (verbs)
        *verbs = nullptr;
    return OLEOBJ_E_NOVERBS;
}

STDMETHODIMP CEmoticonObject::Update()
{
    return S_OK;
}

STDMETHODIMP CEmoticonObject::IsUpToDate()
{
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetUserClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = CLSID_EmoticonPicture;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetUserType(DWORD, LPOLESTR* type)
{
    if (type)
        *type = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CEmoticonObject::SetExtent(DWORD, SIZEL*)
{
    return E_FAIL;   // drawn at the picture's own size
}

SIZEL CEmoticonObject::HimetricSize() const
{
    SIZE pixels = picture_ ? picture_->GetSize() : SIZE();
    HDC dc = GetDC(nullptr);
    SIZEL size = {MulDiv(pixels.cx, 2540, GetDeviceCaps(dc, LOGPIXELSX)),
                  MulDiv(pixels.cy, 2540, GetDeviceCaps(dc, LOGPIXELSY))};
    ReleaseDC(nullptr, dc);
    return size;
}

STDMETHODIMP CEmoticonObject::GetExtent(DWORD aspect, SIZEL* size)
{
    if (!size)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT || !picture_)
        return E_FAIL;
    *size = HimetricSize();
    return S_OK;
}

STDMETHODIMP CEmoticonObject::Advise(IAdviseSink*, DWORD* connection)
{
    if (connection)
        *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CEmoticonObject::Unadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CEmoticonObject::EnumAdvise(IEnumSTATDATA** advise)
{
    if (advise)
        *advise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CEmoticonObject::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = OLEMISC_STATIC;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::SetColorScheme(LOGPALETTE*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                                   LPCRECTL bounds, LPCRECTL,
                                   BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!dc || !bounds)
        return E_INVALIDARG;
    if (!picture_)
        return OLE_E_BLANK;
    SIZE size = picture_->GetSize();
    RECT where = {bounds->left, bounds->top, bounds->left + size.cx, bounds->top + size.cy};
    picture_->SetPaintRect(where);
    picture_->Draw(dc);
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                          LOGPALETTE** colours)
{
    if (colours)
        *colours = nullptr;
    return S_FALSE;
}

STDMETHODIMP CEmoticonObject::Freeze(DWORD, LONG, void*, DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::Unfreeze(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::SetAdvise(DWORD, DWORD, IAdviseSink* sink)
{
    Replace(viewSink_, sink);
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = DVASPECT_CONTENT;
    if (flags)
        *flags = 0;
    if (sink) {
        *sink = viewSink_;
        if (viewSink_)
            viewSink_->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, SIZEL* size)
{
    return GetExtent(aspect, size);
}

STDMETHODIMP CEmoticonObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium)
        return E_POINTER;
    HRESULT accepted = QueryGetData(format);
    if (accepted != S_OK)
        return accepted;
    if (!picture_)
        return OLE_E_BLANK;
    // A bitmap of the frame on show, the caller's to delete.
    SIZE size = picture_->GetSize();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size.cx, size.cy);
    ReleaseDC(nullptr, screen);
    if (!dc || !bitmap) {
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(bitmap);
        return E_OUTOFMEMORY;
    }
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT keep = picture_->GetPaintRect();
    picture_->SetPaintRect({0, 0, size.cx, size.cy});
    picture_->Draw(dc);
    picture_->SetPaintRect(keep);
    SelectObject(dc, old);
    DeleteDC(dc);
    medium->tymed = TYMED_GDI;
    medium->hBitmap = bitmap;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return DV_E_FORMATETC;
}

STDMETHODIMP CEmoticonObject::QueryGetData(FORMATETC* format)
{
    if (!format)
        return E_POINTER;
    if (format->cfFormat != CF_BITMAP)
        return DV_E_FORMATETC;
    if (!(format->tymed & TYMED_GDI))
        return DV_E_TYMED;
    if (format->dwAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    return S_OK;
}

STDMETHODIMP CEmoticonObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    return E_NOTIMPL;
}

STDMETHODIMP CEmoticonObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats)
{
    if (!formats)
        return E_POINTER;
    *formats = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    FORMATETC bitmap = BitmapFormat();
    return SHCreateStdEnumFmtEtc(1, &bitmap, formats);
}

STDMETHODIMP CEmoticonObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CEmoticonObject::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP CEmoticonObject::EnumDAdvise(IEnumSTATDATA** advise)
{
    if (advise)
        *advise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}
