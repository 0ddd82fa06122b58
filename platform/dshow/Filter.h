#pragma once

#include <dshow.h>

#include <vector>

class CPin;

// Objects alive and server locks of the DLL this base is linked into: what
// DllCanUnloadNow looks at.
extern volatile LONG g_filterModuleLocks;

// The filter side every stand-in filter shares: reference counting,
// IBaseFilter with its state, clock and graph, and the pin list a derived
// filter fills. Extra interfaces come through QueryOther.
class CFilter : public IBaseFilter {
public:
    CFilter(const CLSID& clsid);
    virtual ~CFilter();
    CFilter(const CFilter&) = delete;
    CFilter& operator=(const CFilter&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetClassID(CLSID* clsid) override;

    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

    // Pins, in enumeration order (the filter keeps them alive).
    std::vector<CPin*> Pins();
    FILTER_STATE State() const { return m_state; }
    REFERENCE_TIME StreamStart() const { return m_start; }
    IReferenceClock* Clock() const { return m_clock; }
    // Sends an event to the graph's event sink, when there is a graph.
    void NotifyEvent(long code, LONG_PTR first, LONG_PTR second);
    CRITICAL_SECTION* Lock() { return &m_lock; }

protected:
    virtual HRESULT QueryOther(REFIID iid, void** object);
    virtual std::vector<CPin*> PinList() = 0;
    // State changes, called with the filter lock not held.
    virtual HRESULT OnActive() { return S_OK; }     // stopped to paused
    virtual HRESULT OnInactive() { return S_OK; }   // to stopped
    virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }

private:
    CLSID m_clsid;
    volatile LONG m_refs = 1;
    CRITICAL_SECTION m_lock;
    FILTER_STATE m_state = State_Stopped;
    REFERENCE_TIME m_start = 0;
    IReferenceClock* m_clock = nullptr;
    IFilterGraph* m_graph = nullptr;   // not held: the graph holds the filter
    wchar_t m_name[MAX_FILTER_NAME] = {};
};
