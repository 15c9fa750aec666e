// build_decode_table: the worked examples entry by entry, rejected length lists, stale contents,
// and lookups of every code of random complete codes against the canonical assignment.
#include "tests/decode/bit_writer.h"
#include "tests/decode/decode_fixture.h"

#include "archive/decode_abort.h"
#include "decode/decode_table.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// Builds into table; false when the build raised DecodeAbort.
bool build(const std::vector<std::int32_t>& lengths, int bits, std::int32_t* table, int capacity) {
    if (setjmp(decode_abort_point) != 0) return false;
    build_decode_table(static_cast<int>(lengths.size()), lengths.data(), bits, table, capacity);
    return true;
}

std::vector<std::int32_t> padded(std::vector<std::int32_t> lengths, std::size_t size) {
    lengths.resize(size, 0);
    return lengths;
}

void expect_range(const std::int32_t* table, int first, int last, std::int32_t value) {
    for (int i = first; i <= last; ++i) ASSERT_EQ(table[i], value) << "entry " << i;
}

// The symbol the lookup finds for the 16 stream bits w.
int lookup(const std::int32_t* table, int bits, int alphabet_size, std::uint32_t w) {
    int s = table[w >> (16 - bits)];
    std::uint32_t mask = 1u << (15 - bits);
    for (int steps = 0; s >= alphabet_size; ++steps) {
        if (steps > 16 - bits) return -1;
        s = (w & mask) ? one_child[s] : zero_child[s];
        mask >>= 1;
    }
    return s;
}

TEST(BuildDecodeTable, WorkedExamples) {
    std::int32_t table[4096];
    std::fill(std::begin(table), std::end(table), 1234);

    ASSERT_TRUE(build(padded({2, 1, 3, 3}, 19), 8, table, 256));
    expect_range(table, 0, 127, 1);
    expect_range(table, 128, 191, 0);
    expect_range(table, 192, 223, 2);
    expect_range(table, 224, 255, 3);

    ASSERT_TRUE(build(padded({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, 19), 8, table, 256));
    const int firsts[] = {0, 128, 192, 224, 240, 248, 252, 254};
    const int lasts[] = {127, 191, 223, 239, 247, 251, 253, 254};
    for (int s = 0; s < 8; ++s) expect_range(table, firsts[s], lasts[s], s);
    EXPECT_EQ(table[255], 19);
    EXPECT_EQ(zero_child[19], 8);
    EXPECT_EQ(one_child[19], 20);
    EXPECT_EQ(zero_child[20], 9);
    EXPECT_EQ(one_child[20], 10);

    std::vector<std::int32_t> chain;
    for (int length = 1; length <= 15; ++length) chain.push_back(length);
    chain.push_back(16);
    chain.push_back(16);
    ASSERT_TRUE(build(padded(chain, 19), 8, table, 256));
    EXPECT_EQ(table[255], 19);
    for (int node = 19; node <= 26; ++node) {
        EXPECT_EQ(zero_child[node], node - 11) << node; // symbols 8 to 15
        if (node < 26) {
            EXPECT_EQ(one_child[node], node + 1) << node;
        }
    }
    EXPECT_EQ(one_child[26], 16);

    std::vector<std::int32_t> wide;
    for (int length = 1; length <= 12; ++length) wide.push_back(length);
    wide.push_back(13);
    wide.push_back(13);
    ASSERT_TRUE(build(padded(wide, 510), 12, table, 4096));
    EXPECT_EQ(table[4095], 510);
    EXPECT_EQ(zero_child[510], 12);
    EXPECT_EQ(one_child[510], 13);
    expect_range(table, 0, 2047, 0);
    expect_range(table, 4094, 4094, 11);
}

TEST(BuildDecodeTable, TwoSymbolsOfA510Alphabet) {
    std::vector<std::int32_t> lengths(510, 0);
    lengths[0] = lengths[509] = 1;
    std::int32_t table[4096];
    std::fill(std::begin(table), std::end(table), 777);
    ASSERT_TRUE(build(lengths, 12, table, 4096));
    expect_range(table, 0, 2047, 0);
    expect_range(table, 2048, 4095, 509);
}

TEST(BuildDecodeTable, RejectsBadLengthLists) {
    struct Case {
        const char* what;
        std::vector<std::int32_t> lengths;
    };
    const Case cases[] = {
        {"single code", {1}},         {"all zero", {}},
        {"incomplete 1, 2", {1, 2}},  {"over-full 1, 1, 1", {1, 1, 1}},
        {"length 17", {1, 17, 2, 2}}, {"length 17 in a complete rest", {1, 1, 17}},
        {"negative", {1, 1, -1}},     {"large", {1, 1, 0x10001}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int size : {17, 19}) {
            std::int32_t table[256];
            std::fill(std::begin(table), std::end(table), 4321);
            EXPECT_FALSE(build(padded(c.lengths, size), 8, table, 256));
            expect_range(table, 0, 255, 4321); // nothing written before the checks
        }
        std::int32_t table[4096];
        EXPECT_FALSE(build(padded(c.lengths, 510), 12, table, 4096));
    }
}

// The capacity guard: a table with fewer entries than 2^b is never written past its end.
TEST(BuildDecodeTable, CapacityGuard) {
    std::vector<std::int32_t> table(300, -5);
    EXPECT_FALSE(build(padded({1, 1}, 19), 12, table.data(), 256));
    for (std::size_t i = 256; i < table.size(); ++i) ASSERT_EQ(table[i], -5);
    std::vector<std::int32_t> long_codes(510, 0);
    long_codes[0] = 1;
    for (int s = 1; s <= 13; ++s) long_codes[s] = s + 1; // 14 codes up to 14 bits
    long_codes[14] = 14;
    EXPECT_FALSE(build(long_codes, 12, table.data(), 256));
    for (std::size_t i = 256; i < table.size(); ++i) ASSERT_EQ(table[i], -5);
}

// Random complete codes up to 16 bits: every table entry is written, and the lookup finds every
// symbol's canonical code (with any bits after it), even when the arrays held other values.
TEST(BuildDecodeTable, RandomCompleteCodesLookUpCanonically) {
    std::mt19937 random(99);
    struct Alphabet {
        int size;
        int bits;
    };
    for (const Alphabet alphabet : {Alphabet{19, 8}, Alphabet{17, 8}, Alphabet{510, 12}}) {
        for (int round = 0; round < 200; ++round) {
            const int codes = 2 + static_cast<int>(random() % (alphabet.size - 1));
            const std::vector<int> lengths =
                test::random_complete_lengths(random, alphabet.size, codes);

            std::int32_t table[4096];
            for (auto& entry : table) entry = static_cast<std::int32_t>(random() % 2000);
            for (int k = 0; k < tree_node_limit; ++k) {
                zero_child[k] = static_cast<std::int32_t>(random() % 2000);
                one_child[k] = static_cast<std::int32_t>(random() % 2000);
            }
            const std::vector<std::int32_t> lengths32(lengths.begin(), lengths.end());
            ASSERT_TRUE(build(lengths32, alphabet.bits, table, 1 << alphabet.bits));
            for (int i = 0; i < (1 << alphabet.bits); ++i) {
                ASSERT_LT(table[i], 2 * alphabet.size - 1) << i;
                ASSERT_GE(table[i], 0) << i;
            }
            const auto canonical = test::canonical_codes(lengths);
            for (int s = 0; s < alphabet.size; ++s) {
                if (lengths[s] == 0) continue;
                const std::uint32_t w = canonical[s].bits << (16 - lengths[s]);
                const std::uint32_t tail = random() & ((1u << (16 - lengths[s])) - 1);
                ASSERT_EQ(lookup(table, alphabet.bits, alphabet.size, w | tail), s)
                    << "size " << alphabet.size << " round " << round << " symbol " << s;
            }
        }
    }
}

} // namespace
