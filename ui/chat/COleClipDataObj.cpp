#include "ui/chat/COleClipDataObj.h"

#include <cstring>

#include "ui/chat/CEnumFormatEtc.h"

COleClipDataObj* COleClipDataObj::FromText(const std::wstring& text)
{
    const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block)
        return nullptr;
    void* to = GlobalLock(block);
    std::memcpy(to, text.c_str(), bytes);
    GlobalUnlock(block);

    FORMATETC format = {CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    auto* object = new COleClipDataObj;
    object->SetData(&format, &medium, TRUE);
    return object;
}

COleClipDataObj::~COleClipDataObj()
{
    if (release_)
        ReleaseStgMedium(&medium_);
}

STDMETHODIMP COleClipDataObj::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDataObject) {
        *object = static_cast<IDataObject*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleClipDataObj::AddRef()
{
    return ++refs_;
}

STDMETHODIMP_(ULONG) COleClipDataObj::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

// The caller takes the block it is handed; a duplicate stays for the next
// request, so every GetData answers with a block of its own.
STDMETHODIMP COleClipDataObj::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!format || !medium)
        return E_INVALIDARG;
    if (QueryGetData(format) != S_OK || !(format->tymed & TYMED_HGLOBAL))
        return DV_E_FORMATETC;
    HGLOBAL copy = static_cast<HGLOBAL>(OleDuplicateData(medium_.hGlobal, CF_UNICODETEXT,
                                                         GMEM_MOVEABLE));
    if (!copy)
        return E_HANDLE;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = medium_.hGlobal;
    medium->pUnkForRelease = nullptr;
    medium_.hGlobal = copy;
    return S_OK;
}

STDMETHODIMP COleClipDataObj::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return DV_E_FORMATETC;
}

STDMETHODIMP COleClipDataObj::QueryGetData(FORMATETC* format)
{
    return format && format->cfFormat == CF_UNICODETEXT ? S_OK : DV_E_FORMATETC;
}

STDMETHODIMP COleClipDataObj::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleClipDataObj::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release)
{
    if (!format || !medium)
        return E_INVALIDARG;
    if (release_)
        ReleaseStgMedium(&medium_);
    format_ = *format;
    medium_ = *medium;
    release_ = release;
    return S_OK;
}

STDMETHODIMP COleClipDataObj::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats)
{
    if (!formats)
        return E_POINTER;
    *formats = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    *formats = new CEnumFormatEtc(&format_, 1);
    return S_OK;
}

STDMETHODIMP COleClipDataObj::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP COleClipDataObj::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

STDMETHODIMP COleClipDataObj::EnumDAdvise(IEnumSTATDATA**)
{
    return OLE_E_ADVISENOTSUPPORTED;
}
