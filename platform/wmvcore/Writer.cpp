#include <cstring>

#include "platform/wmvcore/StandIn.h"

StandInWriter::StandInWriter() : m_inputs(0), m_writing(false) {}

StandInWriter::~StandInWriter()
{
    for (IWMWriterSink* sink : m_sinks)
        sink->Release();
}

STDMETHODIMP StandInWriter::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == __uuidof(IWMWriter)) {
        *out = static_cast<IWMWriter*>(this);
    } else if (iid == __uuidof(IWMWriterAdvanced)) {
        *out = static_cast<IWMWriterAdvanced*>(this);
    } else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP StandInWriter::SetProfile(IWMProfile* profile)
{
    if (profile == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_writing)
        return E_UNEXPECTED;
    m_inputs = reinterpret_cast<StandInProfile*>(reinterpret_cast<IUnknown*>(profile))->Streams();
    return S_OK;
}

STDMETHODIMP StandInWriter::GetInputCount(DWORD* inputs)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_inputs == 0)
        return E_UNEXPECTED;
    *inputs = m_inputs;
    return S_OK;
}

STDMETHODIMP StandInWriter::SetInputProps(DWORD input, IWMInputMediaProps* props)
{
    std::lock_guard<std::mutex> lock(m_lock);
    // Only "no conversion" is offered.
    return input < m_inputs && props == nullptr ? S_OK : E_INVALIDARG;
}

STDMETHODIMP StandInWriter::BeginWriting()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_inputs == 0 || m_writing)
        return E_UNEXPECTED;
    m_writing = true;
    StandInBuffer* header = new StandInBuffer(sizeof(DWORD));
    BYTE* bytes = nullptr;
    header->GetBuffer(&bytes);
    std::memcpy(bytes, &m_inputs, sizeof(DWORD));
    for (IWMWriterSink* sink : m_sinks)
        sink->OnHeader(header);
    header->Release();
    return S_OK;
}

STDMETHODIMP StandInWriter::EndWriting()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_writing)
        return E_UNEXPECTED;
    m_writing = false;
    for (IWMWriterSink* sink : m_sinks)
        sink->OnEndWriting();
    return S_OK;
}

STDMETHODIMP StandInWriter::AllocateSample(DWORD size, INSSBuffer** sample)
{
    if (sample == nullptr)
        return E_POINTER;
    *sample = new StandInBuffer(size);
    return S_OK;
}

STDMETHODIMP StandInWriter::Flush()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_writing ? S_OK : E_UNEXPECTED;
}

STDMETHODIMP StandInWriter::GetSinkCount(DWORD* count)
{
    std::lock_guard<std::mutex> lock(m_lock);
    *count = static_cast<DWORD>(m_sinks.size());
    return S_OK;
}

STDMETHODIMP StandInWriter::AddSink(IWMWriterSink* sink)
{
    if (sink == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    sink->AddRef();
    m_sinks.push_back(sink);
    return S_OK;
}

STDMETHODIMP StandInWriter::RemoveSink(IWMWriterSink* sink)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (std::vector<IWMWriterSink*>::iterator it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (*it == sink) {
            m_sinks.erase(it);
            sink->Release();
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

STDMETHODIMP StandInWriter::WriteStreamSample(WORD stream, QWORD time, DWORD, QWORD, DWORD flags,
                                              INSSBuffer* sample)
{
    if (sample == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_writing || stream == 0 || stream > m_inputs)
        return E_INVALIDARG;
    BYTE* data = nullptr;
    DWORD length = 0;
    sample->GetBufferAndLength(&data, &length);
    const DWORD fixed = 2 + 8 + 4 + 4;
    StandInBuffer* entry = new StandInBuffer(fixed + length);
    BYTE* out = nullptr;
    entry->GetBuffer(&out);
    std::memcpy(out, &stream, 2);
    std::memcpy(out + 2, &time, 8);
    std::memcpy(out + 10, &flags, 4);
    std::memcpy(out + 14, &length, 4);
    if (length != 0)
        std::memcpy(out + fixed, data, length);
    for (IWMWriterSink* sink : m_sinks)
        sink->OnDataUnit(entry);
    entry->Release();
    return S_OK;
}

STDMETHODIMP StandInWriter::IsRealTime(WINBOOL* realTime)
{
    *realTime = TRUE;
    return S_OK;
}
