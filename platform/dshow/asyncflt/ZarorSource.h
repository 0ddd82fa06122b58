#pragma once

#include <dshow.h>

#include <cstdint>
#include <deque>
#include <string>

#include "platform/dshow/Filter.h"
#include "platform/dshow/Pin.h"

namespace inf {
class IReader;
class IReaderHost;
}

class CZarorSource;

// The source's one output pin: random access to the stream for a parser.
class CZarorStreamPin : public CPin, public IAsyncReader {
public:
    explicit CZarorStreamPin(CZarorSource* source);

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return CPin::QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return CPin::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CPin::Release(); }

    STDMETHODIMP RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                  IMemAllocator** actual) override;
    STDMETHODIMP Request(IMediaSample* sample, DWORD_PTR user) override;
    STDMETHODIMP WaitForNext(DWORD timeoutMs, IMediaSample** sample, DWORD_PTR* user) override;
    STDMETHODIMP SyncReadAligned(IMediaSample* sample) override;
    STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override;
    STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

protected:
    HRESULT QueryOther(REFIID iid, void** object) override;

private:
    struct Pending {
        IMediaSample* sample;
        DWORD_PTR user;
    };
    HRESULT ReadInto(IMediaSample* sample);

    CZarorSource* m_source;
    CRITICAL_SECTION m_queueLock;
    HANDLE m_queued;                 // set while requests wait or a flush runs
    std::deque<Pending> m_pending;   // guarded by m_queueLock
};

// "VUZizAvezid": reads a "zaror://0x<number>/<name>" address straight from
// the engine's reader host in this process, whose address the number is.
class CZarorSource : public CFilter, public IFileSourceFilter {
public:
    CZarorSource();
    ~CZarorSource() override;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override { return CFilter::QueryInterface(iid, object); }
    STDMETHODIMP_(ULONG) AddRef() override { return CFilter::AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return CFilter::Release(); }

    STDMETHODIMP Load(LPCOLESTR address, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetCurFile(LPOLESTR* address, AM_MEDIA_TYPE* type) override;

    // Reads exactly `length` bytes at `offset` unless the stream ends first:
    // the count read, or -1 when the reader is gone. A read ahead of where
    // the reading got to, or behind where the reader was opened, opens the
    // reader again there (a seek); re-reading what was read does not.
    int Read(std::uint64_t offset, BYTE* buffer, int length, volatile LONG* flushing);
    LONGLONG Size() const { return m_size; }
    const GUID& Subtype() const { return m_subtype; }
    bool Loaded() const { return m_reader != nullptr; }

    static IBaseFilter* Create();

protected:
    HRESULT QueryOther(REFIID iid, void** object) override;
    std::vector<CPin*> PinList() override;

private:
    CZarorStreamPin m_pin;
    std::wstring m_address;
    std::string m_name;
    inf::IReaderHost* m_host = nullptr;
    inf::IReader* m_reader = nullptr;
    LONGLONG m_size = 0;
    GUID m_subtype = GUID_NULL;
    CRITICAL_SECTION m_readLock;
    std::uint64_t m_openOffset = 0;   // guarded by m_readLock
    std::uint64_t m_nextOffset = 0;   // the furthest byte read since; guarded
};
