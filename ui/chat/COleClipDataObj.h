#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>

// What a copy from a chat rich edit puts on the clipboard: one medium of one
// format (Unicode text with emoticons as their bare codes).
class COleClipDataObj : public IDataObject {
public:
    // A data object holding text as CF_UNICODETEXT in a movable global block,
    // with one reference for the caller; null when memory runs out.
    static COleClipDataObj* FromText(const std::wstring& text);

    COleClipDataObj() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                         DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advises) override;

private:
    virtual ~COleClipDataObj();

    ULONG refs_ = 1;
    BOOL release_ = FALSE;
    STGMEDIUM medium_ = {};
    FORMATETC format_ = {};
};
