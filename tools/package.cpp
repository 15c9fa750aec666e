// Package reading for the inspecting commands: finds the payload offset the stub holds, loads the
// payload with the stub's load_payload and walks the entries with the stub's walk and unpacker,
// so that what the tool reports is what the stub would do.
#include "tools/package.h"

#include "archive/extract_entries.h"
#include "archive/extract_sink.h"
#include "archive/format.h"
#include "archive/stamp_tail.h"
#include "archive/unpack_entry.h"
#include "payload/keystream.h"
#include "payload/load_payload.h"
#include "payload/payload_offset.h"
#include "tools/commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t tag_size = sizeof payload_offset_tag;
constexpr std::size_t record_size = tag_size + 4;

std::uint64_t file_size_of(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) throw ToolError(path + ": no such file");
    if (!fs::is_regular_file(status)) throw ToolError(path + ": not a regular file");
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) throw ToolError(path + ": cannot read the file");
    return size;
}

std::string hex32(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

} // namespace

std::uint32_t find_payload_offset(const std::string& path) {
    const std::uint64_t size = file_size_of(path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path + ": cannot read the file");

    // Read in chunks, keeping the last record_size - 1 bytes so that a record across a chunk
    // boundary is still seen whole.
    std::vector<unsigned char> window;
    std::uint64_t window_start = 0;
    std::vector<char> chunk(1 << 16);
    for (;;) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        window.insert(window.end(), chunk.begin(),
                      chunk.begin() + static_cast<std::ptrdiff_t>(got));
        const auto tag = std::search(window.begin(), window.end(), std::begin(payload_offset_tag),
                                     std::end(payload_offset_tag));
        const auto at = static_cast<std::size_t>(tag - window.begin());
        if (tag != window.end() && at + record_size <= window.size()) {
            const unsigned char* field = window.data() + at + tag_size;
            const std::uint32_t value = static_cast<std::uint32_t>(field[0]) |
                                        static_cast<std::uint32_t>(field[1]) << 8 |
                                        static_cast<std::uint32_t>(field[2]) << 16 |
                                        static_cast<std::uint32_t>(field[3]) << 24;
            const std::uint64_t tag_position = window_start + at;
            if (tag_position + record_size > value || value > size) {
                throw ToolError(path + ": the payload offset stored in the stub (" +
                                std::to_string(value) + ", at byte " +
                                std::to_string(tag_position) + ") does not fit a file of " +
                                std::to_string(size) + " bytes; give it with --offset");
            }
            return value;
        }
        if (got == 0 || !in) break;
        if (window.size() >= record_size) {
            const std::size_t drop = window.size() - (record_size - 1);
            window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(drop));
            window_start += drop;
        }
    }
    throw ToolError(path + ": no payload offset found (the stub holds no payload offset tag); " +
                    "give it with --offset");
}

std::uint32_t payload_offset_of(const std::string& path, std::optional<std::uint32_t> offset) {
    if (!offset) return find_payload_offset(path);
    const std::uint64_t size = file_size_of(path);
    if (*offset > size) {
        throw ToolError(path + ": the payload offset " + std::to_string(*offset) +
                        " lies past the end of the file (" + std::to_string(size) + " bytes)");
    }
    return *offset;
}

Package Package::open(const std::string& path, std::optional<std::uint32_t> offset) {
    Package package;
    package.path_ = path;
    const std::uint64_t size = file_size_of(path);
    if (size > 0xFFFFFFFFu) throw ToolError(path + ": larger than 4 GiB, which no package can be");
    package.payload_offset_ = payload_offset_of(path, offset);
    const std::uint64_t length = size - package.payload_offset_;
    if (length < payload_spare_bytes) {
        throw ToolError(path + ": the payload (" + std::to_string(length) + " bytes from offset " +
                        std::to_string(package.payload_offset_) +
                        ") is shorter than 10 bytes, so the stub would reject it");
    }

    std::uint32_t payload_length = 0;
    package.image_.reset(load_payload(path.c_str(), package.payload_offset_, &payload_length));
    if (!package.image_) throw ToolError(path + ": cannot read the payload");
    package.payload_length_ = payload_length;

    // As extract_entries does first: locate the archive end and put the tail block back into
    // the form in which it is stored.
    unsigned char* image = package.image_.get();
    package.archive_end_ = find_archive_end(image, payload_length);
    restore_tail(image, payload_length, package.archive_end_);

    // find_archive_end stops short of the payload's end only at an end marker. When it reaches
    // the end, the entries themselves say whether an end marker closes them there.
    if (package.archive_end_ < payload_length) {
        package.has_end_marker_ = true;
    } else if (header_id_at(image, payload_length, 0)) {
        std::uint32_t p = 0;
        EntryHeader header;
        while (read_entry_header(image, payload_length, payload_length, p, &header) &&
               entry_follows(image, payload_length, header.next)) {
            p = header.next;
        }
        package.has_end_marker_ =
            read_entry_header(image, payload_length, payload_length, p, &header) &&
            header_id_at(image, payload_length, header.next);
    }
    return package;
}

std::string Package::walk(bool unpack, const Visit& visit) {
    unsigned char* image = image_.get();
    const std::span<const unsigned char> tail_block = tail();
    if (!header_id_at(image, payload_length_, 0)) {
        return "the payload does not begin with an archive entry (header id 0xEA60): not a "
               "package, or a wrong payload offset";
    }
    std::uint32_t p = 0;
    for (int index = 1;; ++index) {
        EntryView entry{index, {}, {}, false};
        if (!read_entry_header(image, payload_length_, archive_end_, p, &entry.header)) {
            if (index == 1 && image[2] == 0 && image[3] == 0) {
                return "the archive holds no entries (it begins with the end marker)";
            }
            return "entry " + std::to_string(index) + " (at payload offset " + std::to_string(p) +
                   "): its header or data run past the end of the archive";
        }
        const int name_length = entry_name_length(image, payload_length_, entry.header);
        if (name_length >= 0) {
            entry.name.assign(reinterpret_cast<const char*>(image + entry.header.name_position),
                              static_cast<std::size_t>(name_length));
            entry.name_terminated = true;
        }

        // Entries after the first get a file named after their base name, before unpacking.
        std::string problem;
        if (index > 1) {
            problem = entry.name_terminated ? base_name_problem(base_name_of(entry.name))
                                            : "its name has no terminating NUL";
        }
        if (!problem.empty() || !unpack) {
            if (visit) visit(entry, nullptr);
            if (!problem.empty()) return describe_entry(entry) + ": " + problem;
        } else {
            if (!unpack_entry(image, entry.header, tail_block.data(),
                              static_cast<std::uint32_t>(tail_block.size()))) {
                if (visit) visit(entry, nullptr);
                return describe_entry(entry) + ": cannot allocate the " +
                       std::to_string(entry.header.unpacked_size) + " bytes it unpacks to";
            }
            const UnpackResult result{
                extract_sink.count, ~extract_sink.crc, sink_matches_crc(entry.header),
                find_stamp_marker(extract_sink.buffer, extract_sink.count) >= 0};
            release_sink();
            if (visit) visit(entry, &result);
            if (!result.crc_matches && result.crc32 == entry.header.crc32) {
                return describe_entry(entry) + ": its data unpack to more than its " +
                       std::to_string(entry.header.unpacked_size) + " bytes";
            }
            if (!result.crc_matches) {
                std::string what = describe_entry(entry) + ": CRC-32 mismatch: the header says " +
                                   hex32(entry.header.crc32) + ", the unpacked bytes give " +
                                   hex32(result.crc32);
                if (entry.header.method > method_fastest) {
                    what += " (method " + std::to_string(entry.header.method) +
                            " is not one the stub unpacks)";
                } else if (result.count != entry.header.unpacked_size) {
                    what += " (unpacked " + std::to_string(result.count) + " of " +
                            std::to_string(entry.header.unpacked_size) + " bytes)";
                }
                return what;
            }
        }
        if (!entry_follows(image, payload_length_, entry.header.next)) return {};
        p = entry.header.next;
    }
}

std::string printable_name(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string describe_entry(const EntryView& entry) {
    std::string text = "entry " + std::to_string(entry.index);
    if (!entry.name_terminated) return text + " (unterminated name)";
    return text + " (" + printable_name(entry.name) + ")";
}

std::string base_name_of(const std::string& name) {
    const char* base = entry_base_name(name.c_str(), static_cast<int>(name.size()));
    return std::string(base, name.c_str() + name.size());
}

std::string base_name_problem(const std::string& base) {
    if (base.empty()) return "its base name is empty (the name ends in a separator)";
    if (base == "." || base == "..") return "its base name \"" + base + "\" names a directory";
    // CreateFileA refuses these in a file name, so the Windows stub could not create the file.
    for (const char c : base) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>\"|?*", c)) {
            return "its base name holds a character that Windows does not allow in file names";
        }
    }
    // The shortest directory a path can start with is a drive root such as "C:\".
    constexpr std::size_t shortest_directory = 3;
    if (shortest_directory + base.size() + 1 > path_buffer_size) {
        return "its base name is " + std::to_string(base.size()) +
               " bytes long, too long for a 260-byte path";
    }
    return {};
}
