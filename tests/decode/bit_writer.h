// Test-side stream writers for the decoders: an MSB-first bit writer, canonical codes from code
// lengths, and writers for the method-4 codes and for whole method 1-3 blocks.
#pragma once

#include "tests/support/test_support.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace test {

// Appends bits most significant first; finish() pads the last byte with zero bits.
class BitWriter {
  public:
    void put(std::uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i) put_bit((value >> i) & 1u);
    }
    void put_bit(std::uint32_t bit) {
        if (bit_count_ % 8 == 0) bytes_.push_back(0);
        if (bit) bytes_.back() |= static_cast<unsigned char>(0x80u >> (bit_count_ % 8));
        ++bit_count_;
    }
    std::uint64_t bit_count() const { return bit_count_; }
    Bytes finish() const { return bytes_; }

  private:
    Bytes bytes_;
    std::uint64_t bit_count_ = 0;
};

struct Code {
    std::uint32_t bits = 0;
    int length = 0;
};

// The canonical code of a length list: by length, shortest first, then by ascending symbol.
inline std::vector<Code> canonical_codes(const std::vector<int>& lengths) {
    std::vector<Code> codes(lengths.size());
    std::uint32_t next = 0;
    for (int length = 1; length <= 16; ++length) {
        for (std::size_t s = 0; s < lengths.size(); ++s) {
            if (lengths[s] != length) continue;
            codes[s] = {next, length};
            ++next;
        }
        next <<= 1;
    }
    return codes;
}

inline void put_code(BitWriter& out, const Code& code) {
    out.put(code.bits, code.length);
}

// Method 4: length code 0 (literal) to 254, distance code 0 to 15871.
inline void put_unary_length(BitWriter& out, std::uint32_t code) {
    if (code == 0) {
        out.put_bit(0);
        return;
    }
    int k = 1;
    while (k < 7 && code >= (1u << (k + 1)) - 1) ++k;
    for (int i = 0; i < k; ++i) out.put_bit(1);
    if (k < 7) out.put_bit(0);
    out.put(code - ((1u << k) - 1), k);
}

inline void put_unary_distance(BitWriter& out, std::uint32_t code) {
    int k = 0;
    while (k < 4 && code >= 512u * ((1u << (k + 1)) - 1)) ++k;
    for (int i = 0; i < k; ++i) out.put_bit(1);
    if (k < 4) out.put_bit(0);
    out.put(code - 512u * ((1u << k) - 1), 9 + k);
}

inline void put_unary_literal(BitWriter& out, unsigned char byte) {
    put_unary_length(out, 0);
    out.put(byte, 8);
}

inline void put_unary_match(BitWriter& out, std::uint32_t length, std::uint32_t distance_back) {
    put_unary_length(out, length - 2);
    put_unary_distance(out, distance_back - 1);
}

// A length value of the short-table form: 3 bits, or 7 and then length - 7 one bits and a zero
// (no zero after 13 ones: a length of 20 takes 17 bits, the last one given by last_bit).
inline void put_length_value(BitWriter& out, int length, std::uint32_t last_bit = 0) {
    if (length < 7) {
        out.put(static_cast<std::uint32_t>(length), 3);
        return;
    }
    out.put(7, 3);
    for (int i = 7; i < length; ++i) out.put_bit(1);
    out.put_bit(length == 20 ? last_bit : 0);
}

// Writes blocks for methods 1-3 with codes given as length lists. The code-length code used to
// send the literal/length lengths is a fixed complete one (symbols 0-12: 4 bits, 13-18: 5 bits);
// every length of the literal/length list is sent as its own code-length symbol.
class BlockWriter {
  public:
    // A complete literal/length code where every symbol has a code: literals 9 bits, match
    // symbols 256 and 257 8 bits, the rest 9 bits. Distance classes: 0-14 4 bits, 15-16 5 bits.
    static std::vector<int> flat_symbol_lengths() {
        std::vector<int> lengths(510, 9);
        lengths[256] = lengths[257] = 8;
        return lengths;
    }
    static std::vector<int> flat_distance_lengths() {
        std::vector<int> lengths(17, 4);
        lengths[15] = lengths[16] = 5;
        return lengths;
    }

    void header(std::uint32_t block_size, const std::vector<int>& symbol_lengths,
                const std::vector<int>& distance_lengths) {
        out.put(block_size, 16);
        code_length_table();
        symbol_table(symbol_lengths);
        distance_table(distance_lengths);
    }
    // The fixed code-length code, sent with n = 19 and a zero run of 0 after the third value.
    void code_length_table() {
        out.put(19, 5);
        for (int s = 0; s < 19; ++s) {
            put_length_value(out, code_length_lengths()[s]);
            if (s == 2) out.put(0, 2);
        }
    }
    // One code-length symbol per length (0 as symbol 0); count = lengths.size() (up to 510).
    void symbol_table(const std::vector<int>& lengths) {
        out.put(static_cast<std::uint32_t>(lengths.size()), 9);
        for (int length : lengths) code_length_symbol(length == 0 ? 0 : length + 2);
        use_symbol_lengths(lengths);
    }
    void code_length_symbol(int s) { put_code(out, code_length_codes()[s]); }
    // The distance table in short-table form with n = lengths.size(); the first 17 make the code.
    void distance_table(const std::vector<int>& lengths, std::uint32_t last_bit = 0) {
        out.put(static_cast<std::uint32_t>(lengths.size()), 5);
        for (int length : lengths) put_length_value(out, length, last_bit);
        std::vector<int> code(lengths.begin(),
                              lengths.begin() + std::min<std::size_t>(17, lengths.size()));
        code.resize(17, 0);
        use_distance_lengths(code);
    }
    // The codes later symbols are written with (all of length 0 for a single-code form).
    void use_symbol_lengths(std::vector<int> lengths) {
        lengths.resize(510, 0);
        symbol_codes_ = canonical_codes(lengths);
    }
    void use_distance_lengths(const std::vector<int>& lengths) {
        distance_codes_ = canonical_codes(lengths);
    }
    static std::vector<int> code_length_lengths() {
        std::vector<int> lengths(19, 4);
        for (int s = 13; s < 19; ++s) lengths[s] = 5;
        return lengths;
    }
    static std::vector<Code> code_length_codes() { return canonical_codes(code_length_lengths()); }
    void flat_header(std::uint32_t block_size) {
        header(block_size, flat_symbol_lengths(), flat_distance_lengths());
    }
    void literal(unsigned char byte) { put_code(out, symbol_codes_[byte]); }
    // A match of length bytes from r + 1 bytes back.
    void match(std::uint32_t length, std::uint32_t r) {
        put_code(out, symbol_codes_[length + 253]);
        distance(r);
    }
    void distance(std::uint32_t r) {
        int q = 0;
        while (q < 16 && r >= (1u << q)) ++q;
        put_code(out, distance_codes_[q]);
        if (q > 1) out.put(r - (1u << (q - 1)), q - 1);
    }
    Bytes finish() const { return out.finish(); }

    BitWriter out;

  private:
    std::vector<Code> symbol_codes_;
    std::vector<Code> distance_codes_;
};

} // namespace test
