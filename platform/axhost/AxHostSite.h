#pragma once
#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include "platform/axhost/AxWinHostWindow.h"

namespace axhost {

// The container side of one host window: the client site, in-place site and
// frame the control talks to, its ambient properties (user mode), and
// IAxWinHostWindow. Counted; the window holds one reference.
class CAxHostSite : public IOleClientSite,
                    public IOleInPlaceSite,
                    public IOleInPlaceFrame,
                    public IOleControlSite,
                    public IAxWinHostWindow,
                    public IDispatch {
public:
    explicit CAxHostSite(HWND window) : window_(window) {}
    CAxHostSite(const CAxHostSite&) = delete;
    CAxHostSite& operator=(const CAxHostSite&) = delete;

    IUnknown* Control() const { return control_; }
    // Keeps the control on the client area.
    void Resize();
    // Deactivates, closes and releases the control (the window is going).
    void ReleaseControl();
    // The control's window, where reflected messages go; null without one.
    HWND ControlWindow() const;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override;
    STDMETHODIMP GetContainer(IOleContainer** container) override;
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT position) override;

    // IOleInPlaceUIWindow, IOleInPlaceFrame: no tools, menus or status line.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** control) override;
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(LPMSG, DWORD) override { return S_FALSE; }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IAxWinHostWindow. The window argument must be this host's (or null);
    // no page scripting: no external dispatch or UI handler.
    STDMETHODIMP CreateControl(LPCOLESTR name, HWND window, IStream* stream) override;
    STDMETHODIMP CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                 IUnknown** control, REFIID adviseIid,
                                 IUnknown* adviseSink) override;
    STDMETHODIMP AttachControl(IUnknown* control, HWND window) override;
    STDMETHODIMP QueryControl(REFIID iid, void** object) override;
    STDMETHODIMP SetExternalDispatch(IDispatch*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExternalUIHandler(IDocHostUIHandlerDispatch*) override { return E_NOTIMPL; }

    // IDispatch: the ambient properties.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    ~CAxHostSite();
    bool IsOwnWindow(HWND window) const { return !window || window == window_; }

    volatile LONG refs_ = 1;
    HWND window_;
    IUnknown* control_ = nullptr;
    IOleObject* oleObject_ = nullptr;
    IOleInPlaceObject* inPlaceObject_ = nullptr;    // set while in-place active
    IOleInPlaceActiveObject* activeObject_ = nullptr;
};

}  // namespace axhost
