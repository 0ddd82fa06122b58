#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Small RealMedia and ASF headers built byte by byte for the reader tests.
namespace media_fixtures {

typedef std::vector<std::uint8_t> Bytes;

inline void Be(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void Le(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline void Text(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// A chunk: id, u32 size (whole chunk), u16 version 0, body.
inline Bytes RmChunk(const std::string& id, const Bytes& body)
{
    Bytes out;
    Text(out, id);
    Be(out, 10 + body.size(), 4);
    Be(out, 0, 2);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes RmStream(int number, const std::string& mime, const Bytes& typeData)
{
    Bytes body;
    Be(body, number, 2);
    Be(body, 200000, 4);   // max bit rate
    Be(body, 96000, 4);    // average bit rate
    for (int i = 0; i < 5; ++i)
        Be(body, 0, 4);
    body.push_back(4);
    Text(body, "name");
    body.push_back(static_cast<std::uint8_t>(mime.size()));
    Text(body, mime);
    Be(body, typeData.size(), 4);
    body.insert(body.end(), typeData.begin(), typeData.end());
    return RmChunk("MDPR", body);
}

inline Bytes RmVideoType()
{
    Bytes type;
    Be(type, 34, 4);
    Text(type, "VIDORV20");
    Be(type, 176, 2);
    Be(type, 144, 2);
    Be(type, 12, 2);
    Be(type, 0, 4);
    Be(type, 10 << 16, 4);   // 10 frames a second
    Be(type, 0, 8);
    return type;
}

inline Bytes RmAudioType()
{
    Bytes type;
    Text(type, ".ra\xfd");
    Be(type, 4, 2);
    type.resize(48, 0);
    Be(type, 44100, 2);
    Be(type, 0, 2);
    Be(type, 16, 2);
    Be(type, 1, 2);
    type.push_back(4);
    Text(type, "Int0");
    type.push_back(4);
    Text(type, "dnet");
    return type;
}

// ".RMF", PROP (3030 ms), two streams, DATA announcing 117 packets.
inline Bytes RmHeader()
{
    Bytes file = RmChunk(".RMF", Bytes{0, 0, 0, 0, 0, 0, 0, 5});
    Bytes prop;
    for (int i = 0; i < 5; ++i)
        Be(prop, 0, 4);
    Be(prop, 3030, 4);
    for (int i = 0; i < 4; ++i)
        Be(prop, 0, 4);
    Be(prop, 2, 2);
    Be(prop, 0, 2);
    for (const Bytes& chunk : {RmChunk("PROP", prop), RmStream(0, "video/x-pn-realvideo", RmVideoType()),
                               RmStream(1, "audio/x-pn-realaudio", RmAudioType())})
        file.insert(file.end(), chunk.begin(), chunk.end());
    Text(file, "DATA");
    Be(file, 18, 4);
    Be(file, 0, 2);
    Be(file, 117, 4);
    Be(file, 0, 4);
    return file;
}

inline void Guid(Bytes& out, std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d)
{
    Le(out, a, 4);
    Le(out, b, 2);
    Le(out, c, 2);
    Be(out, d, 8);
}

inline Bytes AsfObject(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d,
                       const Bytes& body)
{
    Bytes out;
    Guid(out, a, b, c, d);
    Le(out, 24 + body.size(), 8);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes AsfStream(bool video, int number)
{
    Bytes body;
    if (video)
        Guid(body, 0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD00805F5C442Bull);
    else
        Guid(body, 0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD00805F5C442Bull);
    body.resize(body.size() + 16 + 8, 0);   // error correction type, time offset
    Bytes type;
    if (video) {
        Le(type, 176, 4);
        Le(type, 144, 4);
        type.push_back(2);
        Le(type, 40, 2);
        Le(type, 40, 4);
        Le(type, 176, 4);
        Le(type, 144, 4);
        Le(type, 1, 2);
        Le(type, 24, 2);
        Text(type, "WMV2");
        type.resize(type.size() + 20, 0);
    } else {
        Le(type, 0x161, 2);   // WMA 2
        Le(type, 1, 2);
        Le(type, 44100, 4);
        Le(type, 8000, 4);
        Le(type, 2230, 2);
        Le(type, 16, 2);
        Le(type, 0, 2);
    }
    Le(body, type.size(), 4);
    Le(body, 0, 4);
    Le(body, number, 2);
    Le(body, 0, 4);
    body.insert(body.end(), type.begin(), type.end());
    return AsfObject(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE600C00C205365ull, body);
}

// Header object: file properties (duration 3.1 s, preroll 100 ms), a video
// and an audio stream.
inline Bytes AsfHeader()
{
    Bytes props(16 + 8 + 8 + 8, 0);
    Le(props, 31000000, 8);   // play duration
    Le(props, 0, 8);
    Le(props, 100, 8);        // preroll, ms
    props.resize(props.size() + 16, 0);
    Bytes objects = AsfObject(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ull, props);
    for (const Bytes& stream : {AsfStream(true, 1), AsfStream(false, 2)})
        objects.insert(objects.end(), stream.begin(), stream.end());
    Bytes header;
    Guid(header, 0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6Cull);
    Le(header, 30 + objects.size(), 8);
    Le(header, 3, 4);
    header.push_back(1);
    header.push_back(2);
    header.insert(header.end(), objects.begin(), objects.end());
    return header;
}

}  // namespace media_fixtures
