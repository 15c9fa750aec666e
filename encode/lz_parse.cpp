// Greedy / lazy parsing and the minimum-cost parse (see lz_parse.h).
#include "encode/lz_parse.h"

#include <algorithm>

namespace {

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
    // A lazy look-ahead behind a good match (32 bytes or more) walks a quarter of the chain.
    auto search = [&](std::size_t at, std::uint32_t behind = 0) {
        const std::uint32_t depth = behind >= 32 ? settings.depth / 4 + 1 : settings.depth;
        const Match m =
            finder.longest(at, HashChainMatchFinder::max_length, settings.nice_length, depth);
        finder.insert(at);
        return m;
    };
    // The lazy choice: the current match m at pos, or `skip` literals and then the match later at
    // pos + skip. By savings: the later match must save more bits over literals than the current
    // one, by a margin of a few bits (the bytes after the current match usually start another
    // match, which the comparison does not see; the margins are measured bests on text and
    // binaries). By rate: where one choice covers more bytes than the other, those bytes are
    // priced at the bits per byte of the output so far instead of at literal prices, which keeps
    // long far matches from displacing a short near one and its sequel on very repetitive data.
    std::uint64_t bits_out = 64, bytes_out = 16; // a first guess of 4 bits per byte
    auto later_is_better = [&](const Match& m, std::size_t at, const Match& later,
                               std::size_t skip) {
        const std::int64_t later_saving = saving(later, at + skip);
        if (later_saving == 0) return false;
        const std::uint32_t skipped = literal_sum[at - begin + skip] - literal_sum[at - begin];
        if (!settings.rate_pricing) {
            const std::int64_t margin = skip == 1 ? 3 : skipped - costs.literal[data[at]];
            return later_saving > saving(m, at) + margin;
        }
        const double rate = static_cast<double>(bits_out) / static_cast<double>(bytes_out);
        const std::size_t end_now = at + m.length, end_later = at + skip + later.length;
        const double now =
            costs.match(m.length, m.distance) +
            rate * static_cast<double>(end_later > end_now ? end_later - end_now : 0);
        const double wait =
            skipped + costs.match(later.length, later.distance) +
            rate * static_cast<double>(end_now > end_later ? end_now - end_later : 0);
        return wait < now;
    };
    auto emit_literal = [&](std::size_t at) {
        out.push_back(literal_token(data[at]));
        bits_out += costs.literal[data[at]];
        ++bytes_out;
    };

    std::size_t pos = begin;
    Match current;
    bool have_current = false;
    while (pos < end) {
        if (!have_current) current = search(pos);
        have_current = false;
        if (saving(current, pos) == 0) {
            emit_literal(pos);
            ++pos;
            continue;
        }
        std::size_t inserted_to = pos + 1; // positions below this are in the finder
        if (settings.lazy && current.length < settings.nice_length && pos + 1 < end) {
            const Match next = search(pos + 1, current.length);
            inserted_to = pos + 2;
            if (later_is_better(current, pos, next, 1)) {
                emit_literal(pos);
                ++pos;
                current = next;
                have_current = true;
                continue;
            }
            if (settings.lazy2 && pos + 2 < end) {
                const Match after = search(pos + 2, current.length);
                inserted_to = pos + 3;
                if (later_is_better(current, pos, after, 2)) {
                    emit_literal(pos);
                    emit_literal(pos + 1);
                    pos += 2;
                    current = after;
                    have_current = true;
                    continue;
                }
            }
        }
        out.push_back(match_token(current));
        bits_out += costs.match(current.length, current.distance);
        bytes_out += current.length;
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
