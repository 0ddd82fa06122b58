#pragma once

#include <dshow.h>

#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "platform/dshow/Filter.h"
#include "platform/dshow/Pin.h"
#include "platform/dshow/StreamInputPin.h"
#include "platform/dshow/realmedia/RmHeader.h"

class CRmSplitter;

// One elementary stream of the file, pushed to its decoder. Seeking asked of
// any output reaches the splitter; only the first connected one moves it, so
// the two renderers asking in turn seek once.
class CRmOutputPin : public COutputPin, public IMediaSeeking {
public:
    CRmOutputPin(CRmSplitter* splitter, const rm::StreamInfo& stream, const wchar_t* name);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return CPin::QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return CPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CPin::Release(); }

    ~CRmOutputPin() override;

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
    const rm::StreamInfo& Stream() const { return m_stream; }

    // Each output delivers from a thread of its own, so a renderer holding
    // one stream's sample (paused, or waiting for its time) never starves
    // the others. The queue keeps what the splitter hands over, in order.
    void StartDelivery();
    void StopDelivery();              // waits for the thread; drops what is queued
    void QueueSample(IMediaSample* sample);
    void QueueSegment(REFERENCE_TIME start, REFERENCE_TIME stop);
    void QueueEndOfStream();

    STDMETHODIMP GetCapabilities(DWORD* capabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* capabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* format) override;
    STDMETHODIMP QueryPreferredFormat(GUID* format) override;
    STDMETHODIMP GetTimeFormat(GUID* format) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* format) override;
    STDMETHODIMP SetTimeFormat(const GUID* format) override;
    STDMETHODIMP GetDuration(LONGLONG* duration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* stop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* current) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                              DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* current, LONGLONG* stop) override;
    STDMETHODIMP GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    STDMETHODIMP SetRate(double rate) override;
    STDMETHODIMP GetRate(double* rate) override;
    STDMETHODIMP GetPreroll(LONGLONG* preroll) override;

protected:
    void BufferNeeds(ALLOCATOR_PROPERTIES* needs) override;
    HRESULT QueryOther(REFIID iid, void** object) override;

private:
    struct Item {
        IMediaSample* sample;   // held; null for the two marks below
        bool endOfStream;
        REFERENCE_TIME start, stop;   // a new segment when neither of the above
    };
    static unsigned __stdcall DeliveryProc(void* self);
    void Deliveries();
    void Push(const Item& item);

    CRmSplitter* m_splitter;
    rm::StreamInfo m_stream;
    CRITICAL_SECTION m_queueLock;
    HANDLE m_queued;                 // set while items wait or the thread must end
    std::deque<Item> m_queue;        // guarded by m_queueLock
    bool m_stopDelivery = false;     // guarded by m_queueLock
    HANDLE m_deliveryThread = nullptr;
};

// "KELO RealMedia Splitter": reads a RealMedia file from its source's
// IAsyncReader and pushes each stream's packets, stamped with their times,
// from a thread of its own while the graph is paused or running.
class CRmSplitter : public CFilter {
public:
    CRmSplitter();
    ~CRmSplitter() override;
    static IBaseFilter* Create();

    LONGLONG Duration() const;
    LONGLONG Position() const { return m_segmentStart; }
    // Moves to `start` (100-ns units): the stream restarts from the packet
    // at or before it.
    HRESULT Seek(LONGLONG start, const CRmOutputPin* from);

protected:
    std::vector<CPin*> PinList() override;
    HRESULT OnActive() override;
    HRESULT OnInactive() override;

private:
    class Input : public CStreamInputPin {
    public:
        explicit Input(CRmSplitter* owner);

    protected:
        HRESULT OnReader(IAsyncReader* reader) override { return m_owner->ReadHeaders(reader); }
        void BreakConnect() override;

    private:
        CRmSplitter* m_owner;
    };

    HRESULT ReadHeaders(IAsyncReader* reader);
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, long length);
    std::uint64_t OffsetBefore(LONGLONG time);
    std::uint64_t FirstPacketFrom(std::uint64_t from);
    void StartStreaming();
    void StopStreaming(bool flush);
    static unsigned __stdcall ThreadProc(void* self);
    void Stream();
    CRmOutputPin* OutputFor(std::uint16_t stream);

    Input m_input;
    std::vector<CRmOutputPin*> m_outputs;   // deleted with the filter
    IAsyncReader* m_reader = nullptr;
    LONGLONG m_size = 0;
    rm::FileInfo m_info;
    HANDLE m_thread = nullptr;
    volatile LONG m_abort = 0;
    LONGLONG m_segmentStart = 0;               // 100-ns units
    std::uint64_t m_startOffset = 0;
    CRITICAL_SECTION m_seenLock;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> m_seen;   // (ms, offset), guarded
};
