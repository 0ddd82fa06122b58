// The live piece window's store and read over a full window of pieces, the
// feeder's whole-piece read, and the peer message decoder on a block and a
// request.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/pack/BlockBuffer.h"
#include "live/LiveMessages.h"
#include "live/LivePieceWindow.h"

namespace {

// A piece of one second of a 1 Mbit/s stream.
const std::uint32_t kPieceBytes = 128 * 1024;

// Each iteration makes the slot of the next piece and stores its blocks one by
// one, as they arrive from peers; the window slides and recycles its chunks.
void BM_StoreBlocks(benchmark::State& state) {
    const std::string block(kLiveBlockSize, 'b');
    const std::uint32_t blocks = LiveBlockCount(kPieceBytes);
    LivePieceWindow window;
    std::uint32_t piece = 1;
    std::int64_t bytes = 0;
    for (auto _ : state) {
        window.AddPiece(piece, kPieceBytes, nullptr);
        for (std::uint32_t b = 0; b < blocks; ++b) {
            const std::uint32_t n = LiveBlockLength(kPieceBytes, b);
            window.StoreBlock(piece, b, n, block.data());
            bytes += n;
        }
        ++piece;
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_StoreBlocks)->Unit(benchmark::kMicrosecond);

// The feeder's read of whole complete pieces.
void BM_ReadPieces(benchmark::State& state) {
    const std::string data(kPieceBytes, 'r');
    LivePieceWindow window;
    for (std::uint32_t piece = 1; piece <= kLiveWindowCapacity; ++piece)
        window.AddPiece(piece, kPieceBytes, data.data());
    const std::uint32_t start = window.GetStart();
    std::vector<char> buffer(kPieceBytes);
    std::uint32_t at = 0;
    for (auto _ : state) {
        std::uint32_t length = kPieceBytes;
        benchmark::DoNotOptimize(window.GetPiece(start + at, buffer.data(), length));
        at = (at + 1) % kLiveWindowCapacity;
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(kPieceBytes));
}
BENCHMARK(BM_ReadPieces)->Unit(benchmark::kMicrosecond);

std::string Packed(const LiveMessage& message) {
    nps::DefaultBlockBuffer buffer;
    PackLiveMessage(message, buffer);
    return std::string(buffer.data, buffer.size);
}

void DecodeLoop(benchmark::State& state, const std::string& bytes) {
    LiveMessage message;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            ReadLiveMessage(bytes.data(), static_cast<std::uint32_t>(bytes.size()), message));
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * std::int64_t(bytes.size()));
}

void BM_DecodeBlock(benchmark::State& state) {
    const std::string data(kLiveBlockSize, 'd');
    LiveMessage block;
    block.type = LIVE_MSG_BLOCK;
    block.block.piece = 1000;
    block.block.data = {data.data(), kLiveBlockSize};
    DecodeLoop(state, Packed(block));
}
BENCHMARK(BM_DecodeBlock);

// A request for ten pieces of 171 blocks each: the scheduler's usual share.
void BM_DecodeRequest(benchmark::State& state) {
    LiveMessage request;
    request.type = LIVE_MSG_REQUEST;
    request.request.number = 1;
    for (std::uint32_t piece = 1000; piece < 1010; ++piece)
        request.request.pieces[piece].resize(LiveBlockCount(kPieceBytes), true);
    DecodeLoop(state, Packed(request));
}
BENCHMARK(BM_DecodeRequest);

}  // namespace

BENCHMARK_MAIN();
