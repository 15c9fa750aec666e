// The Window: the 26624-byte ring (positions 0 to 26623) in which both decoders build their output
// and find their match sources. A decode writes from position 0 on; each time the position reaches
// 26624 it hands all 26624 bytes to sink_write and goes on at 0, and at its end it hands over the
// filled part. The ring is never cleared: zero bytes at program start, afterwards whatever the
// previous decode left, which a match reaching back before its entry's first byte then copies.
#pragma once

#include "archive/extract_sink.h"
#include "archive/format.h"

#include <cstdint>
#include <cstring>

using Window = unsigned char[window_size];

extern Window window;

// Puts one byte at position and returns the next position: 0 once the Window is full, after all
// of it has gone to sink_write.
inline std::uint32_t put_byte(std::uint32_t position, unsigned char byte) {
    window[position] = byte;
    if (++position == window_size) {
        sink_write(window, window_size);
        position = 0;
    }
    return position;
}

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
    if (distance >= 8 && position + length + 16 <= window_size) {
        // Whole pieces without a length test for short matches: the first two pieces may run up
        // to 15 bytes past the match, and the loop up to 7. Those bytes are history, so they are
        // kept aside and put back. Bytes past the match are only ever read to make bytes past
        // the match.
        unsigned char behind[16];
        std::memcpy(behind, out + length, 16);
        std::memcpy(out, in, 8);
        std::memcpy(out + 8, in + 8, 8);
        for (std::uint32_t done = 16; done < length; done += 8) {
            std::memcpy(out + done, in + done, 8);
        }
        std::memcpy(out + length, behind, 16);
        return;
    }
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

// The copy of a match that may wrap its source past the Window's end or reach the end itself,
// where the full Window goes to sink_write and the copy goes on at position 0. Returns the new
// position. The match is cut into pieces that neither wrap nor flush, in order, which gives the
// bytes of the byte-by-byte copy: a piece whose source lies before its destination is a forward
// copy_match; one whose source lies at or after it (a source one ring turn back) reads each
// byte before the piece could overwrite it, so it moves as one block.
inline std::uint32_t copy_match_wrapping(std::uint32_t position, std::uint32_t source,
                                         std::uint32_t length) {
    while (length != 0) {
        std::uint32_t piece = length;
        if (piece > window_size - position) piece = window_size - position;
        if (piece > window_size - source) piece = window_size - source;
        if (source < position) {
            copy_match(position, source, piece);
        } else {
            std::memmove(window + position, window + source, piece);
        }
        position += piece;
        source += piece;
        length -= piece;
        if (position == window_size) {
            sink_write(window, window_size);
            position = 0;
        }
        if (source == window_size) source = 0;
    }
    return position;
}

// A match of length bytes from distance + 1 bytes back (distance below window_size), copied into
// the Window at position; returns the new position. The fast copy serves a match that neither
// wraps its source nor reaches the Window's end, the wrapping copy every other; both give the
// bytes of the plain forward copy.
inline std::uint32_t copy_match_from(std::uint32_t position, std::uint32_t distance,
                                     std::uint32_t length) {
    std::uint32_t source = position + window_size - distance - 1;
    if (source >= window_size) source -= window_size;
    if (source < position && position + length < window_size) {
        copy_match(position, source, length);
        return position + length;
    }
    return copy_match_wrapping(position, source, length);
}
