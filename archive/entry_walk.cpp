#include "archive/entry_walk.h"

#include "archive/format.h"

namespace {

std::uint16_t read_u16(const unsigned char* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t read_u32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The extent of the entry at p, whose basic header size S is not 0. False when its header or its
// whole extent runs past bound, or when a field that is read would lie past the payload: such an
// entry counts as running past the archive, in both walks alike.
bool entry_extent(const unsigned char* image, std::uint32_t payload_length, std::uint32_t bound,
                  std::uint64_t p, std::uint64_t basic_size, std::uint64_t* next) {
    if (p + basic_size + 6 > bound) return false;
    if (p + basic_size + entry_fixed_bytes > payload_length) return false; // E past the payload
    if (p + basic_header_offset + basic_fields_size > payload_length) return false;
    const std::uint64_t extended_size = read_u16(image + p + basic_size + 8);
    const std::uint64_t packed_size = read_u32(image + p + basic_header_offset + field_packed_size);
    *next = p + basic_size + extended_size + packed_size + entry_fixed_bytes;
    return *next <= bound;
}

} // namespace

bool header_id_at(const unsigned char* image, std::uint32_t payload_length,
                  std::uint64_t position) {
    return position + 4 <= payload_length && read_u16(image + position) == arj_header_id;
}

std::uint32_t find_archive_end(const unsigned char* image, std::uint32_t payload_length) {
    if (!header_id_at(image, payload_length, 0)) return payload_length;
    std::uint64_t p = 0;
    for (;;) {
        const std::uint64_t basic_size = read_u16(image + p + 2);
        if (basic_size == 0) return static_cast<std::uint32_t>(p + end_marker_size);
        std::uint64_t next = 0;
        if (!entry_extent(image, payload_length, payload_length, p, basic_size, &next)) {
            return payload_length;
        }
        if (!header_id_at(image, payload_length, next)) return payload_length;
        p = next;
    }
}

bool read_entry_header(const unsigned char* image, std::uint32_t payload_length,
                       std::uint32_t archive_end, std::uint32_t p, EntryHeader* header) {
    if (!header_id_at(image, payload_length, p)) return false;
    const std::uint64_t basic_size = read_u16(image + p + 2);
    if (basic_size == 0) return false;
    std::uint64_t next = 0;
    if (!entry_extent(image, payload_length, archive_end, p, basic_size, &next)) return false;

    const unsigned char* basic = image + p + basic_header_offset;
    header->method = basic[field_method];
    header->dos_time = read_u32(basic + field_dos_time);
    header->packed_size = read_u32(basic + field_packed_size);
    header->unpacked_size = read_u32(basic + field_unpacked_size);
    header->crc32 = read_u32(basic + field_crc32);
    header->name_position = p + basic_header_offset + basic[field_first_header_size];
    header->next = static_cast<std::uint32_t>(next);
    header->packed_start = static_cast<std::uint32_t>(next - header->packed_size);
    return true;
}

bool entry_follows(const unsigned char* image, std::uint32_t payload_length, std::uint32_t next) {
    return header_id_at(image, payload_length, next) && read_u16(image + next + 2) != 0;
}

int entry_name_length(const unsigned char* image, std::uint32_t payload_length,
                      const EntryHeader& header) {
    for (std::uint32_t i = header.name_position; i < payload_length; ++i) {
        if (image[i] == 0) return static_cast<int>(i - header.name_position);
    }
    return -1;
}
