// The method-4 encoder.
//
// Length code c: 0 is a literal, whose 8 bits follow; 1 to 254 is a match of c + 2 bytes. It is
// sent as k one bits and a zero (no zero when k = 7) and k remainder bits, where
// 2^k - 1 <= c < 2^(k+1) - 1. Distance code d = distance - 1, 0 to 15871: k one bits and a zero
// (no zero when k = 4), then 9 + k remainder bits, where 512 (2^k - 1) <= d < 512 (2^(k+1) - 1).
//
// The costs are fixed by the format, so the parse can weigh literals against matches exactly: a
// literal costs 9 bits, a match 3 to 14 bits of length code plus 10 to 17 of distance code. The
// input is parsed in segments of 1 MiB (the progress steps) with one match finder over all of it.
#include "encode/unary_encoder.h"

#include <algorithm>
#include <bit>

namespace {

unsigned length_prefix(std::uint32_t code) {
    return static_cast<unsigned>(std::bit_width(code + 1) - 1); // 0 to 7
}
unsigned distance_prefix(std::uint32_t code) {
    return std::min(4u, static_cast<unsigned>(std::bit_width(code / 512 + 1) - 1));
}

void unary_costs(ParseCosts& costs) {
    for (unsigned b = 0; b < 256; ++b) costs.literal[b] = 9;
    for (unsigned len = 3; len <= 256; ++len) costs.length[len] = unary_length_bits(len);
    costs.distance.resize(unary_window + 1);
    for (std::uint32_t d = 1; d <= unary_window; ++d) costs.distance[d] = unary_distance_bits(d);
}

} // namespace

std::uint32_t unary_length_bits(std::uint32_t length) {
    const unsigned k = length_prefix(length - 2);
    return (k < 7 ? k + 1 : 7) + k;
}

std::uint32_t unary_distance_bits(std::uint32_t distance) {
    const unsigned k = distance_prefix(distance - 1);
    return (k < 4 ? k + 1 : 4) + 9 + k;
}

void write_unary_token(BitWriter& out, const Token& token) {
    if (token.length == 0) {
        out.put(token.value, 9); // prefix bit 0, then the byte
        return;
    }
    const std::uint32_t code = token.length - 2u;
    const unsigned k = length_prefix(code);
    if (k < 7)
        out.put(((1u << k) - 1) << 1, k + 1);
    else
        out.put(0x7F, 7);
    out.put(code - ((1u << k) - 1), k);

    const std::uint32_t d = token.value;
    const unsigned j = distance_prefix(d);
    if (j < 4)
        out.put(((1u << j) - 1) << 1, j + 1);
    else
        out.put(0xF, 4);
    out.put(d - 512u * ((1u << j) - 1), 9 + j);
}

std::vector<unsigned char> encode_unary(std::span<const unsigned char> data, Effort effort,
                                        const CompressProgress& progress) {
    constexpr std::size_t segment = 1u << 20;
    ParseSettings settings;
    switch (effort) {
    case Effort::fast:
        settings = {4, 32, false};
        break;
    case Effort::normal:
        settings = {32, 128, true, false, true};
        break;
    case Effort::best:
        settings = {256, 256, false};
        break;
    }
    ParseCosts costs;
    unary_costs(costs);
    HashChainMatchFinder finder(data, unary_window);
    OptimalParser optimal;
    BitWriter out;
    std::vector<Token> tokens;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t end = std::min(data.size(), pos + segment);
        tokens.clear();
        if (effort == Effort::best) {
            optimal.collect(finder, data, pos, end, settings.depth, settings.nice_length, 200);
            optimal.parse(costs, tokens);
            pos = end;
        } else {
            pos = lazy_parse(finder, data, pos, end, settings, costs, tokens);
        }
        for (const Token& t : tokens) write_unary_token(out, t);
        if (progress) progress(pos);
    }
    return out.finish();
}
