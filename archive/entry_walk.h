// The archive inside the payload image: entries in ARJ local-header layout, closed by an end
// marker (header id, basic header size 0), optionally followed by the tail block.
//
//   offset      width  field
//   0           2      header id 0xEA60
//   2           2      basic header size S (0: end marker)
//   4           S      basic header: first header size F, method at 5, DOS time at 8, packed
//                      size P at 12, unpacked size at 16, CRC-32 at 20, name at F (NUL-terminated)
//   4 + S       4      basic header CRC (never read)
//   8 + S       2      extended header size E
//   10 + S      E      extended header (never read)
//   10 + S + E  P      packed data
//
// Positions are summed in 64 bits, so no S, E or P can wrap a sum and make a walk step backwards
// or stand still. Only bytes of the payload are read: the 10 spare bytes behind it are never taken
// for a header id, a size or a field.
#pragma once

#include <cstdint>

struct EntryHeader {
    std::uint8_t method;
    std::uint32_t dos_time; // high 16 bits the DOS date, low 16 bits the DOS time
    std::uint32_t packed_size;
    std::uint32_t unpacked_size;
    std::uint32_t crc32;
    std::uint32_t name_position; // of the NUL-terminated name, in the payload image
    std::uint32_t packed_start;
    std::uint32_t next; // where the following entry or the end marker starts
};

// Offset just past the end marker; the payload length when the walk meets no end marker or gives
// up on an entry that runs past the payload.
std::uint32_t find_archive_end(const unsigned char* image, std::uint32_t payload_length);

// True when a header id stands at position with its basic header size inside the payload.
bool header_id_at(const unsigned char* image, std::uint32_t payload_length, std::uint64_t position);

// The entry rules at p against the archive end: S is not 0, the header (p + S + 6) and the whole
// entry (next) lie within archive_end, and the fixed fields lie within the payload. Fills header.
bool read_entry_header(const unsigned char* image, std::uint32_t payload_length,
                       std::uint32_t archive_end, std::uint32_t p, EntryHeader* header);

// True when another entry starts at next: a header id with a non-zero basic header size.
bool entry_follows(const unsigned char* image, std::uint32_t payload_length, std::uint32_t next);

// Length of the entry's name, or -1 when its NUL does not lie within the payload.
int entry_name_length(const unsigned char* image, std::uint32_t payload_length,
                      const EntryHeader& header);
