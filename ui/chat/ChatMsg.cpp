#include "ui/chat/ChatMsg.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

void PushUtf16(nps::Pack& out, const std::u16string& text)
{
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    out.push_varstr(bytes);
}

std::u16string PopUtf16(nps::Unpack& in)
{
    const nps::ByteRange range = in.pop_varstr();
    const auto* bytes = reinterpret_cast<const unsigned char*>(range.data);
    std::u16string text(range.size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return text;
}

std::u16string PopAnsi(nps::Unpack& in, AnsiToUtf16 ansi)
{
    const nps::ByteRange range = in.pop_varstr();
    return range.size ? ansi(range.data, range.size) : std::u16string();
}

}  // namespace

_tagChatMsg::_tagChatMsg() : time(static_cast<std::uint32_t>(std::time(nullptr))) {}

void _tagChatMsg::pack(nps::Pack& out) const
{
    out.push_uint32(version);
    out.push_uint32(format.cbSize);
    out.push_uint32(format.dwMask);
    out.push_uint32(format.dwEffects);
    out.push_uint32(static_cast<std::uint32_t>(format.yHeight));
    out.push_uint32(static_cast<std::uint32_t>(format.yOffset));
    out.push_uint32(format.crTextColor);
    out.push_uint8(format.bCharSet);
    out.push_uint8(format.bPitchAndFamily);
    unsigned char face[kFaceBytes];
    for (std::size_t i = 0; i < kFaceBytes / 2; ++i) {
        face[2 * i] = static_cast<unsigned char>(format.szFaceName[i] & 0xFF);
        face[2 * i + 1] = static_cast<unsigned char>(format.szFaceName[i] >> 8);
    }
    out.push_varstr(face, sizeof face);
    out.push_uint32(time);
    PushUtf16(out, name);
    PushUtf16(out, text);
}

void _tagChatMsg::unpack(nps::Unpack& in, AnsiToUtf16 ansi)
{
    const std::uint32_t first = in.pop_uint32();
    const bool older = first > kLastVersion;
    ChatCharFormat read;
    version = older ? 0 : first;
    read.cbSize = older ? first : in.pop_uint32();
    read.dwMask = in.pop_uint32();
    read.dwEffects = in.pop_uint32();
    read.yHeight = static_cast<std::int32_t>(in.pop_uint32());
    read.yOffset = static_cast<std::int32_t>(in.pop_uint32());
    read.crTextColor = in.pop_uint32();
    read.bCharSet = in.pop_uint8();
    read.bPitchAndFamily = in.pop_uint8();
    // Any length may arrive; only the array's 64 bytes are kept.
    const nps::ByteRange face = in.pop_varstr();
    const auto* faceBytes = reinterpret_cast<const unsigned char*>(face.data);
    const std::size_t units = std::min<std::size_t>(face.size, kFaceBytes) / 2;
    for (std::size_t i = 0; i < units; ++i)
        read.szFaceName[i] = static_cast<char16_t>(faceBytes[2 * i] | (faceBytes[2 * i + 1] << 8));
    time = in.pop_uint32();
    name = older ? PopAnsi(in, ansi) : PopUtf16(in);
    text = older ? PopAnsi(in, ansi) : PopUtf16(in);
    format = read;
}

bool _tagChatMsg::ToBytes(std::string& out) const
{
    try {
        nps::DefaultBlockBuffer buffer;
        nps::Pack packer(buffer);
        pack(packer);
        out.assign(buffer.data, buffer.size);
        return true;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}

bool _tagChatMsg::FromBytes(const void* bytes, std::size_t length, AnsiToUtf16 ansi)
{
    if (length > 0xFFFFFFFFu)
        return false;
    try {
        nps::Unpack in(bytes, static_cast<std::uint32_t>(length));
        _tagChatMsg record;
        record.unpack(in, ansi);
        *this = std::move(record);
        return true;
    } catch (const nps::base_pack_error&) {
        return false;
    }
}
