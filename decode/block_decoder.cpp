// The block decoder for methods 1 to 3 (the stream format is in block_decoder.h). Reads block
// headers and symbols from the BitReader; produces the entry's bytes in the Window and the sink.
//
// Block headers are read through the BitReader itself. The symbol loop reads the same stream
// through a register-held StreamBits (bit_reader.h) and hands the BitReader back before every
// header and at its end. Every symbol costs one direct-table lookup, whose entry carries the code
// length; only codes longer than the table (12 bits for literal/length, 8 for the others) walk a
// tree, at most 4 or 8 steps. A match whose copy neither wraps nor reaches the Window's end takes
// the fast copy, without per-byte tests.
#include "decode/block_decoder.h"

#include "archive/decode_abort.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "decode/bit_reader.h"
#include "decode/decode_table.h"
#include "decode/window.h"

std::uint32_t block_remaining;
std::int32_t symbol_table[symbol_table_size];
std::int32_t symbol_lengths[literal_alphabet_size];
std::int32_t short_table[short_table_size];
std::int32_t short_lengths[code_length_alphabet_size];

namespace {

// The block's two symbol tables with each symbol's code length beside it (symbol | length << 10;
// a tree node keeps length 0), filled after every block header. The symbol loop reads these, so
// that a symbol costs one table load before its bits are consumed instead of two loads in a row.
// Sixteen bits an entry keep them small beside the Window in the first-level cache.
constexpr int entry_symbol_bits = 10; // symbols and tree nodes are below tree_node_limit = 1019
constexpr std::uint32_t entry_symbol_mask = (1u << entry_symbol_bits) - 1;
std::uint16_t symbol_entries[symbol_table_size];
std::uint16_t distance_entries[short_table_size];

void fill_entries(std::uint16_t* entries, const std::int32_t* table, int size,
                  const std::int32_t* lengths, int alphabet_size) {
    for (int i = 0; i < size; ++i) {
        const std::int32_t symbol = table[i];
        const std::int32_t length = symbol < alphabet_size ? lengths[symbol] : 0;
        entries[i] = static_cast<std::uint16_t>(symbol | length << entry_symbol_bits);
    }
}

constexpr int short_count_bits = 5;
constexpr int symbol_count_bits = 9;
constexpr int code_length_zero_run_after = 3;
constexpr int first_match_symbol = 256;
constexpr int match_symbol_bias = 253; // match symbol s copies s - 253 bytes

// The next n stream bits (1 to 16), without consuming them.
inline std::uint32_t peek_bits(int n) {
    return bit_reader.bit_window >> (16 - n);
}

inline std::uint32_t read_bits(int n) {
    const std::uint32_t value = peek_bits(n);
    skip_bits(n);
    return value;
}

// The two views of the stream a decode reads: the BitReader itself while a block header is read,
// and in the symbol loop the register-held StreamBits (bit_reader.h), staged ahead.
inline std::uint32_t window_of(const BitReader& in) {
    return in.bit_window;
}
inline void consume(BitReader&, int n) {
    skip_bits(n);
}

inline std::uint32_t window_of(const StreamBits& in) {
    return static_cast<std::uint32_t>(in.bits >> 48);
}
inline void consume(StreamBits& in, int n) {
    drop_stream(in, n);
}

// Decodes one symbol with a table built by build_decode_table or filled in single-code form. Both
// only ever hold symbols below alphabet_size or nodes of the current build, whose trees end in a
// symbol within 16 - table_bits steps; the mask test is a guard that a walk cannot go on once the
// window's bits are used up.
template <typename Bits>
inline int decode_symbol(Bits& in, const std::int32_t* table, int table_bits, int alphabet_size,
                         const std::int32_t* lengths) {
    const std::uint32_t bits = window_of(in);
    int symbol = table[bits >> (16 - table_bits)];
    if (symbol >= alphabet_size) {
        std::uint32_t mask = 1u << (15 - table_bits);
        do {
            if (mask == 0) raise_decode_abort();
            symbol = (bits & mask) ? one_child[symbol] : zero_child[symbol];
            mask >>= 1;
        } while (symbol >= alphabet_size);
    }
    consume(in, lengths[symbol]);
    return symbol;
}

template <typename Bits> inline std::uint32_t read_distance_of(Bits& in) {
    const int q =
        decode_symbol(in, short_table, short_table_bits, distance_alphabet_size, short_lengths);
    if (q == 0) return 0;
    const int extra = q - 1;
    const std::uint32_t x = window_of(in) >> (16 - extra); // 0 for extra = 0
    consume(in, extra);
    return (1u << extra) + x;
}

// A single-code value names the symbol every lookup yields. One at or above the alphabet's size
// names none, and a lookup would take it for a tree node this block never built (the nodes there
// may belong to another alphabet's tree, even form a cycle), so the decode is abandoned.
inline std::int32_t single_code_value(int width, int alphabet_size) {
    const std::uint32_t value = read_bits(width);
    if (value >= static_cast<std::uint32_t>(alphabet_size)) raise_decode_abort();
    return static_cast<std::int32_t>(value);
}

// The single-code form: every lookup yields value, and no symbol has a code length.
void set_single_code(std::int32_t value, std::int32_t* lengths, int alphabet_size,
                     std::int32_t* table, int table_size) {
    for (int i = 0; i < alphabet_size; ++i) lengths[i] = 0;
    for (int i = 0; i < table_size; ++i) table[i] = value;
}

// The longest symbol with its distance: a literal/length code of 16 bits, a distance code of 16 and
// 15 extra bits.
constexpr int longest_step_bits = 47;

// One literal/length symbol and what it makes: a literal byte in the Window, or a match with its
// distance copied there.
inline void block_step(StreamBits& bits, std::uint32_t& position, std::uint32_t& produced) {
    int symbol;
    const std::uint32_t entry = symbol_entries[window_of(bits) >> (16 - symbol_table_bits)];
    if ((entry & entry_symbol_mask) < literal_alphabet_size) {
        symbol = static_cast<int>(entry & entry_symbol_mask);
        consume(bits, static_cast<int>(entry >> entry_symbol_bits));
    } else {
        symbol = decode_symbol(bits, symbol_table, symbol_table_bits, literal_alphabet_size,
                               symbol_lengths);
    }
    if (symbol < first_match_symbol) {
        position = put_byte(position, static_cast<unsigned char>(symbol));
        ++produced;
        return;
    }

    const std::uint32_t length = static_cast<std::uint32_t>(symbol - match_symbol_bias);
    produced += length;
    // The distance class and its extra bits, in one consume when they fit the window.
    std::uint32_t r;
    const std::uint32_t peek = window_of(bits);
    const std::uint32_t distance_entry = distance_entries[peek >> (16 - short_table_bits)];
    const int q = static_cast<int>(distance_entry & entry_symbol_mask);
    const int code_bits = static_cast<int>(distance_entry >> entry_symbol_bits);
    const int total = code_bits + q - 1;
    if (q == 0) {
        consume(bits, code_bits);
        r = 0;
    } else if (q < distance_alphabet_size && total <= 16) {
        const int extra = q - 1;
        r = (1u << extra) + ((peek >> (16 - total)) & ((1u << extra) - 1));
        consume(bits, total);
    } else {
        r = read_distance_of(bits);
    }
    // The classes reach r = 65535, but only r up to 26623 names a byte of the Window; a larger
    // distance cannot come from a valid stream, and the decode is abandoned rather than read
    // outside the Window (the CRC comparison then fails the entry).
    if (r >= window_size) raise_decode_abort();
    position = copy_match_from(position, r, length);
}

// Kept out of decode_blocks: a function that calls setjmp keeps its values in memory.
[[gnu::noinline]] void run_blocks(std::uint32_t unpacked_size) {
    std::uint32_t produced = 0;
    std::uint32_t position = 0;
    // block_remaining, held here while the symbols run (sink_write could change it as far as the
    // compiler knows, so the global would be reloaded every symbol).
    std::uint32_t remaining = block_remaining;
    StreamBits bits = enter_stream();
    do {
        if (remaining == 0) {
            stage_bits(bits);
            leave_stream(bits);
            remaining = read_bits(16);
            read_short_lengths(code_length_alphabet_size, short_count_bits,
                               code_length_zero_run_after);
            read_symbol_lengths();
            read_short_lengths(distance_alphabet_size, short_count_bits, -1);
            fill_entries(symbol_entries, symbol_table, symbol_table_size, symbol_lengths,
                         literal_alphabet_size);
            fill_entries(distance_entries, short_table, short_table_size, short_lengths,
                         distance_alphabet_size);
            bits = enter_stream();
        }
        // One stage gives 56 bits or more: a match, or a literal and what follows it when the
        // literal's code is short, without another.
        stage_bits(bits);
        do {
            --remaining; // a block size of 0 wraps and keeps the block open to the end
            block_step(bits, position, produced);
        } while (bits.count >= longest_step_bits && remaining != 0 && produced < unpacked_size);
    } while (produced < unpacked_size);
    block_remaining = remaining;
    stage_bits(bits);
    leave_stream(bits);
    if (position != 0) sink_write(window, position);
}

} // namespace

void read_short_lengths(int count, int width, int special) {
    const int n = static_cast<int>(read_bits(width));
    if (n == 0) {
        set_single_code(single_code_value(width, count), short_lengths, count, short_table,
                        short_table_size);
        return;
    }
    int i = 0;
    while (i < n) {
        // 3 bits t: the length t, or for t = 7 that many more 1 bits up to a 0 bit (at most 13,
        // length 20; the bit after 13 ones is skipped unexamined).
        int length = static_cast<int>(peek_bits(3));
        if (length < 7) {
            skip_bits(3);
        } else {
            std::uint32_t mask = 1u << 12;
            while (mask != 0 && (bit_reader.bit_window & mask) != 0) {
                ++length;
                mask >>= 1;
            }
            skip_bits(length - 3);
        }
        // The count field reaches 31 but short_lengths holds 19: values for later positions are
        // read (so the stream stays in step) and dropped. Of the 19, the builder uses the first
        // count; the distance table's positions 17 and 18 are stored and ignored.
        if (i < code_length_alphabet_size) short_lengths[i] = length;
        ++i;
        if (i == special) {
            const int zeros = static_cast<int>(read_bits(2));
            for (int k = 0; k < zeros; ++k, ++i) {
                if (i < code_length_alphabet_size) short_lengths[i] = 0;
            }
        }
    }
    for (; i < count; ++i) short_lengths[i] = 0;
    build_decode_table(count, short_lengths, short_table_bits, short_table, short_table_size);
}

void read_symbol_lengths() {
    const int n = static_cast<int>(read_bits(symbol_count_bits));
    if (n == 0) {
        set_single_code(single_code_value(symbol_count_bits, literal_alphabet_size), symbol_lengths,
                        literal_alphabet_size, symbol_table, symbol_table_size);
        return;
    }
    if (n > literal_alphabet_size) raise_decode_abort();
    int i = 0;
    while (i < n) {
        const int symbol = decode_symbol(bit_reader, short_table, short_table_bits,
                                         code_length_alphabet_size, short_lengths);
        if (symbol >= 3) {
            symbol_lengths[i++] = symbol - 2;
            continue;
        }
        int run = 1;
        if (symbol == 1) {
            run = 3 + static_cast<int>(read_bits(4));
        } else if (symbol == 2) {
            run = 20 + static_cast<int>(read_bits(9));
        }
        for (; run != 0; --run) {
            if (i >= literal_alphabet_size) raise_decode_abort();
            symbol_lengths[i++] = 0;
        }
    }
    for (; i < literal_alphabet_size; ++i) symbol_lengths[i] = 0;
    build_decode_table(literal_alphabet_size, symbol_lengths, symbol_table_bits, symbol_table,
                       symbol_table_size);
}

std::uint32_t read_distance() {
    return read_distance_of(bit_reader);
}

// A DecodeAbort returns here: from sink_write (overflow), build_decode_table (bad code lengths),
// read_symbol_lengths (count or zero run past 510), a single-code value beyond its alphabet or a
// distance beyond the Window. No further bit is read, no byte written, and the final flush is not
// made.
void decode_blocks(std::uint32_t unpacked_size) {
    if (setjmp(decode_abort_point) != 0) return;
    if (unpacked_size == 0) return;
    run_blocks(unpacked_size);
}
