#include "platform/com/ConnectionPoint.h"

#include <olectl.h>

#include "platform/com/Enumerator.h"

namespace com {

CConnectionPoint::~CConnectionPoint()
{
    for (IDispatch* sink : sinks_)
        if (sink)
            sink->Release();
}

size_t CConnectionPoint::SinkCount() const
{
    size_t count = 0;
    for (IDispatch* sink : sinks_)
        count += sink ? 1 : 0;
    return count;
}

HRESULT CConnectionPoint::Fire(DISPID id, DISPPARAMS& params)
{
    // A sink may unadvise itself or others from inside its Invoke: walk by
    // index and hold the sink while it is called.
    for (size_t i = 0; i < sinks_.size(); ++i) {
        IDispatch* sink = sinks_[i];
        if (!sink)
            continue;
        sink->AddRef();
        HRESULT result = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      nullptr, nullptr, nullptr);
        sink->Release();
        if (FAILED(result))
            return result;
    }
    return S_OK;
}

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
        *object = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = events_;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(events_, reinterpret_cast<void**>(&dispatch))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
        return CONNECT_E_CANNOTCONNECT;
    for (size_t i = 0; i < sinks_.size(); ++i) {
        if (!sinks_[i]) {
            sinks_[i] = dispatch;
            *cookie = static_cast<DWORD>(i + 1);
            return S_OK;
        }
    }
    sinks_.push_back(dispatch);
    *cookie = static_cast<DWORD>(sinks_.size());
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie)
{
    if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1])
        return CONNECT_E_NOCONNECTION;
    IDispatch* sink = sinks_[cookie - 1];
    sinks_[cookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    if (!connections)
        return E_POINTER;
    std::vector<CONNECTDATA> advised;
    for (size_t i = 0; i < sinks_.size(); ++i)
        if (sinks_[i])
            advised.push_back(CONNECTDATA{sinks_[i], static_cast<DWORD>(i + 1)});
    return CEnumConnections::Create(advised, connections);
}

}  // namespace com
