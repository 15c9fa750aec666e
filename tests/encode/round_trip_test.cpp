// Round trips through the stub's own extraction path: the encoder's output as the packed data of
// an archive entry, scrambled as in a package, then unpacked by unpack_entry with the decoder of
// the entry's method and checked against the input and its CRC-32.
#include "archive/entry_walk.h"
#include "archive/extract_sink.h"
#include "archive/unpack_entry.h"
#include "encode/compress.h"
#include "tests/encode/sample_data.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using test::Bytes;

struct Unpacked {
    bool crc_matches = false;
    Bytes bytes;
};

Unpacked unpack(const Bytes& packed, int method, const Bytes& original) {
    test::RawEntry entry;
    entry.method = static_cast<std::uint8_t>(method);
    entry.packed = packed;
    entry.unpacked_size = static_cast<std::uint32_t>(original.size());
    entry.crc32 = test::crc32_of(original);
    const Bytes payload = test::scramble(test::archive_of({entry}));
    Bytes image = test::image_of(payload);
    const auto length = static_cast<std::uint32_t>(payload.size());
    EntryHeader header{};
    Unpacked result;
    if (!read_entry_header(image.data(), length, find_archive_end(image.data(), length), 0,
                           &header)) {
        ADD_FAILURE() << "entry header not accepted";
        return result;
    }
    if (!unpack_entry(image.data(), header, nullptr, 0)) {
        ADD_FAILURE() << "sink not allocated";
        return result;
    }
    result.crc_matches = sink_matches_crc(header);
    result.bytes.assign(extract_sink.buffer, extract_sink.buffer + extract_sink.count);
    release_sink();
    return result;
}

void expect_round_trip(const Bytes& data, const std::string& name) {
    for (int method = 1; method <= 4; ++method) {
        for (Effort effort : {Effort::fast, Effort::normal, Effort::best}) {
            SCOPED_TRACE(name + ", method " + std::to_string(method) + ", effort " +
                         std::to_string(static_cast<int>(effort)));
            const Bytes packed = compress(data, method, effort);
            const Unpacked out = unpack(packed, method, data);
            EXPECT_TRUE(out.crc_matches);
            ASSERT_EQ(out.bytes.size(), data.size());
            EXPECT_TRUE(out.bytes == data) << "unpacked bytes differ";
        }
    }
}

// Random bytes in which every other stretch of 1000 repeats from exactly `distance` bytes back.
Bytes with_repeats_at(std::size_t size, std::size_t distance, std::uint32_t seed) {
    Bytes data = sample::random_bytes(size, seed);
    for (std::size_t i = distance; i < size; ++i)
        if ((i / 1000) % 2 == 1) data[i] = data[i - distance];
    return data;
}

TEST(RoundTrip, SmallInputs) {
    expect_round_trip({}, "empty");
    expect_round_trip({0x7F}, "one byte");
    expect_round_trip(test::bytes_of("ab"), "two bytes");
    expect_round_trip(test::bytes_of("abcabcabcabc"), "abc");
    expect_round_trip(test::bytes_of("aaaa"), "aaaa");
}

TEST(RoundTrip, IncompressibleInput) {
    expect_round_trip(sample::random_bytes(200000, 21), "random");
}

TEST(RoundTrip, OneByteRepeated) {
    // Length-256 matches at distance 1 and the single-code forms of every alphabet.
    expect_round_trip(Bytes(1 << 20, 0xAA), "1 MiB of one byte");
    Bytes two(300000, 0);
    for (std::size_t i = 0; i < two.size(); ++i) two[i] = (i / 7000) % 2 ? 'b' : 'a';
    expect_round_trip(two, "runs of two bytes");
}

TEST(RoundTrip, TextAndBinary) {
    expect_round_trip(sample::text_like(600000, 22), "text");
    expect_round_trip(sample::binary_like(600000, 23), "binary");
}

TEST(RoundTrip, MatchesAtTheWindowLimits) {
    // Repeats from 15872 and 26624 bytes back (the farthest each format reaches) and from one
    // byte beyond, which no match may use.
    for (std::size_t distance : {15872u, 15873u, 26624u, 26625u})
        expect_round_trip(with_repeats_at(120000, distance, 24),
                          "repeats at " + std::to_string(distance));
}

// The encoders' best effort runs many times slower under the sanitizers; there the mixed input
// keeps all its parts, and still spans many blocks, with a quarter of its text and binary.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t mixed_scale = 4;
#else
constexpr std::size_t mixed_scale = 1;
#endif

TEST(RoundTrip, MultiMegabyteManyBlocks) {
    // Several MiB of mixed content: dozens of blocks of up to 65535 symbols, segment borders,
    // and flushes of the decoders' Window in the middle of matches.
    Bytes data = sample::text_like((2 << 20) / mixed_scale, 25);
    const Bytes binary = sample::binary_like((1 << 20) / mixed_scale, 26);
    data.insert(data.end(), binary.begin(), binary.end());
    const Bytes noise = sample::random_bytes(300000, 27);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), 70000, 0x20);
    expect_round_trip(data, "mixed content");
}

} // namespace
