#pragma once
// The event sink a host derives from to hear its control: it finds the
// control's default source interface, advises at that connection point and
// hands each event of its map to OnEvent by dispatch id. The host owns the
// sink's lifetime (AddRef and Release count nothing) and unadvises before
// the control goes; a sink still advised at destruction unadvises itself.
#include <windows.h>
#include <ocidl.h>

#include <string>

namespace axhost {

// One event the sink handles: its dispatch id and its number of arguments.
struct EventEntry {
    DISPID id;
    UINT argCount;
};

// The arguments of one event in declaration order (the caller's rgvarg holds
// them last first). Only built for a call whose count matches the map.
class EventArgs {
public:
    explicit EventArgs(const DISPPARAMS& params) : params_(params) {}
    UINT Count() const { return params_.cArgs; }
    const VARIANT& operator[](UINT index) const { return params_.rgvarg[params_.cArgs - 1 - index]; }
    // The argument converted (by reference or not); fallback when it cannot be.
    long Long(UINT index, long fallback = 0) const;
    double Double(UINT index, double fallback = 0) const;
    std::wstring Text(UINT index) const;

private:
    const DISPPARAMS& params_;
};

class CDispEventSink : public IDispatch {
public:
    // Advises at the control's default source: the one the control names
    // through IProvideClassInfo2 (or its class information), else the
    // published interface given at construction.
    HRESULT DispEventAdvise(IUnknown* control);
    HRESULT DispEventUnadvise();
    bool IsAdvised() const { return point_ != nullptr; }
    // True while an event is being handled: the control is in the middle of
    // raising it, and must not be released from under itself.
    bool IsFiring() const { return firing_ > 0; }
    // The interface advised (the published one before any advise).
    const IID& EventInterface() const { return events_; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return E_NOTIMPL;
    }
    // Events outside the map, and events whose argument count differs from
    // the map's, are ignored (S_OK): the handler never reads past rgvarg.
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

protected:
    CDispEventSink(const EventEntry* map, size_t count, REFIID published)
        : map_(map), count_(count), events_(published) {}
    virtual ~CDispEventSink();
    CDispEventSink(const CDispEventSink&) = delete;
    CDispEventSink& operator=(const CDispEventSink&) = delete;

    // One event of the map, with exactly its mapped number of arguments.
    virtual void OnEvent(DISPID id, const EventArgs& args) = 0;

private:
    const EventEntry* map_;
    size_t count_;
    IID events_;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
    int firing_ = 0;   // events being handled, nested ones counted
};

// The default source interface a control names for itself; false when it
// names none.
bool FindDefaultSource(IUnknown* control, IID* events);

}  // namespace axhost
