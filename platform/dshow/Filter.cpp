#include "platform/dshow/Filter.h"

#include <cwchar>

#include "platform/dshow/Enumerators.h"
#include "platform/dshow/Pin.h"

volatile LONG g_filterModuleLocks = 0;

CFilter::CFilter(const CLSID& clsid) : m_clsid(clsid)
{
    InitializeCriticalSection(&m_lock);
    InterlockedIncrement(&g_filterModuleLocks);
}

CFilter::~CFilter()
{
    if (m_clock)
        m_clock->Release();
    DeleteCriticalSection(&m_lock);
    InterlockedDecrement(&g_filterModuleLocks);
}

STDMETHODIMP CFilter::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
        iid == IID_IBaseFilter) {
        *object = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return QueryOther(iid, object);
}

HRESULT CFilter::QueryOther(REFIID, void**)
{
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CFilter::AddRef()
{
    return InterlockedIncrement(&m_refs);
}

STDMETHODIMP_(ULONG) CFilter::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP CFilter::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP CFilter::Stop()
{
    EnterCriticalSection(&m_lock);
    FILTER_STATE was = m_state;
    m_state = State_Stopped;
    LeaveCriticalSection(&m_lock);
    return was == State_Stopped ? S_OK : OnInactive();
}

STDMETHODIMP CFilter::Pause()
{
    EnterCriticalSection(&m_lock);
    FILTER_STATE was = m_state;
    m_state = State_Paused;
    LeaveCriticalSection(&m_lock);
    return was == State_Stopped ? OnActive() : S_OK;
}

STDMETHODIMP CFilter::Run(REFERENCE_TIME start)
{
    EnterCriticalSection(&m_lock);
    FILTER_STATE was = m_state;
    m_start = start;
    LeaveCriticalSection(&m_lock);
    if (was == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    EnterCriticalSection(&m_lock);
    m_state = State_Running;
    LeaveCriticalSection(&m_lock);
    return OnRun(start);
}

STDMETHODIMP CFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = m_state;
    return S_OK;
}

STDMETHODIMP CFilter::SetSyncSource(IReferenceClock* clock)
{
    EnterCriticalSection(&m_lock);
    if (clock)
        clock->AddRef();
    if (m_clock)
        m_clock->Release();
    m_clock = clock;
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

STDMETHODIMP CFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock)
        return E_POINTER;
    EnterCriticalSection(&m_lock);
    *clock = m_clock;
    if (m_clock)
        m_clock->AddRef();
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

std::vector<CPin*> CFilter::Pins()
{
    EnterCriticalSection(&m_lock);
    std::vector<CPin*> pins = PinList();
    LeaveCriticalSection(&m_lock);
    return pins;
}

STDMETHODIMP CFilter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    *pins = new CEnumPins(Pins());
    return S_OK;
}

STDMETHODIMP CFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    for (CPin* candidate : Pins()) {
        LPWSTR name = nullptr;
        if (SUCCEEDED(candidate->QueryId(&name))) {
            bool same = wcscmp(name, id) == 0;
            CoTaskMemFree(name);
            if (same) {
                *pin = candidate;
                candidate->AddRef();
                return S_OK;
            }
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    wcsncpy(info->achName, m_name, MAX_FILTER_NAME);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

STDMETHODIMP CFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    EnterCriticalSection(&m_lock);
    m_graph = graph;
    m_name[0] = 0;
    if (name)
        wcsncpy(m_name, name, MAX_FILTER_NAME - 1);
    LeaveCriticalSection(&m_lock);
    return S_OK;
}

STDMETHODIMP CFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

void CFilter::NotifyEvent(long code, LONG_PTR first, LONG_PTR second)
{
    IMediaEventSink* sink = nullptr;
    EnterCriticalSection(&m_lock);
    if (m_graph)
        m_graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink));
    LeaveCriticalSection(&m_lock);
    if (sink) {
        sink->Notify(code, first, second);
        sink->Release();
    }
}
