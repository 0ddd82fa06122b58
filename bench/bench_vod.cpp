// The block map's store, read and release over a whole in-memory window, and
// the parse of a full cache index.
#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "vod/VodBlockMap.h"
#include "vod/VodCacheIndex.h"

namespace {

// Fills the whole store of a video the size of the default memory setting,
// reads it back in 64 KiB chunks as the player would, then releases it.
void BM_BlockMapStoreReadRelease(benchmark::State& state) {
    const std::int64_t size = 20 * 1048576;
    const std::string piece(kVodPieceSize, 'v');
    std::vector<char> out(65536);
    for (auto _ : state) {
        CVodBlockMap map(size, 20);
        const std::uint32_t pieces = map.GetPieceCapacity();
        for (std::uint32_t p = 0; p < pieces; ++p)
            map.StorePiece(p, piece.data(), kVodPieceSize, false);
        std::int64_t at = 0;
        int got;
        while ((got = map.Read(at, out.data(), static_cast<std::uint32_t>(out.size()))) > 0)
            at += got;
        benchmark::DoNotOptimize(at);
        map.ReleaseOutside(map.GetBlockCount(), 0, map.GetBlockCount());
    }
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_BlockMapStoreReadRelease)->Unit(benchmark::kMillisecond);

// An index of a fully cached 1 GiB video (29,128 entries).
void BM_ParseFullIndex(benchmark::State& state) {
    const std::uint32_t blocks = 29128;
    nps::DefaultBlockBuffer buffer;
    nps::Pack pack(buffer);
    VodIndexHeader header;
    header.hash = "0123456789abcdef0123456789abcdef";
    header.natServer = "nat.test:3501";
    header.trackerUrl = "http://127.0.0.1/vod";
    header.contentId = 7;
    header.blockCount = blocks;
    header.Pack(pack);
    for (std::uint32_t b = 0; b < blocks; ++b) {
        VodIndexEntry entry;
        entry.block = b;
        entry.offset = std::uint64_t(b) * kVodBlockSize;
        entry.length = static_cast<std::uint16_t>(kVodBlockSize);
        entry.Pack(pack);
    }
    for (auto _ : state) {
        VodCacheIndex index;
        std::string discard;
        index.BeginParse(buffer.size);
        benchmark::DoNotOptimize(index.ParseAppended(buffer.data, buffer.size, discard));
    }
    state.SetBytesProcessed(state.iterations() * buffer.size);
}
BENCHMARK(BM_ParseFullIndex)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
