// decode_blocks (methods 1 to 3): the worked example, flush boundaries and both copies, block
// header forms (short tables, zero runs, single codes, counts at and past their limits), block
// boundaries, the aborts, and random streams against a plain reference.
#include "tests/decode/bit_writer.h"
#include "tests/decode/decode_fixture.h"

#include "archive/extract_sink.h"
#include "archive/unpack_entry.h"
#include "decode/block_decoder.h"
#include "decode/window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

using test::BitWriter;
using test::BlockWriter;
using test::Bytes;
using test::Decoder;
using test::run_decoder;

const Bytes worked_example = {0x00, 0x04, 0x28, 0x05, 0x30, 0x71, 0x37, 0x91, 0xD0, 0x08, 0x6C};

Bytes pattern(std::size_t size, std::uint32_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) {
        out[i] = static_cast<unsigned char>((i * 13 + seed + (i >> 9)) & 0xFF);
    }
    return out;
}

// One flat block holding the given literals, then whatever the caller adds.
BlockWriter literal_block(const Bytes& data, std::uint32_t block_size) {
    BlockWriter block;
    block.flat_header(block_size);
    for (unsigned char b : data) block.literal(b);
    return block;
}

Bytes decode(const Bytes& packed, std::uint32_t size) {
    return run_decoder(Decoder::blocks, packed, size).kept;
}

TEST(DecodeBlocks, WorkedExample) {
    EXPECT_EQ(decode(worked_example, 12), test::bytes_of("abcabcabcabc"));
    // The stream runs out: a zero-bit header gives single codes of value 0, so zeros follow.
    Bytes expected = test::bytes_of("abcabcabcabc");
    expected.resize(20, 0x00);
    EXPECT_EQ(decode(worked_example, 20), expected);
    EXPECT_EQ(decode({}, 5), Bytes(5, 0x00));

    const auto empty = run_decoder(Decoder::blocks, worked_example, 0);
    EXPECT_TRUE(empty.kept.empty());
    EXPECT_EQ(empty.offered_crc, 0u); // nothing offered
}

// Extraction's own path: unpack_entry with a hand-made header of methods 1 to 3.
TEST(DecodeBlocks, ThroughUnpackEntry) {
    for (std::uint8_t method : {1, 2, 3}) {
        EntryHeader header{};
        header.method = method;
        header.packed_size = static_cast<std::uint32_t>(worked_example.size());
        header.unpacked_size = 12;
        header.crc32 = test::crc32_of(test::bytes_of("abcabcabcabc"));
        ASSERT_TRUE(unpack_entry(worked_example.data(), header, nullptr, 0));
        EXPECT_EQ(Bytes(extract_sink.buffer, extract_sink.buffer + extract_sink.count),
                  test::bytes_of("abcabcabcabc"));
        EXPECT_TRUE(sink_matches_crc(header));
        release_sink();
    }
}

TEST(DecodeBlocks, FlushesWholeWindows) {
    struct Case {
        std::uint32_t size;
        std::uint32_t capacity;
        std::uint32_t kept;
    };
    const Case cases[] = {
        {26624, 26624, 26624},
        {26625, 26625, 26625},
        {26625, 26624, 26624},
        {26624, 26623, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const Bytes data = pattern(c.size, c.capacity);
        const auto result =
            run_decoder(Decoder::blocks, literal_block(data, c.size).finish(), c.size, c.capacity);
        EXPECT_EQ(result.kept, Bytes(data.begin(), data.begin() + c.kept));
        EXPECT_EQ(result.offered_crc, test::crc32_of(data));
        EXPECT_EQ(result.overflowed, c.kept != c.size);
    }
}

// Matches through both copies: the fast one (short and long distances, overlapping or not), the
// wrapping one near the Window's end (flushing in the middle) and with a source behind position.
TEST(DecodeBlocks, MatchesEqualPlainForwardCopy) {
    struct Match {
        std::uint32_t at; // literals up to this output size before the match
        std::uint32_t length;
        std::uint32_t r;
    };
    const Match matches[] = {
        {1, 256, 0},         {20, 256, 1},       {40, 100, 6},       {300, 256, 7},
        {600, 256, 8},       {900, 9, 200},      {1400, 3, 1000},    {26000, 256, 20000},
        {26366, 256, 30},    {26400, 256, 5},    {26623, 40, 26000}, {26700, 256, 300},
        {26900, 200, 26623}, {27500, 10, 26600},
    };
    BlockWriter block;
    block.flat_header(0); // never ends
    Bytes expected;
    std::uint32_t seed = 5;
    for (const Match& m : matches) {
        while (expected.size() < m.at) {
            seed = seed * 1103515245u + 12345u;
            const auto b = static_cast<unsigned char>(seed >> 16);
            expected.push_back(b);
            block.literal(b);
        }
        if (m.r + 1 > expected.size()) continue; // keep the reference inside this entry
        block.match(m.length, m.r);
        test::reference_copy(expected, m.length, m.r + 1);
    }
    EXPECT_EQ(decode(block.finish(), static_cast<std::uint32_t>(expected.size())), expected);
}

TEST(DecodeBlocks, NegativeSourceTakesTheWindowsEnd) {
    const Bytes earlier = pattern(26624, 3);
    ASSERT_EQ(decode(literal_block(earlier, 26624).finish(), 26624), earlier);

    BlockWriter block;
    block.flat_header(10);
    block.literal('x');
    block.literal('y');
    block.literal('z');
    block.match(20, 9); // from position 3 - 10: Window positions 26617 to 26623, then 0 on
    block.match(5, 26623);
    Bytes expected = test::bytes_of("xyz");
    for (int i = 0; i < 7; ++i) expected.push_back(earlier[26617 + i]);
    for (int i = 7; i < 20; ++i) expected.push_back(expected[i - 7]);
    for (int i = 0; i < 5; ++i) expected.push_back(earlier[23 + i]); // the byte 26624 back
    EXPECT_EQ(decode(block.finish(), 28), expected);
}

// A distance table of 18 or 19 values decodes normally: positions 17 and 18 are read and ignored,
// even a length of 20, whose value takes 17 bits (the last one unexamined).
TEST(DecodeBlocks, DistanceTableOf18Or19Values) {
    for (int count : {17, 18, 19}) {
        for (int extra : {1, 7, 20}) {
            SCOPED_TRACE(::testing::Message() << count << " values, extra length " << extra);
            std::vector<int> distances = BlockWriter::flat_distance_lengths();
            while (static_cast<int>(distances.size()) < count) distances.push_back(extra);
            BlockWriter b;
            b.out.put(4, 16);
            b.code_length_table();
            b.symbol_table(BlockWriter::flat_symbol_lengths());
            b.distance_table(distances, 1);
            b.literal('p');
            b.literal('q');
            b.match(6, 1);
            b.match(3, 0);
            EXPECT_EQ(decode(b.finish(), 11), test::bytes_of("pqpqpqpqqqq"));
        }
    }
}

// Counts above 19 (the 5-bit field reaches 31): the values past position 18 are read, so the
// stream stays in step, and dropped; nothing past short_lengths is written.
TEST(DecodeBlocks, ShortTableCountsAbove19AreReadAndDropped) {
    for (int count : {20, 25, 31}) {
        SCOPED_TRACE(count);
        BlockWriter b;
        b.out.put(3, 16);
        b.out.put(static_cast<std::uint32_t>(count), 5);
        const auto cl_lengths = BlockWriter::code_length_lengths();
        for (int s = 0; s < count; ++s) {
            test::put_length_value(b.out, s < 19 ? cl_lengths[s] : (s % 2 ? 20 : 3), 1);
            if (s == 2) b.out.put(0, 2);
        }
        b.symbol_table(BlockWriter::flat_symbol_lengths());
        std::vector<int> distances = BlockWriter::flat_distance_lengths();
        while (static_cast<int>(distances.size()) < count) distances.push_back(20);
        b.distance_table(distances, 1);
        b.literal('x');
        b.match(4, 0);
        b.literal('y');
        EXPECT_EQ(decode(b.finish(), 6), test::bytes_of("xxxxxy"));
    }
}

// The code-length table's 2-bit zero run follows the third length value even when the count is
// 3; read or not, it decides where the literal/length count starts.
TEST(DecodeBlocks, CodeLengthCountOfThreeReadsTheZeroRun) {
    for (std::uint32_t z : {0u, 3u}) {
        BlockWriter b;
        b.out.put(4, 16);
        b.out.put(3, 5);
        test::put_length_value(b.out, 2);
        test::put_length_value(b.out, 1);
        test::put_length_value(b.out, 2);
        b.out.put(z, 2);
        b.out.put(0, 9); // literal/length table: single code 'k'
        b.out.put('k', 9);
        b.distance_table(BlockWriter::flat_distance_lengths());
        EXPECT_EQ(decode(b.finish(), 4), test::bytes_of("kkkk")) << z;
    }
}

std::vector<int> lengths_with_zero_run_to(int last) {
    // Positions 0..last-? : literals 'a', 'b' length 1 each -- needs all other positions zero.
    std::vector<int> lengths(static_cast<std::size_t>(last) + 1, 0);
    lengths['a'] = 1;
    lengths['b'] = 1;
    return lengths;
}

// Literal/length counts: 510 passes, 511 is refused. Zero runs may end at position 509, not
// beyond.
TEST(DecodeBlocks, LiteralLengthCountAndZeroRunLimits) {
    {
        BlockWriter b;
        b.out.put(3, 16);
        b.code_length_table();
        b.symbol_table(BlockWriter::flat_symbol_lengths()); // count 510
        b.distance_table(BlockWriter::flat_distance_lengths());
        for (unsigned char c : {'o', 'k', '!'}) b.literal(c);
        EXPECT_EQ(decode(b.finish(), 3), test::bytes_of("ok!"));
    }
    {
        BlockWriter b;
        b.out.put(3, 16);
        b.code_length_table();
        std::vector<int> lengths = BlockWriter::flat_symbol_lengths();
        b.out.put(511, 9);
        for (int length : lengths) b.code_length_symbol(length + 2);
        b.code_length_symbol(0);
        EXPECT_TRUE(decode(b.finish(), 3).empty());
    }
    // Lengths 'a' = 1, 'b' = 1; the zero runs after 'b' (position 98) cover 99 to 509 (411
    // positions: 20 + 391) or one more.
    for (int run_end : {509, 510}) {
        BlockWriter b;
        b.out.put(4, 16);
        b.code_length_table();
        b.out.put(510, 9);
        b.code_length_symbol(2);
        b.out.put(97 - 20, 9);   // positions 0 to 96 zero
        b.code_length_symbol(3); // 'a': length 1
        b.code_length_symbol(3); // 'b': length 1
        b.code_length_symbol(2);
        b.out.put(static_cast<std::uint32_t>(run_end - 99 + 1 - 20), 9);
        b.use_symbol_lengths(lengths_with_zero_run_to(98));
        b.distance_table(BlockWriter::flat_distance_lengths());
        for (unsigned char c : {'a', 'b', 'b', 'a'}) b.literal(c);
        const Bytes out = decode(b.finish(), 4);
        if (run_end == 509) {
            EXPECT_EQ(out, test::bytes_of("abba"));
        } else {
            EXPECT_TRUE(out.empty());
        }
    }
    // A run may reach past the count (n = 100): filling stops after it, the rest is zero.
    {
        BlockWriter b;
        b.out.put(2, 16);
        b.code_length_table();
        b.out.put(100, 9);
        b.code_length_symbol(2);
        b.out.put(97 - 20, 9);
        b.code_length_symbol(3);
        b.code_length_symbol(3);
        b.code_length_symbol(1);
        b.out.put(15, 4); // 18 zeros: positions 99 to 116, past n = 100
        b.use_symbol_lengths(lengths_with_zero_run_to(98));
        b.distance_table(BlockWriter::flat_distance_lengths());
        b.literal('b');
        b.literal('a');
        EXPECT_EQ(decode(b.finish(), 2), test::bytes_of("ba"));
    }
}

// Single-code forms: a literal value makes every symbol that literal at no cost in bits; a match
// value makes every symbol a match, each still followed by its distance. Distance classes can
// be single too. Values beyond the alphabet are refused.
TEST(DecodeBlocks, SingleCodeForms) {
    {
        BlockWriter b;
        b.out.put(0, 16);
        b.code_length_table();
        b.out.put(0, 9);
        b.out.put('z', 9);
        b.distance_table(BlockWriter::flat_distance_lengths());
        EXPECT_EQ(decode(b.finish(), 1000), Bytes(1000, 'z'));
    }
    {
        BlockWriter b;
        b.out.put(5, 16);
        b.code_length_table();
        b.out.put(0, 9);
        b.out.put(256 + 2, 9); // every symbol: a match of 5 bytes
        b.out.put(0, 5);
        b.out.put(2, 5); // every distance class: 2, one extra bit
        // Before the block, the Window's end holds an earlier decode's bytes.
        const Bytes earlier = pattern(26624, 11);
        ASSERT_EQ(decode(literal_block(earlier, 26624).finish(), 26624), earlier);
        b.out.put_bit(1); // r = 3: 4 bytes back
        b.out.put_bit(0); // r = 2: 3 bytes back
        Bytes expected(earlier.end() - 4, earlier.end());
        expected.push_back(expected[0]);
        test::reference_copy(expected, 5, 3);
        EXPECT_EQ(decode(b.finish(), 10), expected);
    }

    // The code-length code in single-code form: symbol 4 (length 2) everywhere would make 510
    // codes of 2 bits, over-full; symbol 11 (length 9) for all 510 is incomplete. Both rejected.
    for (std::uint32_t value : {4u, 11u, 0u}) {
        BlockWriter b;
        b.out.put(1, 16);
        b.out.put(0, 5);
        b.out.put(value, 5);
        b.out.put(510, 9);
        EXPECT_TRUE(decode(b.finish(), 1).empty()) << value;
    }

    struct Bad {
        const char* what;
        int table; // 0 code-length, 1 literal/length, 2 distance
        std::uint32_t value;
    };
    const Bad bad[] = {
        {"code-length 19", 0, 19}, {"code-length 31", 0, 31}, {"literal 510", 1, 510},
        {"literal 511", 1, 511},   {"distance 17", 2, 17},    {"distance 31", 2, 31},
    };
    for (const Bad& c : bad) {
        SCOPED_TRACE(c.what);
        const Bytes earlier = pattern(26624 + 7, 2);
        BlockWriter b = literal_block(earlier, 26624 + 7);
        b.out.put(1, 16);
        if (c.table == 0) {
            b.out.put(0, 5);
            b.out.put(c.value, 5);
        } else {
            b.code_length_table();
            if (c.table == 1) {
                b.out.put(0, 9);
                b.out.put(c.value, 9);
            } else {
                b.symbol_table(BlockWriter::flat_symbol_lengths());
                b.out.put(0, 5);
                b.out.put(c.value, 5);
            }
        }
        b.match(3, 0);
        // The abort leaves out the final flush: only the first full Window reaches the sink.
        const auto result = run_decoder(Decoder::blocks, b.finish(), 26624 + 9);
        EXPECT_EQ(result.kept, Bytes(earlier.begin(), earlier.begin() + 26624));
        EXPECT_EQ(result.offered_crc, test::crc32_of(result.kept));
    }
}

// A distance beyond the Window (r > 26623, classes 15 and 16) is refused; r = 26623 is not.
TEST(DecodeBlocks, DistanceBeyondTheWindowIsRefused) {
    for (std::uint32_t r : {26623u, 26624u, 32767u, 32768u, 65535u}) {
        SCOPED_TRACE(r);
        const Bytes data = pattern(26624 + 5, 4);
        BlockWriter b = literal_block(data, 26624 + 6);
        b.match(3, r);
        const auto result = run_decoder(Decoder::blocks, b.finish(), 26624 + 8);
        if (r == 26623) {
            Bytes expected = data;
            test::reference_copy(expected, 3, 26624);
            EXPECT_EQ(result.kept, expected);
        } else {
            EXPECT_EQ(result.kept, Bytes(data.begin(), data.begin() + 26624));
        }
    }
}

// Block boundaries: the next header is read exactly when a symbol is needed after the count has
// run down; an entry ending at a block's end reads no further header; a block size of 0 never
// ends within the entry.
TEST(DecodeBlocks, BlockBoundaries) {
    {
        BlockWriter b = literal_block(test::bytes_of("one"), 3);
        b.flat_header(2);
        b.literal('2');
        b.match(4, 0);
        b.header(1, BlockWriter::flat_symbol_lengths(), {1, 1});
        b.match(3, 0); // distance class 0 has code 0
        EXPECT_EQ(decode(b.finish(), 11), test::bytes_of("one22222222"));
    }
    {
        // After a block of 3 the stream holds a header that would be refused (count 511).
        BlockWriter b = literal_block(test::bytes_of("end"), 3);
        b.out.put(1, 16);
        b.code_length_table();
        b.out.put(511, 9);
        EXPECT_EQ(decode(b.finish(), 3), test::bytes_of("end"));
        EXPECT_TRUE(decode(b.finish(), 4).empty());
    }
    {
        // Block size 0: 70000 literals in one block, with the bits of a header in between that
        // must be read as symbols (here: the literal 0x00 has a 9-bit code of zeros).
        BlockWriter b;
        b.flat_header(0);
        const Bytes data = pattern(70000, 8);
        for (unsigned char c : data) b.literal(c);
        EXPECT_EQ(decode(b.finish(), 70000), data);
    }
}

// Random streams over several blocks with random complete codes up to 16 bits (so tree walks
// below both tables), every match length and distances over the whole Window.
TEST(DecodeBlocks, RandomStreamsMatchReference) {
    std::mt19937 random(2024);
    auto random_lengths = [&](int size, int min_codes) {
        const int codes = min_codes + static_cast<int>(random() % (size - min_codes + 1));
        return test::random_complete_lengths(random, size, codes);
    };
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        BlockWriter b;
        Bytes expected;
        const std::uint32_t total = 20000 + random() % 60000;
        while (expected.size() < total) {
            const auto symbol_lengths = random_lengths(510, 2);
            const auto distance_lengths = random_lengths(17, 2);
            std::vector<int> literal_symbols, match_symbols, classes;
            for (int s = 0; s < 510; ++s) {
                if (symbol_lengths[s] == 0) continue;
                (s < 256 ? literal_symbols : match_symbols).push_back(s);
            }
            for (int q = 0; q < 17; ++q) {
                if (distance_lengths[q] != 0) classes.push_back(q);
            }
            const std::uint32_t block_size = 1 + random() % 3000;
            b.header(block_size, symbol_lengths, distance_lengths);
            for (std::uint32_t i = 0; i < block_size; ++i) {
                // A match only where some distance of a coded class lies inside the output.
                std::uint32_t r = 0;
                bool can_match = false;
                if (!match_symbols.empty() && (literal_symbols.empty() || random() % 3 == 0)) {
                    const int q = classes[random() % classes.size()];
                    r = q == 0 ? 0 : (1u << (q - 1)) + (random() & ((1u << (q - 1)) - 1));
                    can_match = r < 26624 && r < expected.size();
                }
                if (can_match) {
                    const int s = match_symbols[random() % match_symbols.size()];
                    b.match(static_cast<std::uint32_t>(s - 253), r);
                    test::reference_copy(expected, static_cast<std::uint32_t>(s - 253), r + 1);
                } else if (!literal_symbols.empty()) {
                    const int s = literal_symbols[random() % literal_symbols.size()];
                    b.literal(static_cast<unsigned char>(s));
                    expected.push_back(static_cast<unsigned char>(s));
                } else {
                    // Only match symbols and no reachable distance yet: end the block early by
                    // starting over with another header.
                    b = BlockWriter();
                    expected.clear();
                    break;
                }
            }
        }
        const auto result =
            run_decoder(Decoder::blocks, b.finish(), static_cast<std::uint32_t>(expected.size()));
        ASSERT_EQ(result.kept.size(), expected.size());
        EXPECT_TRUE(result.kept == expected);
    }
}

} // namespace
