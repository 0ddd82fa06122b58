#include "platform/dshow/realmedia/RmSplitter.h"

#include <process.h>

#include <algorithm>
#include <string>

#include "platform/dshow/FileHead.h"
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/MediaTypes.h"

namespace {

const LONGLONG kPerMs = 10000;   // 100-ns units in a millisecond

} // namespace

// Output pins.

CRmOutputPin::CRmOutputPin(CRmSplitter* splitter, const rm::StreamInfo& stream, const wchar_t* name)
    : COutputPin(splitter, name), m_splitter(splitter), m_stream(stream)
{
    InitializeCriticalSection(&m_queueLock);
    m_queued = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CRmOutputPin::~CRmOutputPin()
{
    StopDelivery();
    CloseHandle(m_queued);
    DeleteCriticalSection(&m_queueLock);
}

void CRmOutputPin::StartDelivery()
{
    if (m_deliveryThread)
        return;
    m_stopDelivery = false;
    m_deliveryThread =
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, DeliveryProc, this, 0, nullptr));
}

void CRmOutputPin::StopDelivery()
{
    if (!m_deliveryThread)
        return;
    EnterCriticalSection(&m_queueLock);
    m_stopDelivery = true;
    for (const Item& item : m_queue) {
        if (item.sample)
            item.sample->Release();
    }
    m_queue.clear();
    SetEvent(m_queued);
    LeaveCriticalSection(&m_queueLock);
    WaitForSingleObject(m_deliveryThread, INFINITE);
    CloseHandle(m_deliveryThread);
    m_deliveryThread = nullptr;
    ResetEvent(m_queued);
}

void CRmOutputPin::Push(const Item& item)
{
    EnterCriticalSection(&m_queueLock);
    if (m_stopDelivery) {
        if (item.sample)
            item.sample->Release();
    } else {
        m_queue.push_back(item);
        SetEvent(m_queued);
    }
    LeaveCriticalSection(&m_queueLock);
}

void CRmOutputPin::QueueSample(IMediaSample* sample)
{
    sample->AddRef();
    Push(Item{sample, false, 0, 0});
}

void CRmOutputPin::QueueSegment(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    Push(Item{nullptr, false, start, stop});
}

void CRmOutputPin::QueueEndOfStream()
{
    Push(Item{nullptr, true, 0, 0});
}

unsigned __stdcall CRmOutputPin::DeliveryProc(void* self)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CRmOutputPin*>(self)->Deliveries();
    CoUninitialize();
    return 0;
}

void CRmOutputPin::Deliveries()
{
    for (;;) {
        WaitForSingleObject(m_queued, INFINITE);
        EnterCriticalSection(&m_queueLock);
        if (m_stopDelivery) {
            LeaveCriticalSection(&m_queueLock);
            return;
        }
        if (m_queue.empty()) {
            ResetEvent(m_queued);
            LeaveCriticalSection(&m_queueLock);
            continue;
        }
        Item item = m_queue.front();
        m_queue.pop_front();
        LeaveCriticalSection(&m_queueLock);
        if (item.sample) {
            Deliver(item.sample);
            item.sample->Release();
        } else if (item.endOfStream) {
            DeliverEndOfStream();
        } else {
            DeliverNewSegment(item.start, item.stop, 1.0);
        }
    }
}

HRESULT CRmOutputPin::QueryOther(REFIID iid, void** object)
{
    if (iid == IID_IMediaSeeking) {
        *object = static_cast<IMediaSeeking*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CRmOutputPin::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0)
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE();
    type->subtype = SubtypeFromFourCC(m_stream.fourCC);
    type->bTemporalCompression = TRUE;
    if (m_stream.video) {
        type->majortype = MEDIATYPE_Video;
        type->formattype = FORMAT_VideoInfo;
        auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        if (!info)
            return E_OUTOFMEMORY;
        *info = VIDEOINFOHEADER();
        if (m_stream.framesPer65536s)
            info->AvgTimePerFrame = 10000000LL * 65536 / m_stream.framesPer65536s;
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = m_stream.width;
        info->bmiHeader.biHeight = m_stream.height;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = 24;
        info->bmiHeader.biCompression = m_stream.fourCC;
        type->cbFormat = sizeof(VIDEOINFOHEADER);
        type->pbFormat = reinterpret_cast<BYTE*>(info);
    } else {
        type->majortype = MEDIATYPE_Audio;
        type->formattype = FORMAT_WaveFormatEx;
        auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        if (!format)
            return E_OUTOFMEMORY;
        *format = WAVEFORMATEX();
        format->nChannels = m_stream.channels ? m_stream.channels : 2;
        format->nSamplesPerSec = m_stream.sampleRate ? m_stream.sampleRate : 44100;
        format->wBitsPerSample = m_stream.sampleBits ? m_stream.sampleBits : 16;
        format->nAvgBytesPerSec = m_stream.averageBitRate / 8;
        format->nBlockAlign = 1;
        type->cbFormat = sizeof(WAVEFORMATEX);
        type->pbFormat = reinterpret_cast<BYTE*>(format);
    }
    return S_OK;
}

HRESULT CRmOutputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    AM_MEDIA_TYPE offered = {};
    GetMediaType(0, &offered);
    bool same = IsEqualGUID(type->majortype, offered.majortype) &&
                IsEqualGUID(type->subtype, offered.subtype);
    FreeMediaType(offered);
    return same ? S_OK : S_FALSE;
}

void CRmOutputPin::BufferNeeds(ALLOCATOR_PROPERTIES* needs)
{
    needs->cBuffers = 64;
    needs->cbBuffer = 65536;   // a packet's length is 16 bits
}

STDMETHODIMP CRmOutputPin::GetCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    *capabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                    AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetDuration |
                    AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos;
    return S_OK;
}

STDMETHODIMP CRmOutputPin::CheckCapabilities(DWORD* capabilities)
{
    if (!capabilities)
        return E_POINTER;
    DWORD ours = 0;
    GetCapabilities(&ours);
    DWORD asked = *capabilities;
    *capabilities &= ours;
    return *capabilities == asked ? S_OK : (*capabilities ? S_FALSE : E_FAIL);
}

STDMETHODIMP CRmOutputPin::IsFormatSupported(const GUID* format)
{
    return format && IsEqualGUID(*format, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
}

STDMETHODIMP CRmOutputPin::QueryPreferredFormat(GUID* format)
{
    return GetTimeFormat(format);
}

STDMETHODIMP CRmOutputPin::GetTimeFormat(GUID* format)
{
    if (!format)
        return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CRmOutputPin::IsUsingTimeFormat(const GUID* format)
{
    return IsFormatSupported(format);
}

STDMETHODIMP CRmOutputPin::SetTimeFormat(const GUID* format)
{
    return IsFormatSupported(format) == S_OK ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CRmOutputPin::GetDuration(LONGLONG* duration)
{
    if (!duration)
        return E_POINTER;
    *duration = m_splitter->Duration();
    return S_OK;
}

STDMETHODIMP CRmOutputPin::GetStopPosition(LONGLONG* stop)
{
    return GetDuration(stop);
}

STDMETHODIMP CRmOutputPin::GetCurrentPosition(LONGLONG* current)
{
    if (!current)
        return E_POINTER;
    *current = m_splitter->Position();
    return S_OK;
}

STDMETHODIMP CRmOutputPin::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                             LONGLONG source, const GUID* sourceFormat)
{
    if (!target)
        return E_POINTER;
    if ((targetFormat && !IsEqualGUID(*targetFormat, TIME_FORMAT_MEDIA_TIME)) ||
        (sourceFormat && !IsEqualGUID(*sourceFormat, TIME_FORMAT_MEDIA_TIME)))
        return E_INVALIDARG;
    *target = source;
    return S_OK;
}

STDMETHODIMP CRmOutputPin::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG*, DWORD)
{
    if ((currentFlags & AM_SEEKING_PositioningBitsMask) != AM_SEEKING_AbsolutePositioning)
        return S_OK;   // only absolute moves of the start
    if (!current)
        return E_POINTER;
    return m_splitter->Seek(*current, this);
}

STDMETHODIMP CRmOutputPin::GetPositions(LONGLONG* current, LONGLONG* stop)
{
    if (current)
        *current = m_splitter->Position();
    if (stop)
        *stop = m_splitter->Duration();
    return S_OK;
}

STDMETHODIMP CRmOutputPin::GetAvailable(LONGLONG* earliest, LONGLONG* latest)
{
    if (earliest)
        *earliest = 0;
    if (latest)
        *latest = m_splitter->Duration();
    return S_OK;
}

STDMETHODIMP CRmOutputPin::SetRate(double rate)
{
    return rate == 1.0 ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CRmOutputPin::GetRate(double* rate)
{
    if (!rate)
        return E_POINTER;
    *rate = 1.0;
    return S_OK;
}

STDMETHODIMP CRmOutputPin::GetPreroll(LONGLONG* preroll)
{
    if (!preroll)
        return E_POINTER;
    *preroll = 0;
    return S_OK;
}

// The splitter.

IBaseFilter* CRmSplitter::Create()
{
    return new CRmSplitter;
}

CRmSplitter::CRmSplitter() : CFilter(CLSID_KeloRealMediaSplitter), m_input(this)
{
    InitializeCriticalSection(&m_seenLock);
}

CRmSplitter::~CRmSplitter()
{
    StopStreaming(false);
    for (CRmOutputPin* pin : m_outputs)
        delete pin;
    if (m_reader)
        m_reader->Release();
    DeleteCriticalSection(&m_seenLock);
}

std::vector<CPin*> CRmSplitter::PinList()
{
    std::vector<CPin*> pins{&m_input};
    pins.insert(pins.end(), m_outputs.begin(), m_outputs.end());
    return pins;
}

LONGLONG CRmSplitter::Duration() const
{
    return m_info.durationMs * kPerMs;
}

CRmSplitter::Input::Input(CRmSplitter* owner)
    : CStreamInputPin(owner, MEDIASUBTYPE_TovraRealMedia), m_owner(owner)
{
}

void CRmSplitter::Input::BreakConnect()
{
    if (m_owner->m_reader) {
        m_owner->m_reader->Release();
        m_owner->m_reader = nullptr;
    }
}

bool CRmSplitter::ReadAt(std::uint64_t offset, std::uint8_t* buffer, long length)
{
    return m_reader && static_cast<LONGLONG>(offset + length) <= m_size &&
           m_reader->SyncRead(offset, length, buffer) == S_OK;
}

HRESULT CRmSplitter::ReadHeaders(IAsyncReader* reader)
{
    HRESULT hr = ReadFileHead(reader, [&](const std::uint8_t* bytes, std::size_t size, std::size_t* needed) {
        rm::ParseResult result = rm::ParseHeaders(bytes, size, &m_info, needed);
        return result == rm::ParseResult::Done ? 1 : result == rm::ParseResult::NeedMore ? 0 : -1;
    });
    if (FAILED(hr))
        return hr;
    LONGLONG available = 0;
    reader->Length(&m_size, &available);
    m_reader = reader;
    m_reader->AddRef();
    if (m_outputs.empty()) {
        int videos = 0, audios = 0;
        for (const rm::StreamInfo& stream : m_info.streams) {
            std::wstring name = stream.video ? L"Video " + std::to_wstring(videos++)
                                             : L"Audio " + std::to_wstring(audios++);
            m_outputs.push_back(new CRmOutputPin(this, stream, name.c_str()));
        }
    }
    m_startOffset = m_info.firstPacket;
    m_segmentStart = 0;
    return S_OK;
}

CRmOutputPin* CRmSplitter::OutputFor(std::uint16_t stream)
{
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->Stream().number == stream)
            return pin;
    }
    return nullptr;
}

HRESULT CRmSplitter::OnActive()
{
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->IsConnected())
            pin->Active();
    }
    StartStreaming();
    return S_OK;
}

HRESULT CRmSplitter::OnInactive()
{
    StopStreaming(false);
    for (CRmOutputPin* pin : m_outputs)
        pin->Inactive();
    return S_OK;
}

void CRmSplitter::StartStreaming()
{
    if (m_thread || !m_reader)
        return;
    InterlockedExchange(&m_abort, 0);
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->IsConnected())
            pin->StartDelivery();
    }
    m_thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, this, 0, nullptr));
}

void CRmSplitter::StopStreaming(bool flush)
{
    if (!m_thread)
        return;
    InterlockedExchange(&m_abort, 1);
    // Samples blocked downstream are let go by a flush; when stopping, the
    // renderers have stopped first and refuse them. The queues are dropped,
    // which frees buffers the reading thread may wait for.
    if (flush) {
        for (CRmOutputPin* pin : m_outputs) {
            if (pin->IsConnected())
                pin->DeliverBeginFlush();
        }
        m_reader->BeginFlush();
    }
    for (CRmOutputPin* pin : m_outputs)
        pin->StopDelivery();
    if (!flush) {
        for (CRmOutputPin* pin : m_outputs)
            pin->Inactive();
    }
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    if (flush) {
        m_reader->EndFlush();
        for (CRmOutputPin* pin : m_outputs) {
            if (pin->IsConnected())
                pin->DeliverEndFlush();
        }
    }
}

std::uint64_t CRmSplitter::OffsetBefore(LONGLONG time)
{
    const std::uint32_t ms = static_cast<std::uint32_t>(time / kPerMs);
    EnterCriticalSection(&m_seenLock);
    std::uint64_t offset = m_info.firstPacket;
    std::uint64_t next = m_info.firstPacket;
    bool beyond = false;
    for (const auto& seen : m_seen) {
        if (seen.first > ms) {
            beyond = true;
            break;
        }
        offset = seen.second;
    }
    if (!m_seen.empty())
        next = m_seen.back().second;
    LeaveCriticalSection(&m_seenLock);
    if (beyond)
        return offset;
    // Not streamed that far yet: guess the place from the time, as if the
    // stream's rate were even, and take the first packet from there. Reading
    // up to it instead would fetch everything before the target.
    std::uint64_t guess = m_info.firstPacket;
    if (m_info.durationMs > 0 && m_size > static_cast<LONGLONG>(m_info.firstPacket))
        guess += (m_size - m_info.firstPacket) * std::min(ms, m_info.durationMs) / m_info.durationMs;
    std::uint64_t found = FirstPacketFrom(std::max(guess, next));
    return found ? found : offset;
}

// The first offset at or after `from` where two packet headers follow each
// other (or one ends the file); 0 when none is found within 64 KB.
std::uint64_t CRmSplitter::FirstPacketFrom(std::uint64_t from)
{
    const long window = static_cast<long>(std::min<LONGLONG>(65536 + 2 * rm::kPacketHeaderMax, m_size - from));
    if (window < 12)
        return 0;
    std::vector<std::uint8_t> bytes(window);
    if (!ReadAt(from, bytes.data(), window))
        return 0;
    for (long at = 0; at + 12 <= window; ++at) {
        rm::PacketHeader header, following;
        if (!rm::ParsePacketHeader(bytes.data() + at, window - at, &header) || !OutputFor(header.stream) ||
            header.timeMs > m_info.durationMs + 1000)
            continue;
        std::uint64_t next = at + header.length;
        if (from + next == static_cast<std::uint64_t>(m_size))
            return from + at;
        if (next + 12 <= static_cast<std::uint64_t>(window) &&
            rm::ParsePacketHeader(bytes.data() + next, window - next, &following) &&
            OutputFor(following.stream))
            return from + at;
    }
    return 0;
}

HRESULT CRmSplitter::Seek(LONGLONG start, const CRmOutputPin* from)
{
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->IsConnected()) {
            if (pin != from)
                return S_OK;   // the first connected output leads
            break;
        }
    }
    if (start < 0 || start > Duration())
        return E_INVALIDARG;
    bool streaming = m_thread != nullptr;
    StopStreaming(true);
    m_startOffset = OffsetBefore(start);
    m_segmentStart = start;
    if (streaming)
        StartStreaming();
    return S_OK;
}

unsigned __stdcall CRmSplitter::ThreadProc(void* self)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<CRmSplitter*>(self)->Stream();
    CoUninitialize();
    return 0;
}

void CRmSplitter::Stream()
{
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->IsConnected())
            pin->QueueSegment(m_segmentStart, Duration());
    }
    std::vector<std::uint8_t> packet(65536);
    std::uint64_t offset = m_startOffset;
    bool first = true;
    while (!m_abort && static_cast<LONGLONG>(offset) + 12 <= m_size) {
        rm::PacketHeader header;
        if (!ReadAt(offset, packet.data(), 12) ||
            !rm::ParsePacketHeader(packet.data(), 12, &header) ||
            !ReadAt(offset, packet.data(), header.length))
            break;
        EnterCriticalSection(&m_seenLock);
        if (m_seen.empty() || m_seen.back().second < offset)
            m_seen.emplace_back(header.timeMs, offset);
        LeaveCriticalSection(&m_seenLock);
        offset += header.length;

        CRmOutputPin* pin = OutputFor(header.stream);
        if (!pin || !pin->IsConnected())
            continue;
        IMediaSample* sample = nullptr;
        if (FAILED(pin->GetBuffer(&sample)))
            break;
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        long payload = header.length - header.headerSize;
        memcpy(data, packet.data() + header.headerSize, payload);
        sample->SetActualDataLength(payload);
        REFERENCE_TIME begin = header.timeMs * kPerMs - m_segmentStart;
        REFERENCE_TIME end = begin + 1;
        sample->SetTime(&begin, &end);
        sample->SetSyncPoint((header.flags & 2) != 0);
        sample->SetDiscontinuity(first);
        first = false;
        pin->QueueSample(sample);
        sample->Release();
    }
    if (m_abort)
        return;
    for (CRmOutputPin* pin : m_outputs) {
        if (pin->IsConnected())
            pin->QueueEndOfStream();
    }
}
