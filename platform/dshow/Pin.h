#pragma once

#include <dshow.h>

class CFilter;

// A pin: its reference count is its filter's. Derived pins say which media
// types they offer and accept and what a connection needs.
class CPin : public IPin {
public:
    CPin(CFilter* filter, PIN_DIRECTION direction, const wchar_t* name);
    virtual ~CPin();
    CPin(const CPin&) = delete;
    CPin& operator=(const CPin&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // S_OK when the pin takes the type.
    virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
    // The i-th type the pin offers; VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type);

    IPin* Peer() const { return m_peer; }
    const AM_MEDIA_TYPE& MediaType() const { return m_type; }
    bool IsConnected() const { return m_peer != nullptr; }
    CFilter* Filter() const { return m_filter; }
    bool IsFlushing() const { return m_flushing != 0; }

protected:
    virtual HRESULT QueryOther(REFIID iid, void** object);
    // After the type is agreed: allocators, readers. A failure undoes the connection.
    virtual HRESULT CompleteConnect(IPin* peer) { return S_OK; }
    virtual void BreakConnect() {}
    virtual HRESULT OnEndOfStream() { return S_OK; }
    virtual HRESULT OnBeginFlush() { return S_OK; }
    virtual HRESULT OnEndFlush() { return S_OK; }
    virtual HRESULT OnNewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return S_OK; }

    CFilter* m_filter;   // owns this pin
    volatile LONG m_flushing = 0;

private:
    HRESULT TryConnect(IPin* receiver, const AM_MEDIA_TYPE* type);

    PIN_DIRECTION m_direction;
    wchar_t m_name[MAX_PIN_NAME] = {};
    IPin* m_peer = nullptr;
    AM_MEDIA_TYPE m_type = {};
};

// An output pin that pushes samples into a peer's IMemInputPin.
class COutputPin : public CPin {
public:
    COutputPin(CFilter* filter, const wchar_t* name) : CPin(filter, PINDIR_OUTPUT, name) {}
    ~COutputPin() override;

    HRESULT Active();     // commits the allocator
    HRESULT Inactive();   // decommits it, which also releases a waiting sender
    HRESULT GetBuffer(IMediaSample** sample);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

protected:
    // How many buffers of what size the pin needs.
    virtual void BufferNeeds(ALLOCATOR_PROPERTIES* needs) = 0;
    HRESULT CompleteConnect(IPin* peer) override;
    void BreakConnect() override;

private:
    IMemInputPin* m_input = nullptr;
    IMemAllocator* m_allocator = nullptr;
};

// An input pin that receives pushed samples.
class CInputPin : public CPin, public IMemInputPin {
public:
    CInputPin(CFilter* filter, const wchar_t* name) : CPin(filter, PINDIR_INPUT, name) {}
    ~CInputPin() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return CPin::QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return CPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CPin::Release(); }

    STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
    STDMETHODIMP Receive(IMediaSample* sample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** samples, long count, long* done) override;
    STDMETHODIMP ReceiveCanBlock() override;

protected:
    HRESULT QueryOther(REFIID iid, void** object) override;
    virtual HRESULT OnReceive(IMediaSample* sample) = 0;

private:
    IMemAllocator* m_allocator = nullptr;
};
