// Packer round trips: a peer-message-like record of integers and texts, and a
// piece map as a bit field.
#include <string>

#include <benchmark/benchmark.h>

#include "common/pack/BitField.h"
#include "common/pack/BlockBuffer.h"
#include "common/pack/Pack.h"
#include "common/pack/Unpack.h"

namespace {

void PackRecord(nps::Pack& p, const std::string& text, int entries) {
    p.push_uint8(3);
    p.push_uint32(0x12345678);
    p.push_varstr(text);
    for (int i = 0; i < entries; ++i) {
        p.push_uint32(static_cast<std::uint32_t>(i));
        p.push_uint64(static_cast<std::uint64_t>(i) << 20);
        p.push_uint16(static_cast<std::uint16_t>(i));
    }
    p.push_varstr32(text);
}

std::uint64_t UnpackRecord(const nps::DefaultBlockBuffer& b, int entries) {
    nps::Unpack u(b.data, b.size);
    std::uint64_t sum = u.pop_uint8() + u.pop_uint32();
    sum += u.pop_varstr().size;
    for (int i = 0; i < entries; ++i) {
        sum += u.pop_uint32();
        sum += u.pop_uint64();
        sum += u.pop_uint16();
    }
    sum += u.pop_varstr32().size;
    u.finish();
    return sum;
}

void BM_PackUnpackRecord(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string text(64, 'p');
    std::size_t bytes = 0;
    for (auto _ : state) {
        nps::DefaultBlockBuffer b;
        nps::Pack p(b);
        PackRecord(p, text, entries);
        benchmark::DoNotOptimize(UnpackRecord(b, entries));
        bytes = b.size;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PackUnpackRecord)->Arg(8)->Arg(1000);

void BM_PackUnpackRecordReusedBuffer(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const std::string text(64, 'p');
    nps::DefaultBlockBuffer b;
    for (auto _ : state) {
        b.resize(0);
        nps::Pack p(b);
        PackRecord(p, text, entries);
        benchmark::DoNotOptimize(UnpackRecord(b, entries));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size));
}
BENCHMARK(BM_PackUnpackRecordReusedBuffer)->Arg(8)->Arg(1000);

void BM_BitFieldRoundTrip(benchmark::State& state) {
    nps::BitField field(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < field.size(); i += 3)
        field.set(i);
    nps::DefaultBlockBuffer b;
    for (auto _ : state) {
        b.resize(0);
        nps::Pack p(b);
        nps::pack_bitset(p, field);
        nps::Unpack u(b.data, b.size);
        nps::BitField back;
        nps::unpack_bitset(u, back);
        benchmark::DoNotOptimize(back.size());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * b.size));
}
BENCHMARK(BM_BitFieldRoundTrip)->Arg(48)->Arg(65536);

}  // namespace

BENCHMARK_MAIN();
