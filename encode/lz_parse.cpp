// Greedy / lazy parsing and the minimum-cost parse (see lz_parse.h).
#include "encode/lz_parse.h"

#include <algorithm>

namespace {

constexpr std::int64_t lazy_margin = 3; // bits

Token literal_token(unsigned char byte) {
    return Token{0, byte};
}
Token match_token(const Match& m) {
    return Token{static_cast<std::uint16_t>(m.length), static_cast<std::uint16_t>(m.distance - 1)};
}

} // namespace

std::size_t lazy_parse(HashChainMatchFinder& finder, std::span<const unsigned char> data,
                       std::size_t begin, std::size_t end, const ParseSettings& settings,
                       const ParseCosts& costs, std::vector<Token>& out) {
    // Literal costs summed from begin, so that a match's saving over literals is one subtraction.
    const std::size_t stop = std::min(data.size(), end + HashChainMatchFinder::max_length + 1);
    std::vector<std::uint32_t> literal_sum(stop - begin + 1, 0);
    for (std::size_t i = begin; i < stop; ++i)
        literal_sum[i - begin + 1] = literal_sum[i - begin] + costs.literal[data[i]];
    // Bits a match saves against sending its bytes as literals (0 when it saves nothing).
    auto saving = [&](const Match& m, std::size_t at) -> std::int64_t {
        if (m.length < HashChainMatchFinder::min_length) return 0;
        const std::int64_t as_literals =
            literal_sum[at - begin + m.length] - literal_sum[at - begin];
        const std::int64_t s = as_literals - costs.match(m.length, m.distance);
        return s > 0 ? s : 0;
    };
    auto search = [&](std::size_t at) {
        const Match m = finder.longest(at, HashChainMatchFinder::max_length, settings.nice_length,
                                       settings.depth);
        finder.insert(at);
        return m;
    };

    std::size_t pos = begin;
    Match current;
    bool have_current = false;
    while (pos < end) {
        if (!have_current) current = search(pos);
        have_current = false;
        const std::int64_t gain = saving(current, pos);
        if (gain == 0) {
            out.push_back(literal_token(data[pos]));
            ++pos;
            continue;
        }
        std::size_t inserted_to = pos + 1; // positions below this are in the finder
        if (settings.lazy && current.length < settings.nice_length && pos + 1 < end) {
            const Match next = search(pos + 1);
            inserted_to = pos + 2;
            // The later match must save a few bits more than the current one: the bytes after
            // the current match usually start another match, which the comparison does not see
            // (the margin is a measured best on text and binaries).
            if (saving(next, pos + 1) > gain + lazy_margin) {
                out.push_back(literal_token(data[pos]));
                ++pos;
                current = next;
                have_current = true;
                continue;
            }
            if (settings.lazy2 && pos + 2 < end) {
                const Match after = search(pos + 2);
                inserted_to = pos + 3;
                // Two literals must pay for themselves: the later match has to save at least
                // the second literal's cost more.
                if (saving(after, pos + 2) > gain + costs.literal[data[pos + 1]]) {
                    out.push_back(literal_token(data[pos]));
                    out.push_back(literal_token(data[pos + 1]));
                    pos += 2;
                    current = after;
                    have_current = true;
                    continue;
                }
            }
        }
        out.push_back(match_token(current));
        for (std::size_t at = inserted_to; at < pos + current.length; ++at) finder.insert(at);
        pos += current.length;
    }
    return pos;
}

void OptimalParser::collect(HashChainMatchFinder& finder, std::span<const unsigned char> data,
                            std::size_t begin, std::size_t end, std::uint32_t depth,
                            std::uint32_t nice_length, std::uint32_t skip_length) {
    data_ = data;
    begin_ = begin;
    end_ = end;
    first_.assign(end - begin + 1, 0);
    matches_.clear();
    std::size_t pos = begin;
    while (pos < end) {
        first_[pos - begin] = static_cast<std::uint32_t>(matches_.size());
        const auto max_len = static_cast<std::uint32_t>(
            std::min<std::size_t>(HashChainMatchFinder::max_length, end - pos));
        const Match longest = finder.for_each_longer(
            pos, max_len, nice_length, depth, [&](std::uint32_t length, std::uint32_t distance) {
                matches_.push_back(Match{length, distance});
            });
        finder.insert(pos);
        ++pos;
        if (longest.length >= skip_length) {
            const std::size_t covered = pos - 1 + longest.length;
            for (; pos < covered; ++pos) {
                first_[pos - begin] = static_cast<std::uint32_t>(matches_.size());
                finder.insert(pos);
            }
        }
    }
    first_[end - begin] = static_cast<std::uint32_t>(matches_.size());
}

void OptimalParser::parse(const ParseCosts& costs, std::size_t from, std::size_t to,
                          std::vector<Token>& out) {
    const std::size_t n = to - from;
    cost_.assign(n + 1, 0);
    choice_.resize(n + 1);
    const unsigned char* bytes = data_.data() + begin_ + from;
    const std::uint32_t* first = first_.data() + from;
    for (std::size_t i = n; i-- > 0;) {
        std::uint32_t best = costs.literal[bytes[i]] + cost_[i + 1];
        Token pick = literal_token(bytes[i]);
        std::uint32_t shorter = HashChainMatchFinder::min_length - 1;
        const std::size_t room = n - i;
        for (std::uint32_t k = first[i]; k < first[i + 1] && shorter < room; ++k) {
            const Match& m = matches_[k];
            const std::uint32_t dist_cost = costs.distance[m.distance];
            const std::uint32_t longest =
                static_cast<std::uint32_t>(std::min<std::size_t>(m.length, room));
            for (std::uint32_t len = shorter + 1; len <= longest; ++len) {
                const std::uint32_t c = costs.length[len] + dist_cost + cost_[i + len];
                if (c < best) {
                    best = c;
                    pick = Token{static_cast<std::uint16_t>(len),
                                 static_cast<std::uint16_t>(m.distance - 1)};
                }
            }
            shorter = m.length;
        }
        cost_[i] = best;
        choice_[i] = pick;
    }
    out.clear();
    for (std::size_t i = 0; i < n;) {
        out.push_back(choice_[i]);
        i += choice_[i].length == 0 ? 1 : choice_[i].length;
    }
}
