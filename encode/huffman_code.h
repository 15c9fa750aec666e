// Prefix codes for the block encoder: length-limited code lengths from symbol counts, and the
// canonical codes that the decoders' table builder derives from those lengths.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Optimal code lengths of at most max_length bits for the given counts (package-merge). Symbols
// with count 0 get length 0. With two or more counted symbols the lengths form a complete prefix
// code; a single counted symbol gets length 1 and none gives all zeros (the block format sends
// those alphabets in its single-code form instead). Needs 2^max_length >= the number of counted
// symbols.
std::vector<std::uint8_t> limited_code_lengths(std::span<const std::uint32_t> counts,
                                               unsigned max_length);

// Canonical codes for the lengths: shortest first, ascending symbol number within one length; the
// code of symbol s is its low lengths[s] bits, sent highest bit first.
std::vector<std::uint16_t> canonical_codes(std::span<const std::uint8_t> lengths);
