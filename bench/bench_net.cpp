// The network stack's per-datagram work: sorting and decoding a received UH
// message, encoding one to send, parsing a STUN answer, and counting bytes
// in the bandwidth meter.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "net/BandWidth.h"
#include "net/StunMessage.h"
#include "net/UhMessages.h"

namespace {

PeerAddress Sample(char fill) {
    PeerAddress a;
    a.Clear();
    std::memset(a.id.bytes, fill, PeerId::kSize);
    a.endpoint.SetPublicPort(5123);
    a.endpoint.SetLocalPort(5123);
    a.endpoint.publicIp = 0x0100007F;
    a.endpoint.localIp = 0x020200C0;
    return a;
}

void BM_EncodeSessionMessage(benchmark::State& state) {
    const UhSessionMessage m = {UH_PUNCH, 3, 77, 1, 0, Sample('a'), Sample('b')};
    nps::DefaultBlockBuffer buffer;
    for (auto _ : state) {
        buffer.resize(0);
        EncodeUhSessionMessage(buffer, m);
        benchmark::DoNotOptimize(buffer.data);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeSessionMessage);

void BM_ClassifyAndDecodeSessionMessage(benchmark::State& state) {
    nps::DefaultBlockBuffer buffer;
    EncodeUhSessionMessage(buffer, UhSessionMessage{UH_PUNCH, 3, 77, 1, 0, Sample('a'), Sample('b')});
    for (auto _ : state) {
        PpnHeader header;
        UhMessage m;
        ClassifyDatagram(buffer.data, buffer.size, header);
        benchmark::DoNotOptimize(DecodeUhMessage(header, buffer.data + 12, buffer.size - 12, m));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClassifyAndDecodeSessionMessage);

void BM_StunParseAnswer(benchmark::State& state) {
    // Binding response: MAPPED-ADDRESS, SOURCE-ADDRESS, CHANGED-ADDRESS.
    const unsigned char answer[] = {
        0x01, 0x01, 0x00, 0x24, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
        0x00, 0x01, 0x00, 0x08, 0, 1, 0x9C, 0x40, 192, 0, 2, 2,
        0x00, 0x04, 0x00, 0x08, 0, 1, 0x0D, 0x96, 127, 0, 0, 1,
        0x00, 0x05, 0x00, 0x08, 0, 1, 0x0D, 0x97, 127, 0, 0, 2};
    StunMessageRecord record;
    for (auto _ : state)
        benchmark::DoNotOptimize(StunParseMessage(answer, sizeof answer, record));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StunParseAnswer);

void BM_BandWidthAddReceived(benchmark::State& state) {
    util::BandWidth meter;
    for (auto _ : state)
        meter.AddReceived(1400);
    benchmark::DoNotOptimize(meter.CurrentReceiveRate());
    state.SetBytesProcessed(state.iterations() * 1400);
}
BENCHMARK(BM_BandWidthAddReceived);

}  // namespace

BENCHMARK_MAIN();
