#include "ui/chat/CEnumFormatEtc.h"

#include <cstring>

CEnumFormatEtc::CEnumFormatEtc(const FORMATETC* formats, ULONG count) : formats_(count)
{
    for (ULONG i = 0; i < count; ++i)
        CopyFormat(formats_[i], formats[i]);
}

CEnumFormatEtc::~CEnumFormatEtc()
{
    for (FORMATETC& format : formats_)
        CoTaskMemFree(format.ptd);
}

void CEnumFormatEtc::CopyFormat(FORMATETC& to, const FORMATETC& from)
{
    to = from;
    if (from.ptd) {
        to.ptd = static_cast<DVTARGETDEVICE*>(CoTaskMemAlloc(from.ptd->tdSize));
        if (to.ptd)
            std::memcpy(to.ptd, from.ptd, from.ptd->tdSize);
    }
}

STDMETHODIMP CEnumFormatEtc::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumFORMATETC) {
        *object = static_cast<IEnumFORMATETC*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumFormatEtc::AddRef()
{
    return ++refs_;
}

STDMETHODIMP_(ULONG) CEnumFormatEtc::Release()
{
    const ULONG left = --refs_;
    if (left == 0)
        delete this;
    return left;
}

STDMETHODIMP CEnumFormatEtc::Next(ULONG count, FORMATETC* formats, ULONG* fetched)
{
    if (!formats || (count > 1 && !fetched))
        return E_INVALIDARG;
    ULONG copied = 0;
    while (copied < count && position_ < formats_.size())
        CopyFormat(formats[copied++], formats_[position_++]);
    if (fetched)
        *fetched = copied;
    return copied == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFormatEtc::Skip(ULONG count)
{
    const ULONG left = static_cast<ULONG>(formats_.size()) - position_;
    position_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFormatEtc::Reset()
{
    position_ = 0;
    return S_OK;
}

STDMETHODIMP CEnumFormatEtc::Clone(IEnumFORMATETC** copy)
{
    if (!copy)
        return E_POINTER;
    auto* clone = new CEnumFormatEtc(formats_.data(), static_cast<ULONG>(formats_.size()));
    clone->position_ = position_;
    *copy = clone;
    return S_OK;
}
