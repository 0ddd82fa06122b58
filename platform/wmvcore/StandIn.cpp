#include "platform/wmvcore/StandIn.h"

#include <cstring>
#include <cwchar>

bool StandInStepFails(const char* step)
{
    char knob[256];
    DWORD length = GetEnvironmentVariableA("TOVRA_WMVCORE_FAIL", knob, sizeof(knob));
    if (length == 0 || length >= sizeof(knob))
        return false;
    std::string steps = std::string(",") + knob + ",";
    return steps.find(std::string(",") + step + ",") != std::string::npos;
}

STDMETHODIMP StandInBuffer::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == __uuidof(INSSBuffer)) {
        *out = static_cast<INSSBuffer*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP StandInBuffer::GetLength(DWORD* length)
{
    *length = static_cast<DWORD>(m_bytes.size());
    return S_OK;
}

STDMETHODIMP StandInBuffer::SetLength(DWORD length)
{
    if (length > m_bytes.capacity())
        return E_INVALIDARG;
    m_bytes.resize(length);
    return S_OK;
}

STDMETHODIMP StandInBuffer::GetMaxLength(DWORD* length)
{
    *length = static_cast<DWORD>(m_bytes.capacity());
    return S_OK;
}

STDMETHODIMP StandInBuffer::GetBuffer(BYTE** buffer)
{
    *buffer = m_bytes.data();
    return S_OK;
}

STDMETHODIMP StandInBuffer::GetBufferAndLength(BYTE** buffer, DWORD* length)
{
    *buffer = m_bytes.data();
    *length = static_cast<DWORD>(m_bytes.size());
    return S_OK;
}

STDMETHODIMP StandInProfile::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown) {
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP StandInProfileManager::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IUnknown || iid == __uuidof(IWMProfileManager)) {
        *out = static_cast<IWMProfileManager*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP StandInProfileManager::LoadProfileByData(const WCHAR* text, IWMProfile** profile)
{
    if (text == nullptr || profile == nullptr)
        return E_POINTER;
    *profile = nullptr;
    DWORD streams = 0;
    for (const WCHAR* at = std::wcsstr(text, L"<streamconfig"); at != nullptr;
         at = std::wcsstr(at + 1, L"<streamconfig"))
        ++streams;
    if (streams == 0)
        return E_INVALIDARG;
    *profile = reinterpret_cast<IWMProfile*>(static_cast<IUnknown*>(new StandInProfile(streams)));
    return S_OK;
}

extern "C" HRESULT WINAPI WMCreateProfileManager(IWMProfileManager** manager)
{
    if (manager == nullptr)
        return E_POINTER;
    *manager = StandInStepFails("profilemanager") ? nullptr : new StandInProfileManager();
    return *manager ? S_OK : E_FAIL;
}

extern "C" HRESULT WINAPI WMCreateWriter(IUnknown*, IWMWriter** writer)
{
    if (writer == nullptr)
        return E_POINTER;
    *writer = StandInStepFails("writer") ? nullptr : new StandInWriter();
    return *writer ? S_OK : E_FAIL;
}

extern "C" HRESULT WINAPI WMCreateWriterNetworkSink(IWMWriterNetworkSink** sink)
{
    if (sink == nullptr)
        return E_POINTER;
    *sink = StandInStepFails("sink") ? nullptr : new StandInNetworkSink();
    return *sink ? S_OK : E_FAIL;
}
