#include "platform/dshow/asf/AsfParser.h"

#include <mmreg.h>

#include <cstring>
#include <string>

#include "platform/dshow/FileHead.h"
#include "platform/dshow/FilterClsids.h"
#include "platform/dshow/MediaTypes.h"

IBaseFilter* CAsfParser::Create()
{
    return new CAsfParser;
}

CAsfParser::CAsfParser() : CFilter(CLSID_GdclWmvParser), m_input(this) {}

CAsfParser::~CAsfParser()
{
    for (Output* pin : m_outputs)
        delete pin;
}

std::vector<CPin*> CAsfParser::PinList()
{
    std::vector<CPin*> pins{&m_input};
    pins.insert(pins.end(), m_outputs.begin(), m_outputs.end());
    return pins;
}

HRESULT CAsfParser::ReadHeader(IAsyncReader* reader)
{
    asf::Header header;
    HRESULT hr = ReadFileHead(reader, [&](const std::uint8_t* bytes, std::size_t size, std::size_t* needed) {
        asf::ParseResult result = asf::ParseHeader(bytes, size, &header, needed);
        return result == asf::ParseResult::Done ? 1 : result == asf::ParseResult::NeedMore ? 0 : -1;
    });
    if (SUCCEEDED(hr) && m_outputs.empty()) {
        for (const asf::Stream& stream : header.streams) {
            std::wstring name = L"Raw Stream " + std::to_wstring(stream.number);
            m_outputs.push_back(new Output(this, stream, name.c_str()));
        }
    }
    return hr;
}

HRESULT CAsfParser::Output::GetMediaType(int index, AM_MEDIA_TYPE* type)
{
    if (index != 0)
        return VFW_S_NO_MORE_ITEMS;
    *type = AM_MEDIA_TYPE();
    const std::vector<std::uint8_t>& format = m_stream.format;
    if (m_stream.video) {
        BITMAPINFOHEADER bitmap;
        std::memcpy(&bitmap, format.data(), sizeof bitmap);
        size_t bytes = sizeof(VIDEOINFOHEADER) - sizeof(BITMAPINFOHEADER) + format.size();
        auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(bytes));
        if (!info)
            return E_OUTOFMEMORY;
        std::memset(info, 0, bytes);
        std::memcpy(&info->bmiHeader, format.data(), format.size());
        type->majortype = MEDIATYPE_Video;
        type->subtype = SubtypeFromFourCC(bitmap.biCompression);
        type->formattype = FORMAT_VideoInfo;
        type->cbFormat = static_cast<ULONG>(bytes);
        type->pbFormat = reinterpret_cast<BYTE*>(info);
    } else {
        WAVEFORMATEX wave;
        std::memcpy(&wave, format.data(), sizeof wave - sizeof wave.cbSize);
        auto* copy = static_cast<BYTE*>(CoTaskMemAlloc(format.size()));
        if (!copy)
            return E_OUTOFMEMORY;
        std::memcpy(copy, format.data(), format.size());
        type->majortype = MEDIATYPE_Audio;
        type->subtype = SubtypeFromFourCC(wave.wFormatTag);
        type->formattype = FORMAT_WaveFormatEx;
        type->cbFormat = static_cast<ULONG>(format.size());
        type->pbFormat = copy;
    }
    type->bTemporalCompression = TRUE;
    return S_OK;
}

HRESULT CAsfParser::Output::CheckMediaType(const AM_MEDIA_TYPE* type)
{
    AM_MEDIA_TYPE offered = {};
    GetMediaType(0, &offered);
    bool same = IsEqualGUID(type->majortype, offered.majortype) &&
                IsEqualGUID(type->subtype, offered.subtype);
    FreeMediaType(offered);
    return same ? S_OK : S_FALSE;
}

void CAsfParser::Output::BufferNeeds(ALLOCATOR_PROPERTIES* needs)
{
    needs->cBuffers = 8;
    needs->cbBuffer = 65536;
}
