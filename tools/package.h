// Reading a package for inspection: its payload offset (from the tag in the stub, or given), the
// payload image exactly as the stub loads it, the archive end and the tail block, and a walk over
// the entries that applies the stub's own rules and unpacks with the stub's own code.
#pragma once

#include "archive/entry_walk.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

// Where the payload begins: the 4-byte little-endian value behind the first payload offset tag
// in the file, when it is plausible (the tag lies before the offset, the offset is at most the
// file size). Works for any stub, PE or ELF. Throws ToolError naming the file when there is no
// tag or its value is implausible.
std::uint32_t find_payload_offset(const std::string& path);

// The payload offset to use: the one given (--offset) or the one the stub holds; ToolError when
// it lies past the end of the file.
std::uint32_t payload_offset_of(const std::string& path, std::optional<std::uint32_t> offset);

// One entry as the walk met it.
struct EntryView {
    int index; // 1 for the first entry
    EntryHeader header;
    std::string name; // the stored name's bytes (empty when it has no NUL in the payload)
    bool name_terminated;
};

// What unpacking one entry gave.
struct UnpackResult {
    std::uint32_t count;     // bytes the entry unpacked to
    std::uint32_t crc32;     // CRC-32 of every byte offered, before stamping
    bool crc_matches;        // the entry counts as good
    bool holds_stamp_marker; // in the unpacked bytes, where the stub would stamp it
};

class Package {
  public:
    // Loads the payload of the package at path (ToolError when it cannot), with the keystream
    // removed from the archive and the tail block as stored in the file.
    static Package open(const std::string& path, std::optional<std::uint32_t> offset);

    const std::string& path() const { return path_; }
    std::uint32_t payload_offset() const { return payload_offset_; }
    std::uint32_t payload_length() const { return payload_length_; }
    std::uint32_t archive_end() const { return archive_end_; }
    bool has_end_marker() const { return has_end_marker_; }
    std::span<const unsigned char> tail() const {
        return {image_.get() + archive_end_, payload_length_ - archive_end_};
    }
    unsigned char* image() { return image_.get(); }

    // Walks the entries by the stub's rules, in the stub's order (header, later entries' base
    // names, unpacking, CRC-32). Calls visit once for each entry whose header is readable, with
    // the unpack result when the entry was unpacked (null when unpack is off or the entry failed
    // before unpacking). Returns the first reason the stub would reject the archive, or an empty
    // string when it would accept it. Without unpacking only the headers and names are checked.
    using Visit = std::function<void(const EntryView&, const UnpackResult*)>;
    std::string walk(bool unpack, const Visit& visit = {});

    // A ToolError message about this package: "<path>: <what>".
    std::string message(const std::string& what) const { return path_ + ": " + what; }

  private:
    struct Free {
        void operator()(unsigned char* p) const { std::free(p); }
    };
    std::string path_;
    std::uint32_t payload_offset_ = 0;
    std::uint32_t payload_length_ = 0;
    std::uint32_t archive_end_ = 0;
    bool has_end_marker_ = false;
    std::unique_ptr<unsigned char, Free> image_;
};

// The entry's name for messages: "entry 2 (readme.txt)", control bytes escaped.
std::string describe_entry(const EntryView& entry);

// A name with bytes below 0x20 and 0x7F written as \xNN, so that it prints as one safe line.
std::string printable_name(const std::string& name);

// The base name (after the last '\' or '/') the stub gives a later entry's file.
std::string base_name_of(const std::string& name);

// Why the stub could not create a file for this base name (empty, ".", "..", a character that
// Windows refuses in file names, too long for any path), or an empty string when it could.
std::string base_name_problem(const std::string& base);
