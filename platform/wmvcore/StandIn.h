#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wmvcore/WMNetworkSink.h"

// True when TOVRA_WMVCORE_FAIL (comma-separated step names) asks the named
// step to fail: "profilemanager", "writer", "sink", "open".
bool StandInStepFails(const char* step);

// Reference counting shared by the stand-in's objects.
class StandInRefCount {
protected:
    StandInRefCount() : m_refs(1) {}
    virtual ~StandInRefCount() {}
    ULONG AddRefImpl() { return ++m_refs; }
    ULONG ReleaseImpl()
    {
        ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<ULONG> m_refs;
};

// A sample or data unit: a byte buffer of fixed capacity.
class StandInBuffer : public INSSBuffer, private StandInRefCount {
public:
    explicit StandInBuffer(DWORD size) : m_bytes(size) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP GetLength(DWORD* length) override;
    STDMETHODIMP SetLength(DWORD length) override;
    STDMETHODIMP GetMaxLength(DWORD* length) override;
    STDMETHODIMP GetBuffer(BYTE** buffer) override;
    STDMETHODIMP GetBufferAndLength(BYTE** buffer, DWORD* length) override;

private:
    std::vector<BYTE> m_bytes;
};

// A loaded profile. Only this writer reads it: callers merely hold and release
// it, so it carries IUnknown's slots alone and is handed out as an IWMProfile.
class StandInProfile : public IUnknown, private StandInRefCount {
public:
    explicit StandInProfile(DWORD streams) : m_streams(streams) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    DWORD Streams() const { return m_streams; }

private:
    DWORD m_streams;
};

// Loads profiles from their XML text: one stream per <streamconfig> element.
class StandInProfileManager : public IWMProfileManager, private StandInRefCount {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }
    STDMETHODIMP CreateEmptyProfile(WMT_VERSION, IWMProfile**) override { return E_NOTIMPL; }
    STDMETHODIMP LoadProfileByID(REFGUID, IWMProfile**) override { return E_NOTIMPL; }
    STDMETHODIMP LoadProfileByData(const WCHAR* text, IWMProfile** profile) override;
    STDMETHODIMP SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetSystemProfileCount(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP LoadSystemProfile(DWORD, IWMProfile**) override { return E_NOTIMPL; }
};

// The writer: one input per profile stream, written unconverted. Each
// written sample goes to every sink as one dump entry: u16 stream, u64 time,
// u32 flags, u32 length, the bytes. The header handed to the sinks at
// BeginWriting is the u32 input count.
class StandInWriter : public IWMWriter, public IWMWriterAdvanced, private StandInRefCount {
public:
    StandInWriter();
    ~StandInWriter() override;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP SetProfileByID(REFGUID) override { return E_NOTIMPL; }
    STDMETHODIMP SetProfile(IWMProfile* profile) override;
    STDMETHODIMP SetOutputFilename(const WCHAR*) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputCount(DWORD* inputs) override;
    STDMETHODIMP GetInputProps(DWORD, IWMInputMediaProps**) override { return E_NOTIMPL; }
    STDMETHODIMP SetInputProps(DWORD input, IWMInputMediaProps* props) override;
    STDMETHODIMP GetInputFormatCount(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetInputFormat(DWORD, DWORD, IWMInputMediaProps**) override { return E_NOTIMPL; }
    STDMETHODIMP BeginWriting() override;
    STDMETHODIMP EndWriting() override;
    STDMETHODIMP AllocateSample(DWORD size, INSSBuffer** sample) override;
    STDMETHODIMP WriteSample(DWORD, QWORD, DWORD, INSSBuffer*) override { return E_NOTIMPL; }
    STDMETHODIMP Flush() override;

    STDMETHODIMP GetSinkCount(DWORD* count) override;
    STDMETHODIMP GetSink(DWORD, IWMWriterSink**) override { return E_NOTIMPL; }
    STDMETHODIMP AddSink(IWMWriterSink* sink) override;
    STDMETHODIMP RemoveSink(IWMWriterSink* sink) override;
    STDMETHODIMP WriteStreamSample(WORD stream, QWORD time, DWORD sendTime, QWORD duration, DWORD flags,
                                   INSSBuffer* sample) override;
    STDMETHODIMP SetLiveSource(WINBOOL) override { return S_OK; }
    STDMETHODIMP IsRealTime(WINBOOL* realTime) override;
    STDMETHODIMP GetWriterTime(QWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP GetStatistics(WORD, WM_WRITER_STATISTICS*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSyncTolerance(DWORD) override { return S_OK; }
    STDMETHODIMP GetSyncTolerance(DWORD*) override { return E_NOTIMPL; }

private:
    std::mutex m_lock;
    DWORD m_inputs;  // 0 until a profile is set
    bool m_writing;
    std::vector<IWMWriterSink*> m_sinks;  // each holds a reference
};

// The HTTP network sink: listens on 127.0.0.1 and hands every client the
// header and all entries written since Open, then each new one. One thread
// accepts and one serves each client, so a client that never reads holds up
// no writer.
class StandInNetworkSink : public IWMWriterNetworkSink, private StandInRefCount {
public:
    StandInNetworkSink();
    ~StandInNetworkSink() override;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return AddRefImpl(); }
    STDMETHODIMP_(ULONG) Release() override { return ReleaseImpl(); }

    STDMETHODIMP OnHeader(INSSBuffer* header) override;
    STDMETHODIMP IsRealTime(WINBOOL* realTime) override;
    STDMETHODIMP AllocateDataUnit(DWORD size, INSSBuffer** unit) override;
    STDMETHODIMP OnDataUnit(INSSBuffer* unit) override;
    STDMETHODIMP OnEndWriting() override { return S_OK; }

    STDMETHODIMP SetMaximumClients(DWORD) override { return S_OK; }
    STDMETHODIMP GetMaximumClients(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetNetworkProtocol(WMT_NET_PROTOCOL protocol) override;
    STDMETHODIMP GetNetworkProtocol(WMT_NET_PROTOCOL* protocol) override;
    STDMETHODIMP GetHostURL(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Open(DWORD* port) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP Close() override;

private:
    void Accept();
    void ServeClient(SOCKET client);

    std::mutex m_lock;  // guards everything below but the listener
    std::condition_variable m_changed;
    std::string m_header;
    std::vector<std::string> m_entries;
    std::vector<SOCKET> m_clients;
    std::vector<std::thread> m_clientThreads;
    bool m_disconnecting;
    SOCKET m_listener;
    std::thread m_acceptThread;
};
