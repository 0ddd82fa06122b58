#include "platform/dshow/asyncflt/ZarorSource.h"

#include <cwchar>

#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/MediaTypes.h"
#include "vod/reader/IReaderHost.h"
#include "vod/reader/PlayUrl.h"

namespace {

// A read that finds nothing yet is tried again this often, for at most this
// long in all: the engine answers 0 while the data is still on its way.
const DWORD kRetryMs = 10;
const DWORD kGiveUpMs = 30000;

const REFERENCE_TIME kUnits = 10000000;   // sample times carry byte positions x 10^7

GUID SubtypeForName(const std::wstring& name)
{
    std::wstring::size_type dot = name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot);
    if (extension == L".rm" || extension == L".rmvb")
        return MEDIASUBTYPE_TovraRealMedia;
    if (extension == L".wmv" || extension == L".wma" || extension == L".asf")
        return MEDIASUBTYPE_Asf;
    return MEDIASUBTYPE_NULL;
}

} // namespace

// The pin.

CZarorStreamPin::CZarorStreamPin(CZarorSource* source)
    : CPin(source, PINDIR_OUTPUT, L"Output"), m_source(source)
{
    InitializeCriticalSection(&m_queueLock);
    m_queued = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

HRESULT CZarorStreamPin::QueryOther(REFIID iid, void** object)
{
    if (iid == IID_IAsyncReader) {
        *object = static_cast<IAsyncReader*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CZarorStreamPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) &&
                   IsEqualGUID(type->subtype, m_source->Subtype())
               ? S_OK
               : S_FALSE;
}

HRESULT CZarorStreamPin::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0 || !m_source->Loaded())
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE();
    type->majortype = MEDIATYPE_Stream;
    type->subtype = m_source->Subtype();
    type->bFixedSizeSamples = TRUE;
    type->lSampleSize = 1;
    type->formattype = GUID_NULL;
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::RequestAllocator(IMemAllocator* preferred,
                                               ALLOCATOR_PROPERTIES* properties,
                                               IMemAllocator** actual)
{
    if (!properties || !actual)
        return E_POINTER;
    IMemAllocator* allocator = preferred;
    if (allocator) {
        allocator->AddRef();
    } else if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IMemAllocator, reinterpret_cast<void**>(&allocator)))) {
        return VFW_E_NO_ALLOCATOR;
    }
    ALLOCATOR_PROPERTIES wanted = *properties, got = {};
    if (wanted.cbAlign < 1)
        wanted.cbAlign = 1;
    HRESULT hr = allocator->SetProperties(&wanted, &got);
    if (FAILED(hr)) {
        allocator->Release();
        return hr;
    }
    *actual = allocator;
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::Request(IMediaSample* sample, DWORD_PTR user)
{
    if (!sample)
        return E_POINTER;
    if (IsFlushing())
        return VFW_E_WRONG_STATE;
    sample->AddRef();
    EnterCriticalSection(&m_queueLock);
    m_pending.push_back(Pending{sample, user});
    SetEvent(m_queued);
    LeaveCriticalSection(&m_queueLock);
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user)
{
    if (!sample || !user)
        return E_POINTER;
    *sample = nullptr;
    *user = 0;
    if (WaitForSingleObject(m_queued, timeoutMs) != WAIT_OBJECT_0)
        return VFW_E_TIMEOUT;
    EnterCriticalSection(&m_queueLock);
    if (m_pending.empty()) {
        LeaveCriticalSection(&m_queueLock);
        return VFW_E_WRONG_STATE;   // woken by a flush
    }
    Pending next = m_pending.front();
    m_pending.pop_front();
    if (m_pending.empty() && !IsFlushing())
        ResetEvent(m_queued);
    LeaveCriticalSection(&m_queueLock);
    *sample = next.sample;
    *user = next.user;
    if (IsFlushing())
        return VFW_E_WRONG_STATE;
    return ReadInto(next.sample);
}

HRESULT CZarorStreamPin::ReadInto(IMediaSample* sample)
{
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr))
        return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    LONGLONG offset = start / kUnits;
    LONG length = static_cast<LONG>(stop / kUnits - offset);
    if (length > sample->GetSize())
        length = sample->GetSize();
    int read = m_source->Read(offset, buffer, length, &m_flushing);
    if (read < 0)
        return E_FAIL;
    sample->SetActualDataLength(read);
    if (read < length) {
        REFERENCE_TIME end = (offset + read) * kUnits;
        sample->SetTime(&start, &end);
        return S_FALSE;
    }
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::SyncReadAligned(IMediaSample* sample)
{
    return sample ? ReadInto(sample) : E_POINTER;
}

STDMETHODIMP CZarorStreamPin::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    if (!buffer)
        return E_POINTER;
    int read = m_source->Read(position, buffer, length, &m_flushing);
    if (read < 0)
        return E_FAIL;
    return read == length ? S_OK : S_FALSE;
}

STDMETHODIMP CZarorStreamPin::Length(LONGLONG* total, LONGLONG* available)
{
    if (!total || !available)
        return E_POINTER;
    *total = *available = m_source->Size();
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::BeginFlush()
{
    InterlockedExchange(&m_flushing, 1);
    EnterCriticalSection(&m_queueLock);
    SetEvent(m_queued);
    LeaveCriticalSection(&m_queueLock);
    return S_OK;
}

STDMETHODIMP CZarorStreamPin::EndFlush()
{
    EnterCriticalSection(&m_queueLock);
    // Requests still queued are handed back, failed, by WaitForNext.
    if (m_pending.empty())
        ResetEvent(m_queued);
    InterlockedExchange(&m_flushing, 0);
    LeaveCriticalSection(&m_queueLock);
    return S_OK;
}

// The filter.

IBaseFilter* CZarorSource::Create()
{
    return new CZarorSource;
}

CZarorSource::CZarorSource() : CFilter(CLSID_VuzizAvezid), m_pin(this)
{
    InitializeCriticalSection(&m_readLock);
}

CZarorSource::~CZarorSource()
{
    DeleteCriticalSection(&m_readLock);
}

HRESULT CZarorSource::QueryOther(REFIID iid, void** object)
{
    if (iid == IID_IFileSourceFilter) {
        *object = static_cast<IFileSourceFilter*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

std::vector<CPin*> CZarorSource::PinList()
{
    return m_reader ? std::vector<CPin*>{&m_pin} : std::vector<CPin*>{};
}

STDMETHODIMP CZarorSource::Load(LPCOLESTR address, const AM_MEDIA_TYPE*)
{
    if (!address)
        return E_POINTER;
    if (m_reader)
        return E_UNEXPECTED;
    std::uintptr_t number = 0;
    std::wstring path;
    const wchar_t* scheme = wcsstr(address, L"zaror://");
    if (!scheme || !vod::ParseReaderHostUrl(scheme, &number, &path) || number == 0)
        return E_INVALIDARG;
    // The player calls through the number only for a running engine of this
    // process, which checked it before building the graph.
    auto* host = reinterpret_cast<inf::IReaderHost*>(number);
    std::string name(path.begin(), path.end());
    inf::IReader* reader = host->Open(name.c_str(), 0);
    if (!reader)
        return E_FAIL;
    long long size = reader->GetSize();
    if (size <= 0)
        return E_FAIL;
    m_address = address;
    m_name = name;
    m_host = host;
    m_reader = reader;
    m_size = size;
    m_subtype = SubtypeForName(path);
    m_openOffset = m_nextOffset = 0;
    return S_OK;
}

STDMETHODIMP CZarorSource::GetCurFile(LPOLESTR* address, AM_MEDIA_TYPE* type)
{
    if (!address)
        return E_POINTER;
    *address = nullptr;
    if (!m_reader)
        return S_OK;
    size_t bytes = (m_address.size() + 1) * sizeof(wchar_t);
    *address = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*address)
        return E_OUTOFMEMORY;
    memcpy(*address, m_address.c_str(), bytes);
    if (type) {
        *type = AM_MEDIA_TYPE();
        m_pin.GetMediaType(0, type);
    }
    return S_OK;
}

int CZarorSource::Read(std::uint64_t offset, BYTE* buffer, int length, volatile LONG* flushing)
{
    if (!m_reader)
        return -1;
    EnterCriticalSection(&m_readLock);
    if (offset > m_nextOffset || offset < m_openOffset) {
        m_reader = m_host->Open(m_name.c_str(), offset);
        if (!m_reader) {
            LeaveCriticalSection(&m_readLock);
            return -1;
        }
        m_openOffset = m_nextOffset = offset;
    }
    int done = 0;
    DWORD waited = 0;
    while (done < length && !*flushing) {
        int read = m_reader->Read(offset + done, buffer + done, length - done);
        if (read < 0)
            break;   // nothing will come here: the stream ends
        if (read == 0) {
            if (waited >= kGiveUpMs)
                break;
            Sleep(kRetryMs);
            waited += kRetryMs;
            continue;
        }
        done += read;
        waited = 0;
    }
    if (offset + done > m_nextOffset)
        m_nextOffset = offset + done;
    LeaveCriticalSection(&m_readLock);
    return done;
}
