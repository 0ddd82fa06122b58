#include "live/LiveWMPlayer.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

template <typename T>
void ReleaseAndClear(T*& object)
{
    if (object != nullptr)
        object->Release();
    object = nullptr;
}

std::uint64_t ReadU64(const char* at)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(at[i]);
    return value;
}

}  // namespace

CLiveWMPlayer::CLiveWMPlayer()
    : m_serving(false), m_writer(nullptr), m_writerAdvanced(nullptr), m_sink(nullptr),
      m_profileManager(nullptr), m_port(0), m_baseTime(0), m_hasBaseTime(false), m_module(LoadLibraryW(L"wmvcore.dll"))
{
    WMCreateProfileManagerFn create = Lookup<WMCreateProfileManagerFn>(m_module.Get(), "WMCreateProfileManager");
    if (create == nullptr || FAILED(create(&m_profileManager)))
        m_profileManager = nullptr;
}

CLiveWMPlayer::~CLiveWMPlayer()
{
    Stop();
    ReleaseAll();
    ReleaseAndClear(m_profileManager);
}

bool CLiveWMPlayer::Start(const char* header, std::uint32_t length)
{
    Stop();
    std::lock_guard<std::mutex> lock(m_lock);
    if (StartLocked(header, length))
        return true;
    // A half-made writer is not kept: the next Start begins afresh.
    if (m_sink != nullptr)
        m_sink->Close();
    ReleaseAll();
    return false;
}

bool CLiveWMPlayer::StartLocked(const char* header, std::uint32_t length)
{
    if (m_profileManager == nullptr || header == nullptr)
        return false;
    WMCreateWriterFn createWriter = Lookup<WMCreateWriterFn>(m_module.Get(), "WMCreateWriter");
    WMCreateWriterNetworkSinkFn createSink =
        Lookup<WMCreateWriterNetworkSinkFn>(m_module.Get(), "WMCreateWriterNetworkSink");
    if (createWriter == nullptr || createSink == nullptr)
        return false;
    ReleaseAll();
    if (FAILED(createWriter(nullptr, &m_writer)) || m_writer == nullptr)
        return false;
    if (FAILED(m_writer->QueryInterface(__uuidof(IWMWriterAdvanced), reinterpret_cast<void**>(&m_writerAdvanced))))
        return false;
    if (FAILED(createSink(&m_sink)) || m_sink == nullptr)
        return false;
    DWORD port = 0;
    if (FAILED(m_sink->SetNetworkProtocol(WMT_PROTOCOL_HTTP)) || FAILED(m_sink->Open(&port)))
        return false;
    m_port = port;
    if (FAILED(m_writerAdvanced->AddSink(m_sink)))
        return false;
    // The profile text is copied with a terminating zero of its own; an odd
    // trailing byte is no whole character and is dropped.
    std::wstring profileText(length / 2, L'\0');
    if (!profileText.empty())
        std::memcpy(&profileText[0], header, profileText.size() * sizeof(wchar_t));
    IWMProfile* profile = nullptr;
    if (FAILED(m_profileManager->LoadProfileByData(profileText.c_str(), &profile)) || profile == nullptr)
        return false;
    HRESULT set = m_writer->SetProfile(profile);
    profile->Release();
    DWORD inputs = 0;
    if (FAILED(set) || FAILED(m_writer->GetInputCount(&inputs)))
        return false;
    for (DWORD input = 0; input < inputs; ++input) {
        if (FAILED(m_writer->SetInputProps(input, nullptr)))
            return false;
    }
    if (FAILED(m_writer->BeginWriting()))
        return false;
    m_serving = true;
    return true;
}

int CLiveWMPlayer::PushData(const char* record, std::uint32_t length, std::uint32_t, bool)
{
    if (record == nullptr || length <= 9)
        return 0;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_serving)
        return 0;
    std::uint16_t stream = static_cast<unsigned char>(record[0]);
    DWORD flags = static_cast<unsigned char>(record[1]);
    std::uint64_t time = ReadU64(record + 2);
    DWORD dataLength = length - 10;
    INSSBuffer* sample = nullptr;
    BYTE* data = nullptr;
    if (FAILED(m_writer->AllocateSample(dataLength, &sample)) || sample == nullptr ||
        FAILED(sample->GetBuffer(&data))) {
        ReleaseAndClear(sample);
        return 0;
    }
    if (dataLength != 0)
        std::memcpy(data, record + 10, dataLength);
    if (m_firstSampleTimes.find(stream) == m_firstSampleTimes.end()) {
        if ((flags & WM_SF_CLEANPOINT) == 0) {
            sample->Release();
            return 0;
        }
        m_firstSampleTimes[stream] = time;
        flags |= WM_SF_DISCONTINUITY;
    }
    // Time 0 is a sample time like any other, so "no base yet" is its own flag.
    if (!m_hasBaseTime) {
        m_baseTime = time;
        m_hasBaseTime = true;
    }
    if (time >= m_baseTime)
        m_writerAdvanced->WriteStreamSample(stream, time - m_baseTime, 0, 0, flags, sample);
    sample->Release();
    return 1;
}

void CLiveWMPlayer::Stop()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_serving)
        return;
    m_writer->Flush();
    m_writerAdvanced->RemoveSink(m_sink);
    m_writer->EndWriting();
    m_sink->Disconnect();
    m_sink->Close();
    ReleaseAll();
    m_serving = false;
}

std::wstring CLiveWMPlayer::GetUrl()
{
    wchar_t url[64];
    std::swprintf(url, 64, L"http://127.0.0.1:%d/1.wmv", static_cast<int>(m_port));
    return url;
}

void CLiveWMPlayer::Finish()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_writer != nullptr) {
        m_writer->Flush();
        m_writer->EndWriting();
    }
    if (m_writerAdvanced != nullptr && m_sink != nullptr)
        m_writerAdvanced->RemoveSink(m_sink);
    if (m_sink != nullptr)
        m_sink->Close();
    ReleaseAll();
    m_serving = false;
}

void CLiveWMPlayer::ReleaseAll()
{
    ReleaseAndClear(m_sink);
    ReleaseAndClear(m_writerAdvanced);
    ReleaseAndClear(m_writer);
    m_firstSampleTimes.clear();
    m_baseTime = 0;
    m_hasBaseTime = false;
}
