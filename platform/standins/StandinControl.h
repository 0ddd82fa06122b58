#pragma once
// The base of every stand-in control: an in-process OLE control with a
// dispatch interface by member name, one outgoing event interface named
// through IProvideClassInfo2, a video window of the class the players' hooks
// look for, and a log line for every call. It refuses to activate without a
// client site.
//
// Adding a stand-in control:
//   1. one source file, a class deriving from CStandinControl with a static
//      `const wchar_t kName[]` (the log's and the knobs' name), its member
//      table and its Call;
//   2. one line in StandinClasses.cpp: { CLSID, ProgID or null, Create<Class> };
//   3. tests link `standin_support` and call RegisterStandins() first
//      (tests/platform/StandinSupport.h); knobs are set with SetStandinKnob.
// The published ids a host shares with its stand-in belong in
// platform/axhost/PublishedIds.h.
#include <windows.h>
#include <ocidl.h>

#include <new>
#include <string>
#include <vector>

#include "platform/com/ComModule.h"
#include "platform/com/ConnectionPoint.h"
#include "platform/com/OleControl.h"
#include "platform/standins/StandinKnobs.h"
#include "platform/standins/StandinLog.h"

namespace standins {

// A dispatch member: its name (matched ignoring case) and id.
struct Member {
    const wchar_t* name;
    DISPID id;
};

// The arguments of one call in declaration order.
class CallArgs {
public:
    explicit CallArgs(const DISPPARAMS& params) : params_(params) {}
    UINT Count() const { return params_.cArgs; }
    const VARIANT& operator[](UINT index) const { return params_.rgvarg[params_.cArgs - 1 - index]; }
    long Long(UINT index, long fallback = 0) const;
    std::wstring Text(UINT index) const;

private:
    const DISPPARAMS& params_;
};

// A call as the log shows it: "member=value" for a put, "member(a,b)" for a
// call with arguments or a plain method, the bare member for a read.
std::wstring CallLine(const std::wstring& member, WORD flags, const CallArgs& args);

class CStandinControl : public com::COleControl,
                        public IDispatch,
                        public IConnectionPointContainer,
                        public IProvideClassInfo2 {
public:
    struct Description {
        const CLSID& clsid;
        const wchar_t* name;         // "Flash"
        const Member* members;
        size_t memberCount;
        const IID& events;           // the default source interface
        const wchar_t* videoClass;   // the video window's class
    };

    explicit CStandinControl(const Description& description);
    ~CStandinControl() override;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch: every call is logged, then handed to Call.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IProvideClassInfo2: the default source only; no type library.
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IOleObject: activation is logged (and refused without a client site).
    STDMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                        HWND parent, LPCRECT position) override;

protected:
    // A member call: flags as Invoke's (DISPATCH_METHOD, _PROPERTYGET,
    // _PROPERTYPUT); result may be null.
    virtual HRESULT Call(DISPID id, WORD flags, const CallArgs& args, VARIANT* result) = 0;
    // Interfaces beyond the base's; null for none.
    virtual void* QueryExtra(REFIID) { return nullptr; }
    // The video window's messages; the default processing by default.
    virtual LRESULT VideoMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Raises an event on every advised sink; arguments in declaration order.
    HRESULT Fire(DISPID id, std::vector<VARIANT> args);
    void Log(const std::wstring& text) const;
    const wchar_t* Name() const { return description_.name; }
    HWND VideoWindow() const { return video_; }

    HWND CreateControlWindow(HWND parent, const RECT& position) override;
    HWND ControlWindow() const override { return video_; }
    void DestroyControlWindow() override;

private:
    static LRESULT CALLBACK VideoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    const wchar_t* MemberName(DISPID id) const;

    const Description& description_;
    volatile LONG refs_ = 1;
    com::CConnectionPoint events_;
    HWND video_ = nullptr;
    int firing_ = 0;   // events being raised, nested ones counted
};

// The class factory's creation of a stand-in; TOVRA_STANDIN_FAIL_CREATE
// naming the control makes it fail.
template <typename Control>
HRESULT CreateStandin(IUnknown* outer, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    if (CreationRefused(Control::kName)) {
        standins::Log(std::wstring(Control::kName) + L".Create refused");
        return E_FAIL;
    }
    Control* control = new (std::nothrow) Control();
    if (!control)
        return E_OUTOFMEMORY;
    HRESULT result = control->QueryInterface(iid, object);
    control->Release();
    return result;
}

// A black window class of this module with the arrow cursor, registered
// unless it already is; false when it could not be.
bool EnsureWindowClass(const wchar_t* name, UINT style, WNDPROC proc);

// An Invoke's parameters: an empty set for none, null when they cannot be
// read (arguments counted but not given).
const DISPPARAMS* InvokeParams(const DISPPARAMS* params);

// A member's answer, written only when the caller wants one.
void ReturnLong(VARIANT* result, long value);
void ReturnDouble(VARIANT* result, double value);
void ReturnBool(VARIANT* result, bool value);
void ReturnText(VARIANT* result, const std::wstring& text);

// Arguments for Fire.
VARIANT LongArg(long value);
VARIANT TextArg(const wchar_t* text);   // freed by Fire

}  // namespace standins
