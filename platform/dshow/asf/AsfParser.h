#pragma once

#include <dshow.h>

#include <vector>

#include "platform/dshow/Filter.h"
#include "platform/dshow/Pin.h"
#include "platform/dshow/StreamInputPin.h"
#include "platform/dshow/asf/AsfHeader.h"

// "GDCL WMV/WMA Parser": reads an ASF file's header from its source's
// IAsyncReader and offers one output per audio or video stream, with the
// stream's own format, so a graph can be built on it. It delivers no
// payloads: the Windows Media decoders it feeds do not run here.
class CAsfParser : public CFilter {
public:
    CAsfParser();
    ~CAsfParser() override;
    static IBaseFilter* Create();

protected:
    std::vector<CPin*> PinList() override;

private:
    class Input : public CStreamInputPin {
    public:
        explicit Input(CAsfParser* owner) : CStreamInputPin(owner, MEDIASUBTYPE_Asf), m_owner(owner) {}

    protected:
        HRESULT OnReader(IAsyncReader* reader) override { return m_owner->ReadHeader(reader); }

    private:
        CAsfParser* m_owner;
    };
    class Output : public COutputPin {
    public:
        Output(CAsfParser* owner, const asf::Stream& stream, const wchar_t* name)
            : COutputPin(owner, name), m_stream(stream) {}
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
        HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;

    protected:
        void BufferNeeds(ALLOCATOR_PROPERTIES* needs) override;

    private:
        asf::Stream m_stream;
    };

    HRESULT ReadHeader(IAsyncReader* reader);

    Input m_input;
    std::vector<Output*> m_outputs;   // deleted with the filter
};
