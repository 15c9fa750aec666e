// The match finder and the parsers: every match is real and within the distance limit, and the
// tokens rebuild the input exactly.
#include "encode/hash_chain_match_finder.h"
#include "encode/lz_parse.h"
#include "encode/unary_encoder.h"
#include "tests/encode/sample_data.h"

#include <gtest/gtest.h>

namespace {

using sample::Bytes;

// Random bytes in which stretches repeat from exactly `distance` bytes back.
Bytes with_repeats_at(std::size_t size, std::size_t distance, std::uint32_t seed) {
    Bytes data = sample::random_bytes(size, seed);
    for (std::size_t i = distance; i < size; ++i)
        if ((i / 1000) % 2 == 1) data[i] = data[i - distance];
    return data;
}

// Replays tokens into bytes, checking each token's limits.
Bytes rebuild(const std::vector<Token>& tokens, std::uint32_t max_distance) {
    Bytes out;
    for (const Token& t : tokens) {
        if (t.length == 0) {
            out.push_back(static_cast<unsigned char>(t.value));
            continue;
        }
        EXPECT_GE(t.length, 3u);
        EXPECT_LE(t.length, 256u);
        const std::size_t distance = t.value + 1u;
        EXPECT_LE(distance, max_distance);
        EXPECT_LE(distance, out.size());
        if (distance > max_distance || distance > out.size()) return out;
        for (unsigned k = 0; k < t.length; ++k) out.push_back(out[out.size() - distance]);
    }
    return out;
}

ParseCosts flat_costs(std::uint32_t max_distance) {
    ParseCosts costs;
    for (auto& c : costs.literal) c = 8;
    for (unsigned len = 3; len <= 256; ++len) costs.length[len] = 6;
    costs.distance.assign(max_distance + 1, 8);
    return costs;
}

TEST(HashChainMatchFinder, MatchesAreRealAndWithinTheLimit) {
    for (std::uint32_t limit : {15872u, 26624u}) {
        // Repeats at the limit are found; those one byte further are not.
        for (std::size_t distance : {std::size_t{limit}, std::size_t{limit} + 1}) {
            const Bytes data = with_repeats_at(3 * limit, distance, 11);
            HashChainMatchFinder finder(data, limit);
            std::size_t found_at_limit = 0;
            for (std::size_t pos = 0; pos < data.size(); ++pos) {
                finder.for_each_longer(pos, 256, 256, 64, [&](std::uint32_t len, std::uint32_t d) {
                    ASSERT_GE(len, 3u);
                    ASSERT_LE(len, 256u);
                    ASSERT_GE(d, 1u);
                    ASSERT_LE(d, limit);
                    ASSERT_LE(d, pos);
                    ASSERT_LE(pos + len, data.size());
                    for (std::uint32_t k = 0; k < len; ++k)
                        ASSERT_EQ(data[pos + k], data[pos - d + k]);
                    if (d == limit && len >= 16) ++found_at_limit;
                });
                finder.insert(pos);
            }
            if (distance == limit)
                EXPECT_GT(found_at_limit, 1000u);
            else
                EXPECT_EQ(found_at_limit, 0u);
        }
    }
}

TEST(HashChainMatchFinder, LongestPrefersTheNearestOfEqualLength) {
    const std::string text = "wxyz-abcd-abcd+abcd";
    const Bytes data(text.begin(), text.end());
    HashChainMatchFinder finder(data, 26624);
    for (std::size_t pos = 0; pos < 15; ++pos) finder.insert(pos);
    const Match m = finder.longest(15, 256, 256, 16);
    EXPECT_EQ(m.length, 4u);
    EXPECT_EQ(m.distance, 5u);
    // A run of one byte: matches at distance 1 up to the 256-byte limit.
    const Bytes run(1000, 0x41);
    HashChainMatchFinder run_finder(run, 26624);
    run_finder.insert(0);
    const Match r = run_finder.longest(1, 256, 256, 16);
    EXPECT_EQ(r.length, 256u);
    EXPECT_EQ(r.distance, 1u);
}

struct ParseCase {
    const char* name;
    Bytes data;
};

std::vector<ParseCase> parse_cases() {
    return {
        {"text", sample::text_like(300000, 1)},
        {"binary", sample::binary_like(300000, 2)},
        {"run", Bytes(100000, 0x00)},
        {"repeats at 15872", with_repeats_at(80000, 15872, 3)},
        {"repeats at 26624", with_repeats_at(80000, 26624, 4)},
        {"repeats at 26625", with_repeats_at(80000, 26625, 5)},
    };
}

TEST(Parsers, TokensRebuildTheInputWithinTheDistanceLimit) {
    for (const ParseCase& c : parse_cases()) {
        for (std::uint32_t limit : {15872u, 26624u}) {
            SCOPED_TRACE(std::string(c.name) + " limit " + std::to_string(limit));
            const ParseCosts costs = flat_costs(limit);
            const ParseSettings variants[] = {{32, 128, false},
                                              {32, 128, true},
                                              {32, 128, true, true},
                                              {32, 128, true, false, true}};
            for (const ParseSettings& settings : variants) {
                HashChainMatchFinder finder(c.data, limit);
                std::vector<Token> tokens;
                // Two segments, so that the second one's matches reach into the first.
                const std::size_t half = c.data.size() / 2;
                const std::size_t stop =
                    lazy_parse(finder, c.data, 0, half, settings, costs, tokens);
                EXPECT_GE(stop, half);
                EXPECT_EQ(lazy_parse(finder, c.data, stop, c.data.size(), settings, costs, tokens),
                          c.data.size());
                EXPECT_EQ(rebuild(tokens, limit), c.data);
            }
            HashChainMatchFinder finder(c.data, limit);
            OptimalParser parser;
            std::vector<Token> all, part;
            for (std::size_t begin = 0; begin < c.data.size(); begin += 50000) {
                const std::size_t end = std::min(c.data.size(), begin + 50000);
                parser.collect(finder, c.data, begin, end, 64, 256, 200);
                parser.parse(costs, part);
                all.insert(all.end(), part.begin(), part.end());
            }
            EXPECT_EQ(rebuild(all, limit), c.data);
        }
    }
}

TEST(Parsers, MinimumCostParseIsNoDearerThanTheLazyOne) {
    ParseCosts costs;
    for (auto& c : costs.literal) c = 9;
    for (unsigned len = 3; len <= 256; ++len) costs.length[len] = unary_length_bits(len);
    costs.distance.resize(unary_window + 1);
    for (std::uint32_t d = 1; d <= unary_window; ++d) costs.distance[d] = unary_distance_bits(d);
    auto bits = [&](const std::vector<Token>& tokens) {
        std::uint64_t sum = 0;
        for (const Token& t : tokens)
            sum += t.length == 0 ? costs.literal[t.value] : costs.match(t.length, t.value + 1u);
        return sum;
    };
    const Bytes data = sample::text_like(200000, 9);
    HashChainMatchFinder lazy_finder(data, unary_window);
    std::vector<Token> lazy_tokens;
    lazy_parse(lazy_finder, data, 0, data.size(), {64, 256, true}, costs, lazy_tokens);
    HashChainMatchFinder finder(data, unary_window);
    OptimalParser parser;
    std::vector<Token> optimal_tokens;
    parser.collect(finder, data, 0, data.size(), 64, 256, 256);
    parser.parse(costs, optimal_tokens);
    EXPECT_LT(bits(optimal_tokens), bits(lazy_tokens));
}

} // namespace
