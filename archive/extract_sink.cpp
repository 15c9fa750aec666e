#include "archive/extract_sink.h"

#include "archive/crc32.h"
#include "archive/decode_abort.h"

#include <cstring>

ExtractSink extract_sink;

// The CRC is advanced before the room test, so it also covers a stretch that is then refused. The
// refusal is remembered: an entry whose output overflowed fails even when the CRC of everything
// offered matches, since its file lacks the refused bytes.
void sink_write(const unsigned char* bytes, std::uint32_t length) {
    extract_sink.crc = crc32_feed(extract_sink.crc, bytes, length);
    if (extract_sink.capacity - extract_sink.count < length) {
        extract_sink.overflowed = true;
        raise_decode_abort();
    }
    if (length) std::memcpy(extract_sink.buffer + extract_sink.count, bytes, length);
    extract_sink.count += length;
}
