#pragma once

#include <dshow.h>

#include "platform/dshow/Filter.h"
#include "platform/dshow/Pin.h"

// A filter that turns each input sample into one output sample, on the
// thread that delivers the input. Seeking requests coming down from the
// renderers pass through it to the filter upstream.
class CTransformFilter : public CFilter {
public:
    CTransformFilter(const CLSID& clsid);

protected:
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
    virtual HRESULT GetOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* output) = 0;
    virtual long OutputBufferSize(const AM_MEDIA_TYPE& output) = 0;
    // Fills `out` (data and length); times and key-frame marks are copied here.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;

    std::vector<CPin*> PinList() override;
    HRESULT OnActive() override;
    HRESULT OnInactive() override;

    const AM_MEDIA_TYPE& InputType() const { return m_input.MediaType(); }
    const AM_MEDIA_TYPE& OutputType() const { return m_output.MediaType(); }

private:
    class Input : public CInputPin {
    public:
        explicit Input(CTransformFilter* owner) : CInputPin(owner, L"In"), m_owner(owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;

    protected:
        HRESULT OnReceive(IMediaSample* sample) override;
        HRESULT OnEndOfStream() override;
        HRESULT OnBeginFlush() override;
        HRESULT OnEndFlush() override;
        HRESULT OnNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    private:
        CTransformFilter* m_owner;
    };
    class Output : public COutputPin {
    public:
        explicit Output(CTransformFilter* owner) : COutputPin(owner, L"Out"), m_owner(owner) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

    protected:
        void BufferNeeds(ALLOCATOR_PROPERTIES* needs) override;
        HRESULT QueryOther(REFIID iid, void** object) override;

    private:
        CTransformFilter* m_owner;
    };

    HRESULT Receive(IMediaSample* in);

    Input m_input;
    Output m_output;
};
