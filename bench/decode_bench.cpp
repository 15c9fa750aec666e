// sfx_decode_bench: unpacking speed of the stub's decoders (through unpack_entry, as extraction
// drives them) beside zlib's inflate on the same data packed with zlib level 9, and the packing
// speed and packed size of every method and effort with their ratio to zlib -9.
//
// Inputs: 4 MB of text (the machine's uncompressed documentation) and 4 MB of binaries (its
// programs), concatenated in name order; generated text-like and binary-like data when the
// machine has too little. Counters: packed = packed bytes, ratio = packed / zlib -9 packed.
#include "bench/bench_support.h"
#include "encode/compress.h"

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <tuple>

namespace {

constexpr std::size_t sample_size = 4u << 20;

const bench::Bytes& input(bool text) {
    static const bench::Bytes text_input = bench::machine_sample(true, sample_size);
    static const bench::Bytes binary_input = bench::machine_sample(false, sample_size);
    return text ? text_input : binary_input;
}

const bench::Bytes& zlib_packed(bool text) {
    static std::map<bool, bench::Bytes> cache;
    auto it = cache.find(text);
    if (it == cache.end()) it = cache.emplace(text, bench::zlib9_compress(input(text))).first;
    return it->second;
}

const bench::Bytes& packed(bool text, int method, Effort effort) {
    static std::map<std::tuple<bool, int, Effort>, bench::Bytes> cache;
    const auto key = std::make_tuple(text, method, effort);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, compress(input(text), method, effort)).first;
    return it->second;
}

void set_size_counters(benchmark::State& state, std::size_t packed_size, bool text) {
    state.counters["packed"] = static_cast<double>(packed_size);
    state.counters["ratio"] =
        static_cast<double>(packed_size) / static_cast<double>(zlib_packed(text).size());
}

void unpack_stub(benchmark::State& state, bool text, int method, Effort effort) {
    const bench::Bytes& data = input(text);
    const bench::Bytes& stream = packed(text, method, effort);
    const std::uint32_t crc = bench::crc32_of(data);
    const auto size = static_cast<std::uint32_t>(data.size());
    for (auto _ : state) {
        if (!bench::stub_unpack(stream, method, size, crc)) {
            state.SkipWithError("unpacked data do not match");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * size);
    set_size_counters(state, stream.size(), text);
}

void inflate_zlib(benchmark::State& state, bool text) {
    const bench::Bytes& data = input(text);
    const bench::Bytes& stream = zlib_packed(text);
    bench::Bytes out(data.size());
    for (auto _ : state) {
        if (!bench::zlib_inflate(stream, out)) {
            state.SkipWithError("inflate failed");
            return;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
    set_size_counters(state, stream.size(), text);
}

void pack(benchmark::State& state, bool text, int method, Effort effort) {
    const bench::Bytes& data = input(text);
    std::size_t size = 0;
    for (auto _ : state) size = compress(data, method, effort).size();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
    set_size_counters(state, size, text);
}

void pack_zlib(benchmark::State& state, bool text) {
    const bench::Bytes& data = input(text);
    std::size_t size = 0;
    for (auto _ : state) size = bench::zlib9_compress(data).size();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(data.size()));
    set_size_counters(state, size, text);
}

const char* effort_name(Effort effort) {
    return effort == Effort::fast ? "fast" : effort == Effort::normal ? "normal" : "best";
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::tuple<int, Effort> levels[] = {{3, Effort::fast},   {2, Effort::normal},
                                              {1, Effort::best},   {4, Effort::fast},
                                              {4, Effort::normal}, {4, Effort::best}};
    for (bool text : {true, false}) {
        const std::string kind = text ? "text" : "binary";
        benchmark::RegisterBenchmark(("unpack/" + kind + "/zlib-9 inflate").c_str(), inflate_zlib,
                                     text)
            ->Unit(benchmark::kMillisecond);
        for (const auto& [method, effort] : levels)
            benchmark::RegisterBenchmark(
                ("unpack/" + kind + "/method " + std::to_string(method) + " " + effort_name(effort))
                    .c_str(),
                unpack_stub, text, method, effort)
                ->Unit(benchmark::kMillisecond);
    }
    for (bool text : {true, false}) {
        const std::string kind = text ? "text" : "binary";
        benchmark::RegisterBenchmark(("pack/" + kind + "/zlib -9").c_str(), pack_zlib, text)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
        for (const auto& [method, effort] : levels)
            benchmark::RegisterBenchmark(
                ("pack/" + kind + "/method " + std::to_string(method) + " " + effort_name(effort))
                    .c_str(),
                pack, text, method, effort)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
