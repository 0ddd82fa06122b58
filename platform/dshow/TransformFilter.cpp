#include "platform/dshow/TransformFilter.h"

#include "platform/dshow/MediaTypes.h"

CTransformFilter::CTransformFilter(const CLSID& clsid)
    : CFilter(clsid), m_input(this), m_output(this)
{
}

std::vector<CPin*> CTransformFilter::PinList()
{
    return {&m_input, &m_output};
}

HRESULT CTransformFilter::OnActive()
{
    return m_output.Active();
}

HRESULT CTransformFilter::OnInactive()
{
    return m_output.Inactive();
}

HRESULT CTransformFilter::Receive(IMediaSample* in)
{
    IMediaSample* out = nullptr;
    HRESULT hr = m_output.GetBuffer(&out);
    if (FAILED(hr))
        return hr;
    hr = Transform(in, out);
    if (SUCCEEDED(hr)) {
        REFERENCE_TIME start = 0, stop = 0;
        if (SUCCEEDED(in->GetTime(&start, &stop)))
            out->SetTime(&start, &stop);
        out->SetSyncPoint(in->IsSyncPoint() == S_OK);
        out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
        hr = m_output.Deliver(out);
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::Input::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    return m_owner->CheckInputType(type);
}

HRESULT CTransformFilter::Input::OnReceive(IMediaSample* sample)
{
    return m_owner->Receive(sample);
}

HRESULT CTransformFilter::Input::OnEndOfStream()
{
    return m_owner->m_output.DeliverEndOfStream();
}

HRESULT CTransformFilter::Input::OnBeginFlush()
{
    return m_owner->m_output.DeliverBeginFlush();
}

HRESULT CTransformFilter::Input::OnEndFlush()
{
    return m_owner->m_output.DeliverEndFlush();
}

HRESULT CTransformFilter::Input::OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                              double rate)
{
    return m_owner->m_output.DeliverNewSegment(start, stop, rate);
}

HRESULT CTransformFilter::Output::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    AM_MEDIA_TYPE offered = {};
    if (GetMediaType(0, &offered) != S_OK)
        return S_FALSE;
    bool same = IsEqualGUID(type->majortype, offered.majortype) &&
                IsEqualGUID(type->subtype, offered.subtype);
    FreeMediaType(offered);
    return same ? S_OK : S_FALSE;
}

HRESULT CTransformFilter::Output::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0 || !m_owner->m_input.IsConnected())
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE();
    return m_owner->GetOutputType(m_owner->m_input.MediaType(), type);
}

void CTransformFilter::Output::BufferNeeds(ALLOCATOR_PROPERTIES* needs)
{
    needs->cBuffers = 4;
    needs->cbBuffer = m_owner->OutputBufferSize(MediaType());
}

HRESULT CTransformFilter::Output::QueryOther(REFIID iid, void** object)
{
    IPin* upstream = m_owner->m_input.Peer();
    if (iid == IID_IMediaSeeking && upstream)
        return upstream->QueryInterface(iid, object);
    return E_NOINTERFACE;
}
