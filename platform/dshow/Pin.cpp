#include "platform/dshow/Pin.h"

#include <cwchar>

#include "platform/dshow/Enumerators.h"
#include "platform/dshow/Filter.h"
#include "platform/dshow/MediaTypes.h"

CPin::CPin(CFilter* filter, PIN_DIRECTION direction, const wchar_t* name)
    : m_filter(filter), m_direction(direction)
{
    wcsncpy(m_name, name, MAX_PIN_NAME - 1);
}

CPin::~CPin()
{
    if (m_peer)
        m_peer->Release();
    FreeMediaType(m_type);
}

STDMETHODIMP CPin::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPin) {
        *object = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return QueryOther(iid, object);
}

HRESULT CPin::QueryOther(REFIID, void**)
{
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CPin::AddRef()
{
    return m_filter->AddRef();
}

STDMETHODIMP_(ULONG) CPin::Release()
{
    return m_filter->Release();
}

HRESULT CPin::GetMediaType(int, AM_MEDIA_TYPE*)
{
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT CPin::TryConnect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (CheckMediaType(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    HRESULT hr = receiver->ReceiveConnection(this, type);
    if (FAILED(hr))
        return hr;
    m_peer = receiver;
    m_peer->AddRef();
    CopyMediaType(&m_type, type);
    hr = CompleteConnect(receiver);
    if (FAILED(hr)) {
        receiver->Disconnect();
        Disconnect();
    }
    return hr;
}

STDMETHODIMP CPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* type)
{
    if (!receiver)
        return E_POINTER;
    if (m_direction != PINDIR_OUTPUT)
        return E_UNEXPECTED;
    if (m_peer)
        return VFW_E_ALREADY_CONNECTED;
    if (type && !IsEqualGUID(type->majortype, GUID_NULL) && !IsEqualGUID(type->subtype, GUID_NULL))
        return TryConnect(receiver, type);
    // Our own types first, then the receiver's.
    for (int i = 0;; ++i) {
        AM_MEDIA_TYPE offered = {};
        if (GetMediaType(i, &offered) != S_OK)
            break;
        HRESULT hr = TryConnect(receiver, &offered);
        FreeMediaType(offered);
        if (SUCCEEDED(hr))
            return hr;
    }
    IEnumMediaTypes* types = nullptr;
    if (SUCCEEDED(receiver->EnumMediaTypes(&types))) {
        AM_MEDIA_TYPE* offered = nullptr;
        while (types->Next(1, &offered, nullptr) == S_OK) {
            HRESULT hr = TryConnect(receiver, offered);
            DeleteMediaType(offered);
            if (SUCCEEDED(hr)) {
                types->Release();
                return hr;
            }
        }
        types->Release();
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

STDMETHODIMP CPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type)
{
    if (!connector || !type)
        return E_POINTER;
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    if (m_peer)
        return VFW_E_ALREADY_CONNECTED;
    if (CheckMediaType(type) != S_OK)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_peer = connector;
    m_peer->AddRef();
    CopyMediaType(&m_type, type);
    HRESULT hr = CompleteConnect(connector);
    if (FAILED(hr))
        Disconnect();
    return hr;
}

STDMETHODIMP CPin::Disconnect()
{
    if (!m_peer)
        return S_FALSE;
    BreakConnect();
    m_peer->Release();
    m_peer = nullptr;
    FreeMediaType(m_type);
    m_type = AM_MEDIA_TYPE();
    return S_OK;
}

STDMETHODIMP CPin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    *pin = m_peer;
    if (!m_peer)
        return VFW_E_NOT_CONNECTED;
    m_peer->AddRef();
    return S_OK;
}

STDMETHODIMP CPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type)
        return E_POINTER;
    if (!m_peer) {
        *type = AM_MEDIA_TYPE();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(type, &m_type);
}

STDMETHODIMP CPin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = m_direction;
    wcsncpy(info->achName, m_name, MAX_PIN_NAME);
    return S_OK;
}

STDMETHODIMP CPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = m_direction;
    return S_OK;
}

STDMETHODIMP CPin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    size_t bytes = (wcslen(m_name) + 1) * sizeof(wchar_t);
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!*id)
        return E_OUTOFMEMORY;
    memcpy(*id, m_name, bytes);
    return S_OK;
}

STDMETHODIMP CPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    return CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = new CEnumMediaTypes(this);
    return S_OK;
}

STDMETHODIMP CPin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CPin::EndOfStream()
{
    return OnEndOfStream();
}

STDMETHODIMP CPin::BeginFlush()
{
    InterlockedExchange(&m_flushing, 1);
    return OnBeginFlush();
}

STDMETHODIMP CPin::EndFlush()
{
    InterlockedExchange(&m_flushing, 0);
    return OnEndFlush();
}

STDMETHODIMP CPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return OnNewSegment(start, stop, rate);
}

// Output pins.

COutputPin::~COutputPin()
{
    BreakConnect();
}

HRESULT COutputPin::CompleteConnect(IPin* peer)
{
    HRESULT hr = peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_input));
    if (FAILED(hr))
        return VFW_E_NO_TRANSPORT;
    ALLOCATOR_PROPERTIES needs = {1, 1, 1, 0};
    BufferNeeds(&needs);
    ALLOCATOR_PROPERTIES theirs = {};
    if (SUCCEEDED(m_input->GetAllocatorRequirements(&theirs))) {
        if (theirs.cBuffers > needs.cBuffers)
            needs.cBuffers = theirs.cBuffers;
        if (theirs.cbAlign > needs.cbAlign)
            needs.cbAlign = theirs.cbAlign;
        needs.cbPrefix = theirs.cbPrefix;
    }
    if (FAILED(m_input->GetAllocator(&m_allocator)) &&
        FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IMemAllocator, reinterpret_cast<void**>(&m_allocator))))
        return VFW_E_NO_ALLOCATOR;
    ALLOCATOR_PROPERTIES actual = {};
    hr = m_allocator->SetProperties(&needs, &actual);
    if (SUCCEEDED(hr) && actual.cbBuffer < needs.cbBuffer)
        hr = VFW_E_SIZENOTSET;
    if (SUCCEEDED(hr))
        hr = m_input->NotifyAllocator(m_allocator, FALSE);
    return hr;
}

void COutputPin::BreakConnect()
{
    if (m_allocator) {
        m_allocator->Decommit();
        m_allocator->Release();
        m_allocator = nullptr;
    }
    if (m_input) {
        m_input->Release();
        m_input = nullptr;
    }
}

HRESULT COutputPin::Active()
{
    return m_allocator ? m_allocator->Commit() : S_OK;
}

HRESULT COutputPin::Inactive()
{
    return m_allocator ? m_allocator->Decommit() : S_OK;
}

HRESULT COutputPin::GetBuffer(IMediaSample** sample)
{
    if (!m_allocator)
        return VFW_E_NOT_CONNECTED;
    return m_allocator->GetBuffer(sample, nullptr, nullptr, 0);
}

HRESULT COutputPin::Deliver(IMediaSample* sample)
{
    return m_input ? m_input->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPin::DeliverEndOfStream()
{
    return Peer() ? Peer()->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPin::DeliverBeginFlush()
{
    return Peer() ? Peer()->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPin::DeliverEndFlush()
{
    return Peer() ? Peer()->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT COutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return Peer() ? Peer()->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

// Input pins.

CInputPin::~CInputPin()
{
    if (m_allocator)
        m_allocator->Release();
}

HRESULT CInputPin::QueryOther(REFIID iid, void** object)
{
    if (iid == IID_IMemInputPin) {
        *object = static_cast<IMemInputPin*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CInputPin::GetAllocator(IMemAllocator** allocator)
{
    if (!allocator)
        return E_POINTER;
    if (!m_allocator &&
        FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IMemAllocator, reinterpret_cast<void**>(&m_allocator))))
        return VFW_E_NO_ALLOCATOR;
    *allocator = m_allocator;
    m_allocator->AddRef();
    return S_OK;
}

STDMETHODIMP CInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL)
{
    if (!allocator)
        return E_POINTER;
    allocator->AddRef();
    if (m_allocator)
        m_allocator->Release();
    m_allocator = allocator;
    return S_OK;
}

STDMETHODIMP CInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CInputPin::Receive(IMediaSample* sample)
{
    if (!sample)
        return E_POINTER;
    if (IsFlushing())
        return S_FALSE;
    if (m_filter->State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    return OnReceive(sample);
}

STDMETHODIMP CInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* done)
{
    long i = 0;
    HRESULT hr = S_OK;
    for (; i < count && hr == S_OK; ++i)
        hr = Receive(samples[i]);
    if (done)
        *done = i;
    return hr;
}

STDMETHODIMP CInputPin::ReceiveCanBlock()
{
    return S_OK;
}
