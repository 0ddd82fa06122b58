#include "platform/dshow/StreamInputPin.h"

HRESULT CStreamInputPin::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) &&
                   (IsEqualGUID(type->subtype, m_subtype) ||
                    IsEqualGUID(type->subtype, MEDIASUBTYPE_NULL))
               ? S_OK
               : S_FALSE;
}

HRESULT CStreamInputPin::CompleteConnect(IPin* peer)
{
    IAsyncReader* reader = nullptr;
    if (FAILED(peer->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&reader))))
        return VFW_E_NO_TRANSPORT;
    HRESULT hr = OnReader(reader);
    reader->Release();
    return hr;
}
