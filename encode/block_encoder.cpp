// The block encoder for methods 1 to 3.
//
// The input is parsed in segments (1 MiB, or 256 KiB for the best effort) with one match finder
// over the whole input, so matches reach back across segment borders. Each segment's tokens are
// cut into blocks by a shortest-path search over fixed-size chunks of tokens (1024 tokens; 8192
// for fast, 256 for best): a block's cost is estimated from its symbol counts (entropy plus a table
// estimate), and the split with the lowest total wins, no block exceeding 65535 symbols. A new
// block thus starts where the statistics change enough to pay for new tables.
//
// fast and normal parse greedily or lazily (two steps), judging literals against matches by the
// bit costs of the codes of the tokens so far (a first guess at the start), updated every 64 KiB.
// best collects every segment's matches once and runs the minimum-cost parse twice, each
// pass with the costs of the codes the previous pass gives; then it splits the segment into
// blocks and parses each block's stretch twice more with the costs of that block's own codes.
//
// Each block is written as: block size (16 bits), the code-length code (short-table form, 2-bit
// zero run after the third length), the literal/length lengths (count in 9 bits, then code-length
// symbols with runs of zeros), the distance code (short-table form), then the symbols. An alphabet
// with fewer than two used symbols goes in the single-code form, since the decoders accept only
// complete codes.
#include "encode/block_encoder.h"

#include "encode/huffman_code.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace {

constexpr unsigned litlen_symbols = 510;
constexpr unsigned distance_symbols = 17;
constexpr unsigned code_length_alphabet = 19;
constexpr std::uint32_t block_window = 26624; // bytes a match may reach back

unsigned litlen_symbol_of(const Token& t) {
    return t.length == 0 ? t.value : t.length + 253u;
}

struct Histogram {
    std::array<std::uint32_t, litlen_symbols> litlen{};
    std::array<std::uint32_t, distance_symbols> distance{};
    void add(const Token& t) {
        ++litlen[litlen_symbol_of(t)];
        if (t.length != 0) ++distance[distance_class(t.value)];
    }
    void add(const Histogram& other) {
        for (unsigned s = 0; s < litlen_symbols; ++s) litlen[s] += other.litlen[s];
        for (unsigned s = 0; s < distance_symbols; ++s) distance[s] += other.distance[s];
    }
};

// One alphabet's code as sent: a complete canonical code, or the single-code form.
struct AlphabetCode {
    bool single = false;
    unsigned single_value = 0; // the one used symbol (0 when none is used)
    std::vector<std::uint8_t> lengths;
    std::vector<std::uint16_t> codes;
};

AlphabetCode make_code(std::span<const std::uint32_t> counts) {
    AlphabetCode code;
    unsigned used = 0;
    for (unsigned s = 0; s < counts.size(); ++s) {
        if (counts[s] == 0) continue;
        if (used++ == 0) code.single_value = s;
    }
    if (used < 2) {
        code.single = true;
        code.lengths.assign(counts.size(), 0);
        return code;
    }
    code.lengths = limited_code_lengths(counts, block_code_max_length);
    code.codes = canonical_codes(code.lengths);
    return code;
}

unsigned sent_count(const std::vector<std::uint8_t>& lengths) {
    unsigned n = static_cast<unsigned>(lengths.size());
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

// A code length in a short table: 3 bits 0 to 6, or 7 followed by (length - 7) one bits and a zero.
void put_length_value(BitWriter& out, unsigned length) {
    if (length < 7) {
        out.put(length, 3);
        return;
    }
    const unsigned k = length - 7;
    out.put(7, 3);
    out.put(((1u << k) - 1) << 1, k + 1);
}

void write_short_table(BitWriter& out, const AlphabetCode& code, bool zero_run_after_third) {
    if (code.single) {
        out.put(0, 5);
        out.put(code.single_value, 5);
        return;
    }
    const unsigned n = sent_count(code.lengths);
    out.put(n, 5);
    unsigned i = 0;
    while (i < n) {
        put_length_value(out, code.lengths[i]);
        ++i;
        if (zero_run_after_third && i == 3) {
            unsigned z = 0;
            while (z < 3 && i + z < n && code.lengths[i + z] == 0) ++z;
            out.put(z, 2);
            i += z;
        }
    }
}

// The literal/length lengths as code-length symbols: 3 to 18 for lengths 1 to 16, 0 for one zero,
// 1 (+4 bits) for 3 to 18 zeros, 2 (+9 bits) for 20 to 531 zeros.
struct CodeLengthSymbol {
    std::uint8_t symbol;
    std::uint16_t extra;
};

std::vector<CodeLengthSymbol> code_length_symbols(const std::vector<std::uint8_t>& lengths,
                                                  unsigned n) {
    std::vector<CodeLengthSymbol> out;
    for (unsigned i = 0; i < n;) {
        if (lengths[i] != 0) {
            out.push_back({static_cast<std::uint8_t>(lengths[i] + 2), 0});
            ++i;
            continue;
        }
        unsigned run = 0;
        while (i + run < n && lengths[i + run] == 0) ++run;
        i += run;
        while (run > 0) {
            if (run >= 20) {
                const unsigned take = std::min(run, 531u);
                out.push_back({2, static_cast<std::uint16_t>(take - 20)});
                run -= take;
            } else if (run >= 3) {
                const unsigned take = std::min(run, 18u);
                out.push_back({1, static_cast<std::uint16_t>(take - 3)});
                run -= take;
            } else {
                out.push_back({0, 0});
                --run;
            }
        }
    }
    return out;
}

// c log2 c for every count a block can hold (a block has at most 65535 symbols).
const std::vector<float>& count_log_table() {
    static const std::vector<float> table = [] {
        std::vector<float> t(block_max_symbols + 1, 0.0f);
        for (std::size_t c = 2; c <= block_max_symbols; ++c)
            t[c] = static_cast<float>(static_cast<double>(c) * std::log2(static_cast<double>(c)));
        return t;
    }();
    return table;
}

// Estimated bits of a block with these counts: the entropy of both alphabets plus a rough figure
// for the tables. Extra distance bits do not depend on the split and are left out.
double estimated_block_bits(const Histogram& h) {
    const std::vector<float>& c_log_c = count_log_table();
    double bits = 60;
    auto entropy = [&](std::span<const std::uint32_t> counts, double per_symbol_table) {
        std::uint32_t total = 0;
        double sum = 0;
        for (std::uint32_t c : counts) {
            if (c == 0) continue;
            total += c;
            sum += c_log_c[c];
            bits += per_symbol_table;
        }
        bits += c_log_c[total] - sum;
    };
    entropy(h.litlen, 4.5);
    entropy(h.distance, 3.5);
    return bits;
}

// Block ends (token indices) for tokens: the cheapest split at multiples of chunk tokens.
std::vector<std::size_t> split_blocks(std::span<const Token> tokens, std::size_t chunk) {
    const std::size_t chunks = (tokens.size() + chunk - 1) / chunk;
    std::vector<Histogram> per_chunk(chunks);
    for (std::size_t i = 0; i < tokens.size(); ++i) per_chunk[i / chunk].add(tokens[i]);
    const std::size_t max_back = block_max_symbols / chunk;
    std::vector<double> best(chunks + 1, 0);
    std::vector<std::size_t> from(chunks + 1, 0);
    for (std::size_t j = 1; j <= chunks; ++j) {
        Histogram merged;
        best[j] = -1;
        for (std::size_t i = j; i-- > 0 && j - i <= max_back;) {
            merged.add(per_chunk[i]);
            const double c = best[i] + estimated_block_bits(merged);
            if (best[j] < 0 || c < best[j]) {
                best[j] = c;
                from[j] = i;
            }
        }
    }
    std::vector<std::size_t> ends;
    for (std::size_t j = chunks; j > 0; j = from[j])
        ends.push_back(std::min(j * chunk, tokens.size()));
    std::reverse(ends.begin(), ends.end());
    return ends;
}

// Costs the parse works with: code lengths from the counts of tokens; symbols not used cost a
// little more than the longest code.
void costs_from_tokens(std::span<const Token> tokens, ParseCosts& costs) {
    Histogram h;
    for (const Token& t : tokens) h.add(t);
    auto lengths_with_default = [](std::span<const std::uint32_t> counts) {
        std::vector<std::uint8_t> lengths = limited_code_lengths(counts, block_code_max_length);
        unsigned longest = 0;
        for (std::uint8_t l : lengths) longest = std::max<unsigned>(longest, l);
        for (std::uint8_t& l : lengths)
            if (l == 0) l = static_cast<std::uint8_t>(std::min(longest + 2, 18u));
        return lengths;
    };
    const auto litlen = lengths_with_default(h.litlen);
    const auto distance = lengths_with_default(h.distance);
    for (unsigned b = 0; b < 256; ++b) costs.literal[b] = litlen[b];
    for (unsigned len = 3; len <= 256; ++len) costs.length[len] = litlen[len + 253];
    costs.distance.resize(block_window + 1);
    for (std::uint32_t d = 1; d <= block_window; ++d) {
        const unsigned q = distance_class(d - 1);
        costs.distance[d] = distance[q] + (q > 1 ? q - 1 : 0);
    }
}

void default_costs(ParseCosts& costs) {
    for (unsigned b = 0; b < 256; ++b) costs.literal[b] = 8;
    for (unsigned len = 3; len <= 256; ++len)
        costs.length[len] = 4 + static_cast<std::uint32_t>(std::bit_width(len - 2));
    costs.distance.resize(block_window + 1);
    for (std::uint32_t d = 1; d <= block_window; ++d) {
        const unsigned q = distance_class(d - 1);
        costs.distance[d] = 3 + (q > 1 ? q - 1 : 0);
    }
}

struct EffortSettings {
    ParseSettings parse;
    bool optimal;
    std::size_t segment;     // input bytes parsed before their blocks are written
    std::size_t split_chunk; // tokens per unit of the block split
    unsigned passes;         // minimum-cost passes per segment
    std::uint32_t skip_length;
    unsigned refine_passes; // minimum-cost passes per block, with the block's own costs
};

EffortSettings settings_for(Effort effort) {
    switch (effort) {
    case Effort::fast:
        return {{6, 32, false}, false, 1u << 20, 8192, 0, 0, 0};
    case Effort::normal:
        return {{80, 128, true, true}, false, 1u << 20, 1024, 0, 0, 0};
    case Effort::best:
    default:
        return {{256, 256, false}, true, 1u << 18, 256, 2, 200, 2};
    }
}

// Once a segment's blocks are known, each block's stretch is parsed again with the costs of
// that block's own codes (which is what its symbols will cost), a few times over.
void refine_blocks(OptimalParser& parser, const EffortSettings& settings,
                   std::vector<Token>& tokens) {
    if (settings.refine_passes == 0) return;
    std::vector<Token> refined, part;
    ParseCosts block_costs;
    std::size_t token_start = 0, byte_start = 0;
    for (std::size_t block_end : split_blocks(tokens, settings.split_chunk)) {
        const std::span<const Token> block(tokens.data() + token_start, block_end - token_start);
        std::size_t bytes = 0;
        for (const Token& t : block) bytes += t.length == 0 ? 1 : t.length;
        costs_from_tokens(block, block_costs);
        for (unsigned pass = 0; pass < settings.refine_passes; ++pass) {
            parser.parse(block_costs, byte_start, byte_start + bytes, part);
            costs_from_tokens(part, block_costs);
        }
        refined.insert(refined.end(), part.begin(), part.end());
        token_start = block_end;
        byte_start += bytes;
    }
    tokens.swap(refined);
}

} // namespace

unsigned distance_class(std::uint32_t r) {
    return static_cast<unsigned>(std::bit_width(r));
}

void write_block(BitWriter& out, std::span<const Token> tokens) {
    Histogram h;
    for (const Token& t : tokens) h.add(t);
    const AlphabetCode litlen = make_code(h.litlen);
    const AlphabetCode distance = make_code(h.distance);

    out.put(static_cast<std::uint32_t>(tokens.size()), 16);
    if (litlen.single) {
        out.put(0, 5); // code-length code: single-code form, unused
        out.put(0, 5);
        out.put(0, 9);
        out.put(litlen.single_value, 9);
    } else {
        const unsigned n = sent_count(litlen.lengths);
        const std::vector<CodeLengthSymbol> symbols = code_length_symbols(litlen.lengths, n);
        std::array<std::uint32_t, code_length_alphabet> counts{};
        for (const CodeLengthSymbol& s : symbols) ++counts[s.symbol];
        const AlphabetCode code_lengths = make_code(counts);
        write_short_table(out, code_lengths, true);
        out.put(n, 9);
        for (const CodeLengthSymbol& s : symbols) {
            if (!code_lengths.single)
                out.put(code_lengths.codes[s.symbol], code_lengths.lengths[s.symbol]);
            if (s.symbol == 1) out.put(s.extra, 4);
            if (s.symbol == 2) out.put(s.extra, 9);
        }
    }
    write_short_table(out, distance, false);

    for (const Token& t : tokens) {
        const unsigned s = litlen_symbol_of(t);
        if (!litlen.single) out.put(litlen.codes[s], litlen.lengths[s]);
        if (t.length == 0) continue;
        const unsigned q = distance_class(t.value);
        if (!distance.single) out.put(distance.codes[q], distance.lengths[q]);
        if (q > 1) out.put(t.value - (1u << (q - 1)), q - 1);
    }
}

std::vector<unsigned char> encode_blocks(std::span<const unsigned char> data, Effort effort,
                                         const CompressProgress& progress) {
    const EffortSettings settings = settings_for(effort);
    HashChainMatchFinder finder(data, block_window);
    OptimalParser optimal;
    BitWriter out;
    ParseCosts costs;
    default_costs(costs);
    std::vector<Token> tokens;

    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t end = std::min(data.size(), pos + settings.segment);
        tokens.clear();
        if (settings.optimal) {
            optimal.collect(finder, data, pos, end, settings.parse.depth,
                            settings.parse.nice_length, settings.skip_length);
            for (unsigned pass = 0; pass < settings.passes; ++pass) {
                optimal.parse(costs, tokens);
                costs_from_tokens(tokens, costs);
            }
            refine_blocks(optimal, settings, tokens);
            pos = end;
        } else {
            // Costs follow the tokens in steps of 64 KiB, so that even a small input is not
            // parsed with the first guess throughout.
            while (pos < end) {
                const std::size_t piece = std::min(end, pos + (std::size_t{1} << 16));
                pos = lazy_parse(finder, data, pos, piece, settings.parse, costs, tokens);
                costs_from_tokens(tokens, costs);
            }
        }
        std::size_t start = 0;
        for (std::size_t block_end : split_blocks(tokens, settings.split_chunk)) {
            write_block(out, std::span<const Token>(tokens).subspan(start, block_end - start));
            start = block_end;
        }
        if (progress) progress(pos);
    }
    return out.finish();
}
