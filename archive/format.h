// Constants of the package format, shared by the stub (which reads packages) and the tool (which
// writes and inspects them).
#pragma once

#include <cstdint>

// Payload image and keystream.
constexpr std::uint32_t default_payload_offset = 45056; // before the build stores the stub's size
constexpr std::uint32_t payload_spare_bytes = 10;       // allocated after the payload, never filled
constexpr std::uint32_t keystream_seed = 51829;
constexpr std::uint32_t keystream_multiplier = 214013;
constexpr std::uint32_t keystream_increment = 2531011;

// Archive entries (ARJ local-header layout).
constexpr std::uint16_t arj_header_id = 0xEA60;
constexpr std::uint32_t entry_fixed_bytes = 10;      // id, size S, basic header CRC, ext. size E
constexpr std::uint32_t end_marker_size = 4;         // header id and S = 0
constexpr std::uint32_t basic_fields_size = 24;      // fixed fields of the basic header read
constexpr std::uint32_t basic_header_offset = 4;     // from the entry's first byte
constexpr std::uint32_t field_first_header_size = 0; // offsets within the basic header
constexpr std::uint32_t field_method = 5;
constexpr std::uint32_t field_dos_time = 8;
constexpr std::uint32_t field_packed_size = 12;
constexpr std::uint32_t field_unpacked_size = 16;
constexpr std::uint32_t field_crc32 = 20;

// Fields the tool writes so that standard ARJ readers accept an entry; the stub reads none of them.
constexpr std::uint8_t entry_first_header_size = 30; // the name follows the fixed fields
constexpr std::uint8_t entry_archiver_version = 11;
constexpr std::uint8_t entry_minimum_version = 1;
constexpr std::uint16_t entry_access_mode = 0x20;     // the DOS archive attribute
constexpr std::uint32_t max_basic_header_size = 2600; // the largest S standard readers take

enum Method : std::uint8_t {
    method_stored = 0,
    method_best = 1, // methods 1 to 3 share the block format
    method_normal = 2,
    method_fast = 3,
    method_fastest = 4, // the unary-code format
};

// Extraction.
constexpr std::uint32_t path_buffer_size = 260;
constexpr std::uint32_t stored_chunk_size = 8192;
constexpr std::uint32_t crc32_polynomial = 0xEDB88320u;

// Decoding.
constexpr std::uint32_t window_size = 26624;
constexpr std::uint32_t input_buffer_size = 32;
constexpr std::uint32_t min_match = 3;
constexpr std::uint32_t max_match = 256;
constexpr std::uint32_t unary_max_distance = 15872;       // bytes back, method 4
constexpr std::uint32_t block_max_distance = window_size; // bytes back that stay in the Window

// Tail stamp.
constexpr std::uint32_t stamp_marker_size = 50;
constexpr std::uint32_t stamp_slot_size = 100;
extern const unsigned char stamp_marker[stamp_marker_size];
