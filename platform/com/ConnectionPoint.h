#pragma once
#include <windows.h>
#include <ocidl.h>

#include <vector>

namespace com {

// One outgoing dispinterface of an object: the sinks a container advised,
// and the firing of an event to them. It lives inside its object and counts
// its references there; single-threaded, like the control that owns it.
class CConnectionPoint : public IConnectionPoint {
public:
    CConnectionPoint(IUnknown* owner, IConnectionPointContainer* container, REFIID events)
        : owner_(owner), container_(container), events_(events) {}
    ~CConnectionPoint();
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    REFIID EventsId() const { return events_; }
    size_t SinkCount() const;

    // Calls the event on every sink in the order they were advised, and stops
    // at the first sink whose Invoke fails; that failure is returned.
    HRESULT Fire(DISPID id, DISPPARAMS& params);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    IUnknown* owner_;
    IConnectionPointContainer* container_;
    const IID& events_;
    // A cookie is the slot's index + 1; an unadvised slot holds null.
    std::vector<IDispatch*> sinks_;
};

}  // namespace com
