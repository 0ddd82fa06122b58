#pragma once
// IAxWinHostWindow, the interface of a control-host window through which a
// program creates, attaches and reaches the control inside it. mingw-w64
// ships no ATL headers; this declaration follows the published interface.
#include <windows.h>
#include <ocidl.h>

struct IDocHostUIHandlerDispatch;

inline const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window,
                                                    IStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window,
                                                      IStream* stream, IUnknown** control,
                                                      REFIID adviseIid,
                                                      IUnknown* adviseSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE AttachControl(IUnknown* control, HWND window) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryControl(REFIID iid, void** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalDispatch(IDispatch* external) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExternalUIHandler(IDocHostUIHandlerDispatch* handler) = 0;
};
