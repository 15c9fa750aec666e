// Bit input: the state after reset_bits and skip_bits, the staging refills, a property test of
// bit_window against a plain bit-by-bit reader, and one of the decoders' StreamBits view against
// skip_bits.
#include "archive/packed_input.h"
#include "decode/bit_reader.h"
#include "tests/decode/decode_fixture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using test::Bytes;

using test::start_bit_input;

// The 16 stream bits from bit position pos on: the packed bytes MSB first, then zeros.
std::uint32_t reference_window(const Bytes& packed, std::uint64_t pos) {
    std::uint32_t value = 0;
    for (std::uint64_t bit = pos; bit < pos + 16; ++bit) {
        const std::uint64_t byte = bit / 8;
        const std::uint32_t b = byte < packed.size() ? (packed[byte] >> (7 - bit % 8)) & 1u : 0u;
        value = (value << 1) | b;
    }
    return value;
}

TEST(BitReader, WorkedExample) {
    const Bytes packed = {0x12, 0x34, 0x56, 0x78};
    start_bit_input(packed);
    EXPECT_EQ(bit_reader.bit_window, 0x1234u);
    EXPECT_EQ(bit_reader.pending_byte, 0x34u);
    EXPECT_EQ(bit_reader.pending_bits, 0);
    EXPECT_EQ(bit_reader.input_pos, 2);
    EXPECT_EQ(bit_reader.input_fill, 4);
    EXPECT_EQ(packed_input.remaining, 0u);

    skip_bits(3);
    EXPECT_EQ(bit_reader.bit_window, 0x91A2u);
    EXPECT_EQ(bit_reader.pending_byte, 0x56u);
    EXPECT_EQ(bit_reader.pending_bits, 5);
    EXPECT_EQ(bit_reader.input_pos, 3);

    skip_bits(0);
    EXPECT_EQ(bit_reader.bit_window, 0x91A2u);
    skip_bits(16); // the whole window replaced by the next 16 stream bits (bit 19 on)
    EXPECT_EQ(bit_reader.bit_window, reference_window(packed, 19));
}

// Packed sizes below 2 are padded with zeros; size 33 needs one refill of 32, one of 1, then 0s.
TEST(BitReader, ShortInputAndRefills) {
    struct Case {
        Bytes packed;
        std::uint32_t window;
        int fill;
        int pos;
    };
    const Case cases[] = {
        {{}, 0x0000, 0, 0},
        {{0xAB}, 0xAB00, 0, 0},
        {{0xAB, 0xCD}, 0xABCD, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.packed.size());
        start_bit_input(c.packed);
        EXPECT_EQ(bit_reader.bit_window, c.window);
        EXPECT_EQ(bit_reader.input_fill, c.fill);
        EXPECT_EQ(bit_reader.input_pos, c.pos);
        EXPECT_EQ(bit_reader.pending_bits, 0);
        for (int i = 0; i < 5; ++i) skip_bits(17);
        EXPECT_EQ(bit_reader.bit_window, 0u);
    }

    Bytes packed(33);
    for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<unsigned char>(i + 1);
    start_bit_input(packed);
    EXPECT_EQ(bit_reader.input_fill, 32);
    EXPECT_EQ(packed_input.remaining, 1u);
    for (int i = 0; i < 30; ++i) skip_bits(8); // hands out bytes 3 to 32 of the first refill
    EXPECT_EQ(bit_reader.input_pos, 32);
    EXPECT_EQ(bit_reader.input_fill, 32);
    skip_bits(8);
    EXPECT_EQ(bit_reader.input_fill, 1);
    EXPECT_EQ(bit_reader.input_pos, 1);
    EXPECT_EQ(bit_reader.bit_window, 0x2021u); // bytes 32 and 33
    EXPECT_EQ(packed_input.remaining, 0u);
    for (int i = 0; i < 3; ++i) {
        skip_bits(8);
        EXPECT_EQ(bit_reader.input_fill, 0);
        EXPECT_EQ(bit_reader.input_pos, 0);
    }
    EXPECT_EQ(bit_reader.bit_window, 0u);
    EXPECT_EQ(packed_input.cursor, packed.data() + packed.size());
}

// Any sequence of skips of 0 to 17 bits leaves bit_window equal to the next 16 stream bits, and
// the invariant between pending_byte and bit_window holds after every step.
TEST(BitReader, RandomSkipsMatchReferenceReader) {
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        Bytes packed(random() % 70);
        for (auto& b : packed) b = static_cast<unsigned char>(random());
        start_bit_input(packed);
        std::uint64_t pos = 0;
        ASSERT_EQ(bit_reader.bit_window, reference_window(packed, pos));
        for (int step = 0; step < 60; ++step) {
            const int n = static_cast<int>(random() % 18);
            skip_bits(n);
            pos += static_cast<std::uint64_t>(n);
            ASSERT_EQ(bit_reader.bit_window, reference_window(packed, pos))
                << "round " << round << " step " << step << " n " << n;
            ASSERT_GE(bit_reader.pending_bits, 0);
            ASSERT_LE(bit_reader.pending_bits, 8);
            // The bits of pending_byte already taken are the low bits of bit_window.
            ASSERT_EQ(bit_reader.pending_byte >> bit_reader.pending_bits,
                      bit_reader.bit_window & (0xFFu >> bit_reader.pending_bits));
            ASSERT_LE(packed_input.cursor, packed.data() + packed.size());
        }
    }
}

// Everything skip_bits keeps between calls, for comparing two ways of reading the same stream.
struct ReaderState {
    BitReader reader;
    PackedInput input;
};

ReaderState state_now() {
    ReaderState state{};
    state.reader = bit_reader;
    std::memset(state.reader.input_buffer + bit_reader.input_fill, 0,
                input_buffer_size - static_cast<std::uint32_t>(bit_reader.input_fill));
    state.input = packed_input;
    return state;
}

void expect_same(const ReaderState& got, const ReaderState& want) {
    EXPECT_EQ(got.reader.bit_window, want.reader.bit_window);
    EXPECT_EQ(got.reader.pending_byte, want.reader.pending_byte);
    EXPECT_EQ(got.reader.pending_bits, want.reader.pending_bits);
    EXPECT_EQ(got.reader.input_pos, want.reader.input_pos);
    EXPECT_EQ(got.reader.input_fill, want.reader.input_fill);
    EXPECT_EQ(0, std::memcmp(got.reader.input_buffer, want.reader.input_buffer,
                             sizeof want.reader.input_buffer));
    EXPECT_EQ(got.input.cursor, want.input.cursor);
    EXPECT_EQ(got.input.remaining, want.input.remaining);
}

// The decoders' register-held view, used as their loops use it (a stage, then drops while the
// staged bits last; a stage before handing back), leaves the BitReader and PackedInput exactly
// as the same skips through skip_bits do: across refills, runs of many staged bytes, the packed
// data's end and far beyond it.
TEST(StreamBits, HandsBackTheStateOfSkipBits) {
    std::mt19937 random(99);
    for (int round = 0; round < 400; ++round) {
        Bytes packed(random() % 300);
        for (auto& b : packed) b = static_cast<unsigned char>(random());
        // Runs of skips of 0 to 17 bits; each run is read through one StreamBits.
        std::vector<std::vector<int>> runs(1 + random() % 6);
        for (auto& run : runs) {
            run.resize(random() % 120);
            for (int& n : run) n = static_cast<int>(random() % 18);
        }

        start_bit_input(packed);
        std::vector<ReaderState> want;
        for (const auto& run : runs) {
            for (int n : run) skip_bits(n);
            want.push_back(state_now());
        }

        start_bit_input(packed);
        for (std::size_t r = 0; r < runs.size(); ++r) {
            SCOPED_TRACE(testing::Message() << "round " << round << " run " << r);
            StreamBits in = enter_stream();
            const std::vector<int>& run = runs[r];
            for (std::size_t i = 0; i < run.size();) {
                stage_bits(in);
                ASSERT_GE(in.count, 56);
                while (i < run.size() && in.count >= run[i]) drop_stream(in, run[i++]);
            }
            stage_bits(in);
            leave_stream(in);
            expect_same(state_now(), want[r]);
        }
    }
}

} // namespace
