#pragma once

#include <dshow.h>

#include "platform/dshow/Pin.h"

// The input of a parser: a byte stream of one subtype (or of none named),
// read through the upstream pin's IAsyncReader.
class CStreamInputPin : public CPin {
public:
    CStreamInputPin(CFilter* filter, const GUID& subtype)
        : CPin(filter, PINDIR_INPUT, L"Input"), m_subtype(subtype) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;

protected:
    // The stream is there: read what the outputs need. A failure refuses it.
    virtual HRESULT OnReader(IAsyncReader* reader) = 0;
    HRESULT CompleteConnect(IPin* peer) override;

private:
    GUID m_subtype;
};
