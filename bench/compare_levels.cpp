// compare_levels [--per-file] [--method N] FILE...: packs every file on its own with each method
// and effort and with zlib level 9, and prints per level the total packed size, the ratio to zlib
// -9, the packing speed, and the speed at which the stub's decoders unpack the result (beside
// zlib's inflate).
#include "bench/bench_support.h"
#include "encode/compress.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// Speeds are taken over the process's CPU time, so that other work on a shared machine does not
// count against them.
struct Clock {
    using time_point = std::clock_t;
    static time_point now() { return std::clock(); }
};

double seconds_since(Clock::time_point start) {
    return static_cast<double>(Clock::now() - start) / CLOCKS_PER_SEC;
}

struct Input {
    std::string name;
    bench::Bytes data;
    std::uint32_t crc;
};

} // namespace

int main(int argc, char** argv) {
    std::vector<Input> inputs;
    std::size_t total = 0;
    bool per_file = false;
    int only_method = 0; // 0: every method
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--method" && i + 1 < argc) {
            only_method = std::atoi(argv[++i]);
            continue;
        }
        if (std::string(argv[i]) == "--per-file") {
            per_file = true;
            continue;
        }
        Input input{argv[i], bench::read_whole(argv[i]), 0};
        input.crc = bench::crc32_of(input.data);
        total += input.data.size();
        inputs.push_back(std::move(input));
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: compare_levels FILE...\n");
        return 1;
    }
    std::printf("corpus: %zu files, %zu bytes\n", inputs.size(), total);
    const double mb = static_cast<double>(total) / 1e6;

    // zlib -9 first: the reference size and inflate speed.
    std::vector<bench::Bytes> zlib_packed;
    auto start = Clock::now();
    std::size_t zlib_total = 0;
    for (const Input& input : inputs) {
        zlib_packed.push_back(bench::zlib9_compress(input.data));
        zlib_total += zlib_packed.back().size();
    }
    const double zlib_pack_s = seconds_since(start);
    start = Clock::now();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        bench::Bytes out(inputs[i].data.size());
        if (!bench::zlib_inflate(zlib_packed[i], out))
            std::printf("inflate failed: %s\n", inputs[i].name.c_str());
    }
    const double inflate_s = seconds_since(start);
    std::printf("%-22s %12s %8s %10s %12s   (MB/s of CPU time)\n", "level", "packed", "ratio",
                "pack MB/s", "unpack MB/s");
    std::printf("%-22s %12zu %8.4f %10.2f %12.1f\n", "zlib -9", zlib_total, 1.0, mb / zlib_pack_s,
                mb / inflate_s);

    struct Level {
        const char* name;
        int method;
        Effort effort;
    };
    const Level levels[] = {
        {"method 3 (fast)", 3, Effort::fast},   {"method 2 (normal)", 2, Effort::normal},
        {"method 1 (best)", 1, Effort::best},   {"method 4 fast", 4, Effort::fast},
        {"method 4 normal", 4, Effort::normal}, {"method 4 best", 4, Effort::best},
    };
    for (const Level& level : levels) {
        if (only_method != 0 && level.method != only_method) continue;
        std::vector<bench::Bytes> packed;
        std::size_t packed_total = 0;
        start = Clock::now();
        for (const Input& input : inputs) {
            packed.push_back(compress(input.data, level.method, level.effort));
            packed_total += packed.back().size();
        }
        const double pack_s = seconds_since(start);
        start = Clock::now();
        bool all_good = true;
        for (std::size_t i = 0; i < inputs.size(); ++i)
            all_good &= bench::stub_unpack(packed[i], level.method,
                                           static_cast<std::uint32_t>(inputs[i].data.size()),
                                           inputs[i].crc);
        const double unpack_s = seconds_since(start);
        if (per_file)
            for (std::size_t i = 0; i < inputs.size(); ++i)
                std::printf("  %10zu %10zu %10zu %s\n", inputs[i].data.size(),
                            zlib_packed[i].size(), packed[i].size(), inputs[i].name.c_str());
        std::printf("%-22s %12zu %8.4f %10.2f %12.1f%s\n", level.name, packed_total,
                    static_cast<double>(packed_total) / static_cast<double>(zlib_total),
                    mb / pack_s, mb / unpack_s, all_good ? "" : "  (UNPACK FAILED)");
        std::fflush(stdout);
    }
    return 0;
}
