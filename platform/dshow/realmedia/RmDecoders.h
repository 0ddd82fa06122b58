#pragma once

#include "platform/dshow/TransformFilter.h"

// "KELO RealVideo Decoder": takes RealVideo 2 to 4 packets and gives, for
// each, an RGB32 picture of the stream's size with the packet's time. The
// pictures are synthetic: a grey level taken from the packet.
class CRealVideoDecoder : public CTransformFilter {
public:
    CRealVideoDecoder();
    static IBaseFilter* Create();

protected:
    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* output) override;
    long OutputBufferSize(const AM_MEDIA_TYPE& output) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
};

// "KELO RealAudio Decoder": takes the RealMedia audio packets and gives
// 16-bit PCM silence lasting as long as each packet plays, at its time.
class CRealAudioDecoder : public CTransformFilter {
public:
    CRealAudioDecoder();
    static IBaseFilter* Create();

protected:
    HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* output) override;
    long OutputBufferSize(const AM_MEDIA_TYPE& output) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
};
