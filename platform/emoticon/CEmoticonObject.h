#pragma once
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "ui/chat/EmoticonPicture.h"

class CPictureEx;

// The chat's emoticon picture: one animated GIF as an embeddable OLE object.
// A rich edit sizes it from its CF_BITMAP data, draws it through IViewObject
// and polls it for new frames (HasNewFrame / FrameDrawn); the frames advance
// on the thread that loaded it, which must be the rich edit's.
class CEmoticonObject final : public IEmoticonPicture,
                        public IOleObject,
                        public IViewObject2,
                        public IDataObject {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch: no names and no type information; the calls are by slot.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override;

    // IEmoticonPicture
    STDMETHODIMP LoadFromGlobal(HGLOBAL* block, LONG size) override;
    STDMETHODIMP SetHostWindow(HWND* window) override;
    STDMETHODIMP HasNewFrame(VARIANT_BOOL* redraw) override;
    STDMETHODIMP FrameDrawn(LONG reserved) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override;
    STDMETHODIMP Close(DWORD) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override;
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override;
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override;
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override;
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override;
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override;
    STDMETHODIMP Unadvise(DWORD) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override;
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override;

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc,
                      LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                      ULONG_PTR) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE**) override;
    STDMETHODIMP Freeze(DWORD, LONG, void*, DWORD*) override;
    STDMETHODIMP Unfreeze(DWORD) override;
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink*) override;
    STDMETHODIMP GetAdvise(DWORD*, DWORD*, IAdviseSink**) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, SIZEL* size) override;

    // IDataObject: the current frame as CF_BITMAP.
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override;
    STDMETHODIMP DUnadvise(DWORD) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override;

private:
    CEmoticonObject();
    ~CEmoticonObject();
    SIZEL HimetricSize() const;

    volatile LONG refs_ = 1;
    HWND host_ = nullptr;
    std::unique_ptr<CPictureEx> picture_;
    unsigned drawnStep_ = 0;
    IOleClientSite* site_ = nullptr;
    IAdviseSink* viewSink_ = nullptr;
};
