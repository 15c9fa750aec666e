// ExtractSink: one entry's output. Every unpacked byte enters through sink_write, which keeps the
// running CRC-32 and refuses (with a DecodeAbort) a stretch that does not fit.
#pragma once

#include <cstdint>

struct ExtractSink {
    std::uint32_t capacity; // the entry's unpacked size
    std::uint32_t count;    // bytes appended so far, at most capacity
    unsigned char* buffer;  // capacity bytes, not cleared
    std::uint32_t crc;      // over every byte offered, preset 0xFFFFFFFF
    bool overflowed;        // a stretch was refused: the CRC covers bytes the file lacks
};

extern ExtractSink extract_sink;

// Advances the CRC over the stretch, then appends it, or raises DecodeAbort when it does not fit.
void sink_write(const unsigned char* bytes, std::uint32_t length);
