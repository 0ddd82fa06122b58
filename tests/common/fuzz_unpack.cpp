// Drives the Unpack readers with the input itself: each byte read as an
// operation code picks the next pop. Checks that a failing pop consumes
// nothing and that bit fields read back as what they pack to.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/pack/BitField.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

volatile unsigned char sink;

void Touch(const char* p, std::uint32_t n) {
    // Lets ASan see a pointer that runs past the input.
    for (std::uint32_t i = 0; i < n; ++i)
        sink = static_cast<unsigned char>(sink + p[i]);
}

void CheckBitField(const nps::BitField& field) {
    if (field.size() > nps::max_unpack_bits)
        std::abort();
    // Large fields cost megabytes per run and add no new paths.
    if (field.size() > 65536)
        return;
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    nps::pack_bitset(pack, field);
    nps::Unpack again(buffer.data, buffer.size);
    nps::BitField copy;
    nps::unpack_bitset(again, copy);
    again.finish();
    if (copy != field)
        std::abort();
}

void Step(nps::Unpack& u, unsigned op) {
    switch (op % 9) {
    case 0: u.pop_uint8(); break;
    case 1: u.pop_uint16(); break;
    case 2: u.pop_uint32(); break;
    case 3: u.pop_uint64(); break;
    case 4: {
        const std::uint32_t n = u.pop_uint8();
        Touch(u.pop_fetch_ptr(n), n);
        break;
    }
    case 5: {
        const nps::ByteRange r = u.pop_varstr();
        Touch(r.data, r.size);
        break;
    }
    case 6: {
        const nps::ByteRange r = u.pop_varstr32();
        Touch(r.data, r.size);
        break;
    }
    case 7: {
        nps::BitField field;
        nps::unpack_bitset(u, field);
        CheckBitField(field);
        break;
    }
    default: u.finish(); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nps::Unpack u(data, static_cast<std::uint32_t>(size));
    while (u.left != 0) {
        const unsigned op = u.pop_uint8();
        const char* const pos = u.pos;
        const std::uint32_t left = u.left;
        try {
            Step(u, op);
        } catch (const nps::unpack_error&) {
            // Case 4 pops its own length first; everything else is all or nothing.
            if (op % 9 != 4 && (u.pos != pos || u.left != left))
                std::abort();
        } catch (const nps::pack_error&) {
            if (op % 9 != 8 || u.left == 0)
                std::abort();
        }
        if (u.left > left || u.pos < pos)
            std::abort();
    }
    return 0;
}
