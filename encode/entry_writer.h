// One archive entry as the tool writes it, in ARJ local-header layout:
//
//   header id 60 EA, basic header size S, the S basic header bytes, their CRC-32, extended header
//   size 0, then the packed data.
//
// The basic header holds first header size 30, archiver version 11, minimum version 1, host OS 0,
// flags 0, the method, file type 0, a reserved 0, the DOS time, packed size, original size, the
// CRC-32 of the original bytes, base name position 0, access mode 0x20 (archive), host data 0, the
// NUL-terminated name and an empty comment (one NUL): S = 30 + name length + 2.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct EntryFields {
    std::string name; // the base name, as stored
    std::uint8_t method = 0;
    std::uint32_t dos_time = 0; // high 16 bits the DOS date
    std::uint32_t packed_size = 0;
    std::uint32_t original_size = 0;
    std::uint32_t crc32 = 0; // of the original bytes
};

// The longest name that keeps S within the readers' limit of 2600.
constexpr std::size_t max_entry_name_length = 2600 - 30 - 2;

// Why name cannot be stored as an entry's name, or empty when it can. A name is refused when it is
// empty, too long, or holds a byte the stub cannot turn into the same file name on every Windows:
// anything but printable ASCII, a path separator, or one of the characters Windows forbids in file
// names (: * ? " < > |); and names Windows would change or take for a device: a trailing dot or
// space, CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9 (with any extension).
std::string entry_name_problem(std::string_view name);

// The entry's header bytes: everything before its packed data. The name must have passed
// entry_name_problem.
std::vector<unsigned char> entry_header(const EntryFields& entry);

// CRC-32/ISO-HDLC of bytes, continued from a previous value (start with 0).
std::uint32_t entry_crc32(std::span<const unsigned char> bytes, std::uint32_t previous = 0);
