// LZ parsing shared by the method-4 and block encoders: turning input bytes into literals and
// matches (tokens) with a HashChainMatchFinder, judged by the bit costs of the target format.
//
// - lazy_parse: greedy, or with one or two steps of lazy matching: a match found at the next (or
//   the one after) position replaces the current one when it saves more bits over literals.
// - OptimalParser: collects every useful match of a stretch once, then finds the cheapest path
//   through it for a given cost model (minimum-cost parse by dynamic programming, backwards);
//   callers iterate it with costs taken from the previous result.
#pragma once

#include "encode/hash_chain_match_finder.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// A literal (length 0, value the byte) or a match (length 3 to 256, value the distance minus 1).
struct Token {
    std::uint16_t length;
    std::uint16_t value;
};

// Bit costs of the target format: per literal byte, per match length and per match distance.
struct ParseCosts {
    std::uint32_t literal[256] = {};
    std::uint32_t length[HashChainMatchFinder::max_length + 1] = {}; // index 3 to 256
    std::vector<std::uint32_t> distance;                             // index 1 to the limit
    std::uint32_t match(std::uint32_t len, std::uint32_t dist) const {
        return length[len] + distance[dist];
    }
};

struct ParseSettings {
    std::uint32_t depth = 16;       // chain steps per search
    std::uint32_t nice_length = 64; // a match this long is taken at once
    bool lazy = false;              // one step of lazy matching
    bool lazy2 = false;             // and a second step: two literals, then a match
    bool rate_pricing = false;      // lazy choices by output rate, not savings (lz_parse.cpp)
};

// Parses data from begin on until at least end, appending tokens; the last match may run past
// end. Positions are entered into the finder as they are passed. Returns where the parse stopped.
std::size_t lazy_parse(HashChainMatchFinder& finder, std::span<const unsigned char> data,
                       std::size_t begin, std::size_t end, const ParseSettings& settings,
                       const ParseCosts& costs, std::vector<Token>& out);

class OptimalParser {
  public:
    // Collects the matches of data[begin, end) (none reaching past end), entering every position
    // into the finder. A match of skip_length or more is taken as it is: the positions it covers
    // get no matches of their own.
    void collect(HashChainMatchFinder& finder, std::span<const unsigned char> data,
                 std::size_t begin, std::size_t end, std::uint32_t depth, std::uint32_t nice_length,
                 std::uint32_t skip_length);

    // The cheapest tokens for the collected stretch under costs (replaces out).
    void parse(const ParseCosts& costs, std::vector<Token>& out) {
        parse(costs, 0, end_ - begin_, out);
    }

    // The same for the part from offset `from` to offset `to` of the stretch; no match reaches
    // past `to`.
    void parse(const ParseCosts& costs, std::size_t from, std::size_t to, std::vector<Token>& out);

  private:
    std::span<const unsigned char> data_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::vector<std::uint32_t> first_; // per position: index of its first match; one more entry
    std::vector<Match> matches_;       // ascending length per position
    std::vector<std::uint32_t> cost_;  // cheapest bits from a position to the end
    std::vector<Token> choice_;        // the first token of that cheapest way
};
