// Length-limited codes, canonical code assignment and the MSB-first bit writer.
#include "encode/bit_writer.h"
#include "encode/huffman_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <queue>
#include <random>

namespace {

// Sum of 2^(16 - L) over the used lengths: 65536 exactly for a complete code.
std::uint64_t kraft_sum(const std::vector<std::uint8_t>& lengths) {
    std::uint64_t sum = 0;
    for (std::uint8_t l : lengths)
        if (l != 0) sum += std::uint64_t{1} << (16 - l);
    return sum;
}

std::uint64_t coded_bits(const std::vector<std::uint32_t>& counts,
                         const std::vector<std::uint8_t>& lengths) {
    std::uint64_t bits = 0;
    for (std::size_t s = 0; s < counts.size(); ++s) bits += std::uint64_t{counts[s]} * lengths[s];
    return bits;
}

// Bits of an unlimited Huffman code for the counts (sum of all merged weights).
std::uint64_t huffman_bits(const std::vector<std::uint32_t>& counts) {
    std::priority_queue<std::uint64_t, std::vector<std::uint64_t>, std::greater<>> queue;
    for (std::uint32_t c : counts)
        if (c != 0) queue.push(c);
    std::uint64_t bits = 0;
    while (queue.size() > 1) {
        const std::uint64_t a = queue.top();
        queue.pop();
        const std::uint64_t b = queue.top();
        queue.pop();
        bits += a + b;
        queue.push(a + b);
    }
    return bits;
}

void expect_complete_and_limited(const std::vector<std::uint32_t>& counts) {
    const auto lengths = limited_code_lengths(counts, 16);
    ASSERT_EQ(lengths.size(), counts.size());
    for (std::size_t s = 0; s < counts.size(); ++s) {
        EXPECT_LE(lengths[s], 16u);
        EXPECT_EQ(lengths[s] == 0, counts[s] == 0) << "symbol " << s;
    }
    EXPECT_EQ(kraft_sum(lengths), 65536u);
}

TEST(LimitedCodeLengths, FibonacciCountsStayWithin16BitsAndComplete) {
    // Fibonacci counts make an unlimited Huffman code as deep as the alphabet is long.
    for (std::size_t n : {2u, 3u, 17u, 19u, 30u, 40u}) {
        std::vector<std::uint32_t> counts(n);
        counts[0] = counts[1] = 1;
        for (std::size_t i = 2; i < n; ++i) counts[i] = counts[i - 1] + counts[i - 2];
        SCOPED_TRACE(n);
        expect_complete_and_limited(counts);
        if (n >= 19) {
            const auto lengths = limited_code_lengths(counts, 16);
            EXPECT_EQ(*std::max_element(lengths.begin(), lengths.end()), 16);
        }
    }
    // The same within a 510-symbol alphabet, scattered between unused symbols.
    std::vector<std::uint32_t> wide(510, 0);
    std::uint32_t a = 1, b = 1;
    for (std::size_t s = 3; s < 510; s += 11) {
        wide[s] = a;
        const std::uint32_t next = a + b;
        a = b;
        b = std::min<std::uint32_t>(next, 1u << 30);
    }
    expect_complete_and_limited(wide);
}

TEST(LimitedCodeLengths, MatchesHuffmanWhenTheLimitDoesNotBind) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint32_t> counts(2 + random() % 509);
        for (auto& c : counts) c = random() % 3 == 0 ? 0 : 100 + random() % 900;
        counts[0] = counts[0] ? counts[0] : 100;
        counts[1] = counts[1] ? counts[1] : 100;
        const auto lengths = limited_code_lengths(counts, 16);
        EXPECT_EQ(kraft_sum(lengths), 65536u);
        // Counts within a factor of 10 of each other need far fewer than 16 bits, so the limit
        // changes nothing.
        EXPECT_EQ(coded_bits(counts, lengths), huffman_bits(counts));
    }
}

TEST(LimitedCodeLengths, FewSymbols) {
    EXPECT_EQ(limited_code_lengths(std::vector<std::uint32_t>(19, 0), 16),
              std::vector<std::uint8_t>(19, 0));
    std::vector<std::uint32_t> one(17, 0);
    one[5] = 1000;
    auto lengths = limited_code_lengths(one, 16);
    EXPECT_EQ(lengths[5], 1);
    EXPECT_EQ(std::count(lengths.begin(), lengths.end(), 0), 16);
    std::vector<std::uint32_t> two(510, 0);
    two[0] = 1;
    two[509] = 100000;
    lengths = limited_code_lengths(two, 16);
    EXPECT_EQ(lengths[0], 1);
    EXPECT_EQ(lengths[509], 1);
}

TEST(CanonicalCodes, ShortestFirstAscendingSymbols) {
    // Lengths 2, 1, 3, 3: symbol 1 is 0, symbol 0 is 10, symbols 2 and 3 are 110 and 111.
    const std::vector<std::uint8_t> lengths = {2, 1, 3, 3, 0};
    const auto codes = canonical_codes(lengths);
    EXPECT_EQ(codes[0], 0b10);
    EXPECT_EQ(codes[1], 0b0);
    EXPECT_EQ(codes[2], 0b110);
    EXPECT_EQ(codes[3], 0b111);
    // A 16-bit deep code: the last code is all ones.
    std::vector<std::uint8_t> deep;
    for (std::uint8_t l = 1; l <= 15; ++l) deep.push_back(l);
    deep.push_back(16);
    deep.push_back(16);
    const auto deep_codes = canonical_codes(deep);
    EXPECT_EQ(deep_codes[16], 0xFFFF);
    EXPECT_EQ(deep_codes[15], 0xFFFE);
    EXPECT_EQ(deep_codes[0], 0);
}

TEST(BitWriter, MostSignificantBitFirstAndZeroPadded) {
    BitWriter out;
    out.put(0b101, 3);
    out.put(0, 0);
    out.put(0xABCDE, 20);
    out.put(0xFFFFFFFFu, 32);
    out.put(1, 1);
    EXPECT_EQ(out.bit_count(), 56u);
    // 101, then 1010 1011 1100 1101 1110, then 33 one bits.
    const std::vector<unsigned char> expected = {0xB5, 0x79, 0xBD, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(out.finish(), expected);

    BitWriter partial;
    partial.put(1, 1);
    EXPECT_EQ(partial.finish(), std::vector<unsigned char>{0x80});
    EXPECT_TRUE(BitWriter().finish().empty());
}

} // namespace
