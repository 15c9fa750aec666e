#include "payload/keystream.h"

#include "archive/format.h"

static_assert(keystream_multiplier == 214013u && keystream_increment == 2531011u);

void apply_keystream(unsigned char* bytes, std::uint32_t length) {
    std::uint32_t state = keystream_seed;
    for (std::uint32_t i = 0; i < length; ++i) {
        state = keystream_step(state);
        bytes[i] ^= keystream_byte(state);
    }
}

// The generator has no jump ahead: the positions before the tail are stepped over one by one.
void restore_tail(unsigned char* image, std::uint32_t payload_length, std::uint32_t archive_end) {
    if (archive_end >= payload_length) return;
    std::uint32_t state = keystream_seed;
    for (std::uint32_t i = 0; i < archive_end; ++i) state = keystream_step(state);
    for (std::uint32_t i = archive_end; i < payload_length; ++i) {
        state = keystream_step(state);
        image[i] ^= keystream_byte(state);
    }
}
