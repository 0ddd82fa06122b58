#pragma once

// The chat record: what one chat window hands another through the engines'
// relay messages, opaque to everything in between. Windows-free.

#include <cstddef>
#include <cstdint>
#include <string>

namespace nps {
class Pack;
class Unpack;
}

// The members of the platform's wide character format, in its layout
// (92 bytes with the tail padding).
struct ChatCharFormat {
    std::uint32_t cbSize = 92;
    std::uint32_t dwMask = 0;
    std::uint32_t dwEffects = 0;
    std::int32_t yHeight = 0;
    std::int32_t yOffset = 0;
    std::uint32_t crTextColor = 0;
    std::uint8_t bCharSet = 0;
    std::uint8_t bPitchAndFamily = 0;
    char16_t szFaceName[32] = {};
};
static_assert(sizeof(ChatCharFormat) == 92, "the platform's CHARFORMATW is 92 bytes");

// Narrow text in the sender's ANSI code page to UTF-16 (the older form's
// texts); the Windows side passes its code-page converter.
using AnsiToUtf16 = std::u16string (*)(const char* bytes, std::size_t length);

// Wire form, no header:
//
//   +---------+--------+--------+-----------+---------+---------+-------------+
//   | version | cbSize | dwMask | dwEffects | yHeight | yOffset | crTextColor |
//   | u32 (0) | u32 92 | u32    | u32       | u32     | u32     | u32         |
//   +---------+--------+--------+-----------+---------+---------+-------------+
//   | bCharSet | bPitchAndFamily | szFaceName         | time | name   | text   |
//   | u8       | u8              | varstr, 64 bytes   | u32  | varstr | varstr |
//   +----------+-----------------+--------------------+------+--------+--------+
//
// name and text are UTF-16 units, two bytes each, no terminator. An older
// form lacks the version: its first u32 (above 91) is cbSize, and its name
// and text are narrow ANSI text.
struct _tagChatMsg {
    static constexpr std::uint32_t kLastVersion = 91;
    static constexpr std::size_t kFaceBytes = 64;

    // Stamped with the current time.
    _tagChatMsg();

    std::uint32_t version = 0;
    ChatCharFormat format;
    std::uint32_t time = 0;
    std::u16string name;  // empty: a system notice
    std::u16string text;  // emoticons as delimited codes

    // Throws nps::pack_error when a text passes the varstr limit.
    void pack(nps::Pack& out) const;
    // Either form; throws nps::unpack_error on a record cut short.
    void unpack(nps::Unpack& in, AnsiToUtf16 ansi);

    // The packed bytes, or false (out untouched) when packing failed.
    bool ToBytes(std::string& out) const;
    // False when the bytes do not read as a record.
    bool FromBytes(const void* bytes, std::size_t length, AnsiToUtf16 ansi);
};
