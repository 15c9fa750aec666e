// decode_unary (method 4): worked examples, every code, flush boundaries, short and overlong
// streams, and matches that reach into what an earlier decode left in the Window.
#include "tests/decode/bit_writer.h"
#include "tests/decode/decode_fixture.h"

#include "archive/packed_input.h"
#include "decode/bit_reader.h"
#include "decode/unary_decoder.h"
#include "decode/window.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using test::BitWriter;
using test::Bytes;
using test::Decoder;
using test::run_decoder;

Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<unsigned char>((i * 7 + seed + (i >> 8)) & 0xFF);
    }
    return out;
}

Bytes literals(const Bytes& data) {
    BitWriter out;
    for (unsigned char b : data) test::put_unary_literal(out, b);
    return out.finish();
}

TEST(DecodeUnary, WorkedExamples) {
    struct Case {
        Bytes packed;
        std::string output;
    };
    const Case cases[] = {
        {{0x30, 0x98, 0x8C, 0x7C, 0x00, 0x20}, "abcabcabcabc"},
        {{0x20, 0xC0, 0x00}, "AAAA"},
    };
    for (const Case& c : cases) {
        const auto result = run_decoder(Decoder::unary, c.packed, c.output.size());
        EXPECT_EQ(result.kept, test::bytes_of(c.output));
        EXPECT_EQ(result.offered_crc, test::crc32_of(test::bytes_of(c.output)));
    }
}

// Every length code and every distance code reads back as written, the largest ones (seven and
// four 1 bits with no 0 after them) included.
TEST(DecodeUnary, EveryCodeReadsBack) {
    BitWriter out;
    for (std::uint32_t code = 0; code <= 254; ++code) test::put_unary_length(out, code);
    for (std::uint32_t code = 0; code <= 15871; ++code) test::put_unary_distance(out, code);
    const Bytes packed = out.finish();
    test::start_bit_input(packed);
    accumulator = 0;
    held_bits = 0;
    for (std::uint32_t code = 0; code <= 254; ++code) ASSERT_EQ(read_unary_length(), code);
    for (std::uint32_t code = 0; code <= 15871; ++code) ASSERT_EQ(read_unary_distance(), code);

    BitWriter largest;
    largest.put(0x7F, 7);
    largest.put(0x7F, 7);
    largest.put(0xF, 4);
    largest.put(0x1FFF, 13);
    const Bytes packed_largest = largest.finish();
    test::start_bit_input(packed_largest);
    accumulator = 0;
    held_bits = 0;
    EXPECT_EQ(read_unary_length(), 254u);
    EXPECT_EQ(read_unary_distance(), 15871u);
}

TEST(DecodeUnary, LongestMatchAndFarthestDistance) {
    Bytes expected = pattern(15872, 3);
    BitWriter out;
    for (unsigned char b : expected) test::put_unary_literal(out, b);
    test::put_unary_match(out, 256, 15872);
    test::put_unary_match(out, 256, 1);
    test::reference_copy(expected, 256, 15872);
    test::reference_copy(expected, 256, 1);
    const auto result =
        run_decoder(Decoder::unary, out.finish(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_EQ(result.kept, expected);
}

// Every match length and the first and last distance of every class, through the decoder's loop.
TEST(DecodeUnary, EveryLengthAndDistanceClass) {
    Bytes expected = pattern(16000, 5);
    BitWriter out;
    for (unsigned char b : expected) test::put_unary_literal(out, b);
    const std::uint32_t distances[] = {1, 2, 512, 513, 1536, 1537, 3584, 3585, 7680, 7681, 15872};
    std::size_t next = 0;
    for (std::uint32_t length = 3; length <= 256; ++length) {
        const std::uint32_t back = distances[next++ % std::size(distances)];
        test::put_unary_match(out, length, back);
        test::reference_copy(expected, length, back);
        test::put_unary_literal(out, static_cast<unsigned char>(length));
        expected.push_back(static_cast<unsigned char>(length));
    }
    const auto result =
        run_decoder(Decoder::unary, out.finish(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_TRUE(result.kept == expected);
}

// The sink gets full Windows while decoding and the rest at the end. A capacity one short of the
// output shows the pieces: the first 26624 bytes fit, the final piece is refused (but offered).
TEST(DecodeUnary, FlushesWholeWindows) {
    struct Case {
        std::uint32_t size;
        std::uint32_t capacity;
        std::uint32_t kept;
    };
    const Case cases[] = {
        {26624, 26624, 26624}, {26625, 26625, 26625}, {26625, 26624, 26624},
        {26624, 26623, 0},     {53249, 53248, 53248}, {30000, 29999, 26624},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes data = pattern(c.size, c.capacity);
        const auto result = run_decoder(Decoder::unary, literals(data), c.size, c.capacity);
        EXPECT_EQ(result.kept, Bytes(data.begin(), data.begin() + c.kept));
        EXPECT_EQ(result.offered_crc, test::crc32_of(data));
        EXPECT_EQ(result.overflowed, c.kept != c.size);
    }
}

TEST(DecodeUnary, MatchAcrossTheFlush) {
    Bytes expected = pattern(26620, 9);
    BitWriter out;
    for (unsigned char b : expected) test::put_unary_literal(out, b);
    test::put_unary_match(out, 200, 7); // positions 26620 to 26819: flushes after 4 bytes
    test::put_unary_literal(out, 0x5A);
    test::put_unary_match(out, 100, 15000); // source before the wrap point
    test::reference_copy(expected, 200, 7);
    expected.push_back(0x5A);
    test::reference_copy(expected, 100, 15000);
    const auto result =
        run_decoder(Decoder::unary, out.finish(), static_cast<std::uint32_t>(expected.size()));
    EXPECT_EQ(result.kept, expected);
}

TEST(DecodeUnary, ShortStreamPadsWithZeros) {
    const auto result = run_decoder(Decoder::unary, {0x20, 0xC0, 0x00}, 10);
    Bytes expected = test::bytes_of("AAAA");
    expected.resize(10, 0x00);
    EXPECT_EQ(result.kept, expected);

    EXPECT_TRUE(run_decoder(Decoder::unary, {}, 0).kept.empty());
    EXPECT_EQ(run_decoder(Decoder::unary, {}, 3).kept, Bytes(3, 0x00));
}

// A match past the unpacked size is copied whole; the flush that no longer fits is refused and
// ends the decode, the sink keeping what fit before it.
TEST(DecodeUnary, MatchOverrunningTheSizeIsRefused) {
    const Bytes worked = {0x30, 0x98, 0x8C, 0x7C, 0x00, 0x20};
    const auto small = run_decoder(Decoder::unary, worked, 10);
    EXPECT_TRUE(small.kept.empty());
    EXPECT_EQ(small.offered_crc, test::crc32_of(test::bytes_of("abcabcabcabc")));

    Bytes expected = pattern(26628, 1);
    BitWriter out;
    for (unsigned char b : expected) test::put_unary_literal(out, b);
    test::put_unary_match(out, 5, 2);
    test::put_unary_literal(out, 0x11); // never reached
    test::reference_copy(expected, 5, 2);
    const auto result = run_decoder(Decoder::unary, out.finish(), 26630);
    EXPECT_EQ(result.kept, Bytes(expected.begin(), expected.begin() + 26624));
    EXPECT_EQ(result.offered_crc, test::crc32_of(expected));
    EXPECT_TRUE(result.overflowed);
}

// A match reaching before the entry's first byte copies what an earlier decode left there.
TEST(DecodeUnary, MatchBeforeFirstByteReadsEarlierOutput) {
    const Bytes earlier = pattern(26624, 77);
    ASSERT_EQ(run_decoder(Decoder::unary, literals(earlier), 26624).kept, earlier);
    ASSERT_EQ(std::memcmp(window, earlier.data(), earlier.size()), 0);

    BitWriter out;
    test::put_unary_match(out, 10, 5);
    test::put_unary_literal(out, 0xEE);
    test::put_unary_match(out, 4, 15872);
    Bytes expected(earlier.end() - 5, earlier.end());
    expected.insert(expected.end(), earlier.end() - 5, earlier.end());
    expected.push_back(0xEE);
    for (std::uint32_t i = 0; i < 4; ++i) expected.push_back(earlier[26624 - 15872 + 11 + i]);
    const auto result = run_decoder(Decoder::unary, out.finish(), 15);
    EXPECT_EQ(result.kept, expected);
}

} // namespace
