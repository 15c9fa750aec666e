// The Window: the 26624-byte ring (positions 0 to 26623) in which both decoders build their output
// and find their match sources. A decode writes from position 0 on; each time the position reaches
// 26624 it hands all 26624 bytes to sink_write and goes on at 0, and at its end it hands over the
// filled part. The ring is never cleared: zero bytes at program start, afterwards whatever the
// previous decode left, which a match reaching back before its entry's first byte then copies.
#pragma once

#include "archive/format.h"

#include <cstdint>
#include <cstring>

using Window = unsigned char[window_size];

extern Window window;

// Copies length bytes from source to position, forward one byte at a time in effect, so a match
// longer than its distance repeats its last distance bytes. Requires source < position and
// position + length <= window_size. Never writes past the match's end: the bytes behind it are
// still history (the output of one ring turn ago).
//
// With a distance of at least 8, every byte an 8-byte piece reads lies before the piece written,
// so it is final already; the last piece is then placed to end with the match, overlapping the
// one before it with the same bytes. A match shorter than 8 bytes is copied as two overlapping
// 4-byte (or 2-byte) pieces, which then never overlap their own source.
inline void copy_match(std::uint32_t position, std::uint32_t source, std::uint32_t length) {
    unsigned char* out = window + position;
    const unsigned char* in = window + source;
    const std::uint32_t distance = position - source;
    if (distance >= 8) {
        if (length >= 8) {
            for (std::uint32_t done = 0; done + 8 < length; done += 8) {
                std::memcpy(out + done, in + done, 8);
            }
            std::memcpy(out + length - 8, in + length - 8, 8);
        } else if (length >= 4) {
            std::uint32_t head, tail;
            std::memcpy(&head, in, 4);
            std::memcpy(&tail, in + length - 4, 4);
            std::memcpy(out, &head, 4);
            std::memcpy(out + length - 4, &tail, 4);
        } else {
            for (; length != 0; --length) *out++ = *in++;
        }
        return;
    }
    if (distance == 1) {
        std::memset(out, *in, length);
        return;
    }
    for (; length != 0; --length) *out++ = *in++;
}
