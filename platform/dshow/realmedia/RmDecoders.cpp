#include "platform/dshow/realmedia/RmDecoders.h"

#include <mmreg.h>

#include <cstring>

#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/MediaTypes.h"

namespace {

const DWORD kRealVideoCodecs[] = {
    MAKEFOURCC('R', 'V', '2', '0'), MAKEFOURCC('R', 'V', '3', '0'), MAKEFOURCC('R', 'V', '4', '0')};

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type)
{
    return IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER)
               ? reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)
               : nullptr;
}

const WAVEFORMATEX* WaveFormat(const AM_MEDIA_TYPE& type)
{
    return IsEqualGUID(type.formattype, FORMAT_WaveFormatEx) && type.cbFormat >= sizeof(WAVEFORMATEX)
               ? reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)
               : nullptr;
}

} // namespace

// Video.

CRealVideoDecoder::CRealVideoDecoder() : CTransformFilter(CLSID_KeloRealVideoDecoder) {}

IBaseFilter* CRealVideoDecoder::Create()
{
    return new CRealVideoDecoder;
}

HRESULT CRealVideoDecoder::CheckInputType(const AM_MEDIA_TYPE* type)
{
    const VIDEOINFOHEADER* info = VideoInfo(*type);
    if (!IsEqualGUID(type->majortype, MEDIATYPE_Video) || !info || info->bmiHeader.biWidth <= 0 ||
        info->bmiHeader.biWidth > 4096 || info->bmiHeader.biHeight <= 0 ||
        info->bmiHeader.biHeight > 4096)
        return S_FALSE;
    for (DWORD codec : kRealVideoCodecs) {
        if (IsEqualGUID(type->subtype, SubtypeFromFourCC(codec)))
            return S_OK;
    }
    return S_FALSE;
}

HRESULT CRealVideoDecoder::GetOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* output)
{
    const VIDEOINFOHEADER* in = VideoInfo(input);
    auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!in || !info)
        return E_OUTOFMEMORY;
    *info = VIDEOINFOHEADER();
    info->AvgTimePerFrame = in->AvgTimePerFrame;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = in->bmiHeader.biWidth;
    info->bmiHeader.biHeight = in->bmiHeader.biHeight;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
    info->bmiHeader.biSizeImage = in->bmiHeader.biWidth * in->bmiHeader.biHeight * 4;
    output->majortype = MEDIATYPE_Video;
    output->subtype = MEDIASUBTYPE_RGB32;
    output->bFixedSizeSamples = TRUE;
    output->lSampleSize = info->bmiHeader.biSizeImage;
    output->formattype = FORMAT_VideoInfo;
    output->cbFormat = sizeof(VIDEOINFOHEADER);
    output->pbFormat = reinterpret_cast<BYTE*>(info);
    return S_OK;
}

long CRealVideoDecoder::OutputBufferSize(const AM_MEDIA_TYPE& output)
{
    const VIDEOINFOHEADER* info = VideoInfo(output);
    return info ? info->bmiHeader.biWidth * std::abs(info->bmiHeader.biHeight) * 4 : 0;
}

HRESULT CRealVideoDecoder::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* source = nullptr;
    BYTE* target = nullptr;
    in->GetPointer(&source);
    out->GetPointer(&target);
    long size = std::min(OutputBufferSize(OutputType()), out->GetSize());
    BYTE grey = in->GetActualDataLength() > 0 ? source[in->GetActualDataLength() / 2] : 0;
    std::memset(target, grey, size);
    out->SetActualDataLength(size);
    return S_OK;
}

// Audio.

CRealAudioDecoder::CRealAudioDecoder() : CTransformFilter(CLSID_KeloRealAudioDecoder) {}

IBaseFilter* CRealAudioDecoder::Create()
{
    return new CRealAudioDecoder;
}

HRESULT CRealAudioDecoder::CheckInputType(const AM_MEDIA_TYPE* type)
{
    const WAVEFORMATEX* format = WaveFormat(*type);
    bool pcm = IsEqualGUID(type->subtype, MEDIASUBTYPE_PCM);
    return IsEqualGUID(type->majortype, MEDIATYPE_Audio) && !pcm && format &&
                   format->nSamplesPerSec >= 8000 && format->nSamplesPerSec <= 96000 &&
                   format->nChannels >= 1 && format->nChannels <= 6 && format->nAvgBytesPerSec > 0
               ? S_OK
               : S_FALSE;
}

HRESULT CRealAudioDecoder::GetOutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE* output)
{
    const WAVEFORMATEX* in = WaveFormat(input);
    auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!in || !format)
        return E_OUTOFMEMORY;
    *format = WAVEFORMATEX();
    format->wFormatTag = WAVE_FORMAT_PCM;
    format->nChannels = in->nChannels;
    format->nSamplesPerSec = in->nSamplesPerSec;
    format->wBitsPerSample = 16;
    format->nBlockAlign = static_cast<WORD>(in->nChannels * 2);
    format->nAvgBytesPerSec = format->nSamplesPerSec * format->nBlockAlign;
    output->majortype = MEDIATYPE_Audio;
    output->subtype = MEDIASUBTYPE_PCM;
    output->bFixedSizeSamples = TRUE;
    output->lSampleSize = format->nBlockAlign;
    output->formattype = FORMAT_WaveFormatEx;
    output->cbFormat = sizeof(WAVEFORMATEX);
    output->pbFormat = reinterpret_cast<BYTE*>(format);
    return S_OK;
}

long CRealAudioDecoder::OutputBufferSize(const AM_MEDIA_TYPE& output)
{
    const WAVEFORMATEX* format = WaveFormat(output);
    return format ? static_cast<long>(format->nAvgBytesPerSec) : 0;   // one second
}

HRESULT CRealAudioDecoder::Transform(IMediaSample* in, IMediaSample* out)
{
    const WAVEFORMATEX* input = WaveFormat(InputType());
    const WAVEFORMATEX* output = WaveFormat(OutputType());
    if (!input || !output)
        return E_UNEXPECTED;
    // As long as the packet plays at the stream's average rate.
    long long frames = static_cast<long long>(in->GetActualDataLength()) *
                       output->nSamplesPerSec / input->nAvgBytesPerSec;
    long bytes = static_cast<long>(std::min<long long>(frames * output->nBlockAlign, out->GetSize()));
    BYTE* target = nullptr;
    out->GetPointer(&target);
    std::memset(target, 0, bytes);
    out->SetActualDataLength(bytes);
    return S_OK;
}
