#include "archive/unpack_entry.h"

#include "archive/crc32.h"
#include "archive/decode_abort.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "archive/packed_input.h"
#include "archive/stamp_tail.h"
#include "decode/bit_reader.h"
#include "decode/block_decoder.h"
#include "decode/unary_decoder.h"

#include <cstdlib>

namespace {

unsigned char stored_copy_buffer[stored_chunk_size];

// Method 0: the packed bytes pass to the sink in chunks of up to 8192 bytes. A chunk that does not
// fit ends the copy (DecodeAbort); the CRC comparison then decides the entry.
void copy_stored() {
    if (setjmp(decode_abort_point) != 0) return;
    for (;;) {
        const std::uint32_t count = read_packed(stored_copy_buffer, stored_chunk_size);
        if (count == 0) return;
        sink_write(stored_copy_buffer, count);
    }
}

} // namespace

bool unpack_entry(const unsigned char* image, const EntryHeader& header, const unsigned char* tail,
                  std::uint32_t tail_length) {
    build_crc_table();
    extract_sink.crc = 0xFFFFFFFFu;
    packed_input.cursor = image + header.packed_start;
    packed_input.remaining = header.packed_size;
    extract_sink.capacity = header.unpacked_size;
    extract_sink.count = 0;
    extract_sink.overflowed = false;
    // A damaged header can ask for up to 4 GiB; when that cannot be had the entry fails, and no
    // byte is ever written through a missing buffer. One byte is asked for an empty entry, so
    // that a null result always means failure.
    extract_sink.buffer =
        static_cast<unsigned char*>(std::malloc(header.unpacked_size ? header.unpacked_size : 1));
    if (!extract_sink.buffer) {
        extract_sink.capacity = 0;
        return false;
    }

    switch (header.method) {
    case method_stored:
        copy_stored();
        break;
    case method_best:
    case method_normal:
    case method_fast:
        reset_bits();
        decode_blocks(header.unpacked_size);
        break;
    case method_fastest:
        reset_bits();
        decode_unary(header.unpacked_size);
        break;
    default:
        break; // methods 5 and above yield no bytes
    }

    if (tail_length) stamp_tail(extract_sink.buffer, extract_sink.count, tail, tail_length);
    return true;
}

bool sink_matches_crc(const EntryHeader& header) {
    return !extract_sink.overflowed && ~extract_sink.crc == header.crc32;
}

void release_sink() {
    std::free(extract_sink.buffer);
    extract_sink.buffer = nullptr;
}
