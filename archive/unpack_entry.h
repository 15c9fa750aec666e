// Unpacking one entry into the ExtractSink: the sink set-up, the stored copy or the decoder of the
// entry's method, and the tail stamp. Shared by the extraction loop and the tool's inspection.
#pragma once

#include "archive/entry_walk.h"

#include <cstdint>

// Sets up PackedInput and the sink for the entry and unpacks it; stamps the tail block (if it is
// not empty) into the sink's bytes. Returns false, with nothing unpacked, when the sink's buffer
// cannot be allocated. Afterwards the sink holds count bytes and the CRC of every byte offered.
bool unpack_entry(const unsigned char* image, const EntryHeader& header, const unsigned char* tail,
                  std::uint32_t tail_length);

// True when the sink's CRC-32 is the entry's and nothing offered to the sink was refused.
bool sink_matches_crc(const EntryHeader& header);

// Releases the sink's buffer.
void release_sink();
