// Package-merge for length-limited prefix codes, and canonical code assignment.
//
// Package-merge: with the counted symbols sorted by count, list 1 is the leaves; list j pairs the
// items of list j - 1 into packages (weights added) and merges them with the leaves. Taking the
// first 2m - 2 items of list max_length (m counted symbols) and counting, for every leaf, how
// often it is inside the taken items gives its optimal code length. The leaves inside any prefix
// of a list are the lightest ones, so only the number of leaves per taken prefix is needed: the
// taken packages of list j stand for the first 2 x (their number) items of list j - 1.
#include "encode/huffman_code.h"

#include <algorithm>

std::vector<std::uint8_t> limited_code_lengths(std::span<const std::uint32_t> counts,
                                               unsigned max_length) {
    std::vector<std::uint8_t> lengths(counts.size(), 0);
    std::vector<std::uint32_t> order;
    for (std::uint32_t s = 0; s < counts.size(); ++s)
        if (counts[s] != 0) order.push_back(s);
    const std::size_t m = order.size();
    if (m == 0) return lengths;
    if (m == 1) {
        lengths[order[0]] = 1;
        return lengths;
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return counts[a] < counts[b]; });

    // is_leaf[j][i]: item i of list j + 1 is a leaf (else a package).
    std::vector<std::vector<bool>> is_leaf(max_length);
    std::vector<std::uint64_t> previous(m), current;
    for (std::size_t i = 0; i < m; ++i) previous[i] = counts[order[i]];
    is_leaf[0].assign(m, true);
    for (unsigned j = 1; j < max_length; ++j) {
        current.clear();
        is_leaf[j].clear();
        std::size_t leaf = 0, pair = 0;
        const std::size_t pairs = previous.size() / 2;
        while (leaf < m || pair < pairs) {
            const bool take_leaf =
                pair == pairs ||
                (leaf < m && counts[order[leaf]] <= previous[2 * pair] + previous[2 * pair + 1]);
            if (take_leaf) {
                current.push_back(counts[order[leaf++]]);
                is_leaf[j].push_back(true);
            } else {
                current.push_back(previous[2 * pair] + previous[2 * pair + 1]);
                is_leaf[j].push_back(false);
                ++pair;
            }
        }
        previous.swap(current);
    }

    std::size_t taken = 2 * m - 2;
    for (unsigned j = max_length; j-- > 0;) {
        std::size_t leaves = 0;
        for (std::size_t i = 0; i < taken; ++i) leaves += is_leaf[j][i] ? 1 : 0;
        for (std::size_t i = 0; i < leaves; ++i) ++lengths[order[i]];
        taken = 2 * (taken - leaves);
    }
    return lengths;
}

std::vector<std::uint16_t> canonical_codes(std::span<const std::uint8_t> lengths) {
    std::uint32_t count[18] = {};
    for (std::uint8_t length : lengths) ++count[length];
    count[0] = 0;
    std::uint32_t next[18] = {};
    std::uint32_t code = 0;
    for (unsigned length = 1; length <= 17; ++length) {
        code = (code + count[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<std::uint16_t> codes(lengths.size(), 0);
    for (std::size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0) codes[s] = static_cast<std::uint16_t>(next[lengths[s]]++);
    return codes;
}
