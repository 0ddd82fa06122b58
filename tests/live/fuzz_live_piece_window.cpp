// Drives a small piece window with operations read from the bytes: slots,
// blocks of any length and index, reads, the scheduling helpers and clears.
// Reads never pass the caller's buffer, and a complete piece reads back whole.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "live/LivePieceWindow.h"

namespace {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_at < m_size; }
    std::uint8_t U8() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(U8() | (U8() << 8)); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    LivePieceWindow window(12);
    Input in(data, size);
    static char bytes[4 * kLiveBlockSize];
    static std::vector<char> buffer(8 * kLiveBlockSize);
    std::set<std::uint64_t> rerequest;
    LivePieceSet wantedPieces;
    while (in.More()) {
        const std::uint8_t op = in.U8() % 9;
        const std::uint32_t piece = in.U8();  // pieces 0..255 in a window of 12
        switch (op) {
        case 0:
            window.SetStart(piece);
            break;
        case 1: {
            const std::uint32_t length = in.U16() % (sizeof bytes + 1);
            window.AddPiece(piece, length, (in.U8() & 1) ? bytes : nullptr);
            break;
        }
        case 2: {
            const std::uint32_t index = in.U8() % 8;
            const std::uint32_t length = in.U16() % (kLiveBlockSize + 2);
            window.StoreBlock(piece, index, length, bytes);
            break;
        }
        case 3: {
            std::uint32_t length = in.U16() % static_cast<std::uint32_t>(buffer.size());
            const std::uint32_t room = length;
            const std::int32_t got = window.GetPiece(piece, (in.U8() & 1) ? buffer.data() : nullptr, length);
            if (got > 0 && (static_cast<std::uint32_t>(got) > room || length != static_cast<std::uint32_t>(got)))
                std::abort();
            break;
        }
        case 4: {
            const char* block;
            std::uint32_t length;
            if (window.GetBlock(piece, in.U8() % 8, block, length) && (length == 0 || length > kLiveBlockSize))
                std::abort();
            break;
        }
        case 5: {
            rerequest.insert(LiveBlockKey(piece, in.U8() % 8));
            wantedPieces.insert(piece);
            BlockBitFieldMap wanted;
            window.CollectLostBlocks(rerequest, wanted);
            window.CollectMissingBlocks(wantedPieces, wanted);
            for (const auto& entry : wanted)
                if (entry.second.size() != window.BlockCountOf(entry.first))
                    std::abort();
            break;
        }
        case 6: {
            LivePieceWindow::HaveChanges changes;
            window.TakeHaveChanges(changes);
            break;
        }
        case 7:
            if (window.IsComplete(piece)) {
                std::uint32_t length = 0;
                if (window.GetPiece(piece, nullptr, length) != 0)
                    std::abort();
                std::uint32_t room = static_cast<std::uint32_t>(buffer.size());
                const std::int32_t got = window.GetPiece(piece, buffer.data(), room);
                if (length != 0 && static_cast<std::uint32_t>(got) != length)
                    std::abort();
            }
            break;
        default:
            if ((in.U8() & 0x0F) == 0)
                window.Clear();
            break;
        }
    }
    return 0;
}
