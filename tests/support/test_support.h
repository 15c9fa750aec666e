// Helpers shared by the tests: private temporary directories, files, and hand-made archives whose
// every field can be set, damaged ones included.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

using Bytes = std::vector<unsigned char>;

Bytes bytes_of(const std::string& text);
std::uint32_t crc32_of(const Bytes& bytes);

Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The directory with a trailing separator, as the platform's temporary path looks.
    std::string with_separator() const;
    // Names of the files in it, sorted.
    std::vector<std::string> names() const;

  private:
    std::filesystem::path path_;
};

// One archive entry with every field the stub reads; defaults give a valid stored entry.
struct RawEntry {
    std::string name = "file.bin";
    std::uint8_t method = 0;
    std::uint32_t dos_time = 0x5A8B6C2Au; // 2025-04-11 13:33:20
    Bytes packed;
    std::uint32_t unpacked_size = 0;
    std::uint32_t crc32 = 0;
    Bytes extended_header;        // E bytes, with E in the size field
    int basic_size_override = -1; // S as stored, when not computed
    int first_header_size = 30;   // F: where the name starts in the basic header
};

// A valid stored entry for the given bytes.
RawEntry stored(const std::string& name, const Bytes& data);

Bytes entry_bytes(const RawEntry& entry);
Bytes end_marker();
Bytes archive_of(const std::vector<RawEntry>& entries, bool with_end_marker = true);

// The payload as stored in a package: the archive scrambled with the keystream, the tail plain.
Bytes scramble(const Bytes& archive, const Bytes& tail = {});

// The payload image that load_payload would make of a package payload (keystream removed,
// 10 spare bytes after it, filled with a pattern that must never be read as data).
Bytes image_of(const Bytes& payload);

// DOS date and time in one value, high half the date.
std::uint32_t dos_time(int year, int month, int day, int hour, int minute, int second);

} // namespace test
