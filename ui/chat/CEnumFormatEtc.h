#pragma once

#include <windows.h>
#include <objidl.h>

#include <vector>

// An enumerator over a copied list of clipboard formats; each target-device
// record is copied into task memory and freed with the enumerator.
class CEnumFormatEtc : public IEnumFORMATETC {
public:
    CEnumFormatEtc(const FORMATETC* formats, ULONG count);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG count, FORMATETC* formats, ULONG* fetched) override;
    STDMETHODIMP Skip(ULONG count) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFORMATETC** copy) override;

private:
    virtual ~CEnumFormatEtc();
    static void CopyFormat(FORMATETC& to, const FORMATETC& from);

    ULONG refs_ = 1;
    ULONG position_ = 0;
    std::vector<FORMATETC> formats_;
};
