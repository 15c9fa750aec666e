// Writes entry headers in ARJ local-header layout; the CRC-32 is the stub's own table code.
#include "encode/entry_writer.h"

#include "archive/crc32.h"
#include "archive/format.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

static_assert(max_entry_name_length + entry_first_header_size + 2 == max_basic_header_size);

namespace {

void put_u16(std::vector<unsigned char>& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>(value >> 8 & 0xFF));
}

void put_u32(std::vector<unsigned char>& out, std::uint32_t value) {
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

void ensure_crc_table() {
    static const bool built = (build_crc_table(), true);
    (void)built;
}

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, with or without an extension and in any
// case: Windows opens the device instead of a file of that name.
bool is_device_name(std::string_view name) {
    std::string stem(name.substr(0, name.find('.')));
    for (char& c : stem)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

std::uint32_t entry_crc32(std::span<const unsigned char> bytes, std::uint32_t previous) {
    ensure_crc_table();
    std::uint32_t crc = ~previous;
    // crc32_feed takes 32-bit lengths; larger spans go through in pieces.
    constexpr std::size_t piece = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t length = std::min(piece, bytes.size() - at);
        crc = crc32_feed(crc, bytes.data() + at, static_cast<std::uint32_t>(length));
    }
    return ~crc;
}

std::string entry_name_problem(std::string_view name) {
    if (name.empty()) return "the name is empty";
    if (name.size() > max_entry_name_length)
        return "the name is longer than " + std::to_string(max_entry_name_length) + " bytes";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E)
            return "the name holds a byte outside printable ASCII, which a package cannot carry "
                   "to every Windows code page";
        if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            return std::string("the name holds '") + c + "', which Windows file names cannot";
    }
    if (name == "." || name == "..") return "the name is not a file name";
    if (name.back() == '.' || name.back() == ' ')
        return "the name ends in a dot or a space, which Windows drops from file names";
    if (is_device_name(name)) return "the name is a Windows device (" + std::string(name) + ")";
    return {};
}

std::vector<unsigned char> entry_header(const EntryFields& entry) {
    if (!entry_name_problem(entry.name).empty())
        throw std::invalid_argument("entry name not storable: " + entry.name);

    std::vector<unsigned char> basic;
    basic.push_back(entry_first_header_size);
    basic.push_back(entry_archiver_version);
    basic.push_back(entry_minimum_version);
    basic.push_back(0); // host OS: MS-DOS
    basic.push_back(0); // flags
    basic.push_back(entry.method);
    basic.push_back(0); // file type: binary
    basic.push_back(0); // reserved
    put_u32(basic, entry.dos_time);
    put_u32(basic, entry.packed_size);
    put_u32(basic, entry.original_size);
    put_u32(basic, entry.crc32);
    put_u16(basic, 0); // position of the base name within the name
    put_u16(basic, entry_access_mode);
    put_u16(basic, 0); // host data
    basic.insert(basic.end(), entry.name.begin(), entry.name.end());
    basic.push_back(0); // end of the name
    basic.push_back(0); // empty comment

    std::vector<unsigned char> header;
    header.reserve(basic.size() + entry_fixed_bytes);
    put_u16(header, arj_header_id);
    put_u16(header, static_cast<std::uint32_t>(basic.size()));
    header.insert(header.end(), basic.begin(), basic.end());
    put_u32(header, entry_crc32(basic));
    put_u16(header, 0); // extended header size
    return header;
}
