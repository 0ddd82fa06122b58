// Encode and decode of a tracker reply: a dictionary with a list of 50 peers.
#include <cstdio>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "common/bencode/btDecoder.h"
#include "common/bencode/btDict.h"
#include "common/bencode/btEncoder.h"
#include "common/bencode/btInteger.h"
#include "common/bencode/btList.h"
#include "common/bencode/btStream.h"
#include "common/bencode/btString.h"

namespace {

std::unique_ptr<btDict> MakeTrackerReply(int peers) {
    auto reply = std::make_unique<btDict>();
    reply->Insert("result", new btInteger(0));
    reply->Insert("interval", new btInteger(1800));
    reply->Insert("hash", new btString("0123456789abcdef0123456789abcdef"));
    reply->Insert("nat", new btString("203.0.113.7:8000"));
    auto* list = new btList;
    for (int i = 0; i < peers; ++i) {
        char text[32];
        auto* peer = new btDict;
        std::snprintf(text, sizeof text, "198.51.100.%d", i + 1);
        peer->Insert("ip", new btString(text));
        peer->Insert("port", new btInteger(6000 + i));
        std::snprintf(text, sizeof text, "peer-%014d", i * 7919);
        peer->Insert("id", new btString(text));
        peer->Insert("lanip", new btString("192.168.1.20"));
        peer->Insert("lanport", new btInteger(7000 + i));
        peer->Insert("nattype", new btInteger(i % 4));
        list->Append(peer);
    }
    reply->Insert("peers", list);
    return reply;
}

std::string EncodeOnce(const btDict& dict) {
    btStream s;
    btEncoder(&s).EncodeDict(&dict);
    return s.GetBuffer().substr(0, static_cast<std::size_t>(s.GetSize()));
}

void BM_EncodeTrackerReply(benchmark::State& state) {
    const auto reply = MakeTrackerReply(50);
    const std::size_t bytes = EncodeOnce(*reply).size();
    for (auto _ : state) {
        btStream s;
        btEncoder e(&s);
        benchmark::DoNotOptimize(e.EncodeDict(reply.get()));
        benchmark::DoNotOptimize(s.GetBuffer().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["reply_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodeTrackerReply);

void BM_DecodeTrackerReply(benchmark::State& state) {
    const std::string text = EncodeOnce(*MakeTrackerReply(50));
    btStream s;
    s.Write(text.data(), static_cast<std::int32_t>(text.size()));
    for (auto _ : state) {
        s.Reset(0);
        btDict reply;
        btDecoder d(&s);
        benchmark::DoNotOptimize(d.DecodeDict(&reply));
        benchmark::DoNotOptimize(reply.Find("peers"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["reply_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_DecodeTrackerReply);

}  // namespace

BENCHMARK_MAIN();
