#include "platform/dshow/Enumerators.h"

#include "platform/dshow/MediaTypes.h"
#include "platform/dshow/Pin.h"

CEnumPins::CEnumPins(const std::vector<CPin*>& pins, size_t position)
    : m_pins(pins), m_position(position)
{
    for (CPin* pin : m_pins)
        pin->AddRef();
}

CEnumPins::~CEnumPins()
{
    for (CPin* pin : m_pins)
        pin->Release();
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumPins) {
        *object = static_cast<IEnumPins*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef() { return InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CEnumPins::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP CEnumPins::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    ULONG done = 0;
    while (done < count && m_position < m_pins.size()) {
        pins[done] = m_pins[m_position++];
        pins[done]->AddRef();
        ++done;
    }
    if (fetched)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG count)
{
    m_position += count;
    return m_position <= m_pins.size() ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** clone)
{
    *clone = new CEnumPins(m_pins, m_position);
    return S_OK;
}

CEnumMediaTypes::CEnumMediaTypes(CPin* pin, size_t position) : m_pin(pin), m_position(position)
{
    m_pin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pin->Release();
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IEnumMediaTypes) {
        *object = static_cast<IEnumMediaTypes*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef() { return InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release()
{
    LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0)
        delete this;
    return refs;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    ULONG done = 0;
    while (done < count) {
        AM_MEDIA_TYPE type = {};
        if (m_pin->GetMediaType(static_cast<int>(m_position), &type) != S_OK)
            break;
        types[done] = CreateMediaTypeCopy(&type);
        FreeMediaType(type);
        if (!types[done])
            break;
        ++m_position;
        ++done;
    }
    if (fetched)
        *fetched = done;
    return done == count ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG count)
{
    m_position += count;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** clone)
{
    *clone = new CEnumMediaTypes(m_pin, m_position);
    return S_OK;
}
