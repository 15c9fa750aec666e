#include "tests/support/test_support.h"

#include "payload/keystream.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

namespace test {

namespace fs = std::filesystem;

Bytes bytes_of(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::uint32_t crc32_of(const Bytes& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate =
            fs::temp_directory_path() / ("sfxkit-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

std::string TempDir::with_separator() const {
    return path_.string() + static_cast<char>(fs::path::preferred_separator);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(path_))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

namespace {
void put_u16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}
void put_u32(Bytes& out, std::uint32_t value) {
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}
} // namespace

RawEntry stored(const std::string& name, const Bytes& data) {
    RawEntry entry;
    entry.name = name;
    entry.packed = data;
    entry.unpacked_size = static_cast<std::uint32_t>(data.size());
    entry.crc32 = crc32_of(data);
    return entry;
}

Bytes entry_bytes(const RawEntry& entry) {
    Bytes basic;
    basic.push_back(static_cast<unsigned char>(entry.first_header_size));
    basic.push_back(11); // archiver version
    basic.push_back(1);  // minimum version
    basic.push_back(0);  // host OS
    basic.push_back(0);  // flags
    basic.push_back(entry.method);
    basic.push_back(0); // file type
    basic.push_back(0); // reserved
    put_u32(basic, entry.dos_time);
    put_u32(basic, static_cast<std::uint32_t>(entry.packed.size()));
    put_u32(basic, entry.unpacked_size);
    put_u32(basic, entry.crc32);
    put_u16(basic, 0);    // position of the base name within the name
    put_u16(basic, 0x20); // access mode
    put_u16(basic, 0);    // host data
    while (basic.size() < static_cast<std::size_t>(entry.first_header_size)) basic.push_back(0);
    basic.insert(basic.end(), entry.name.begin(), entry.name.end());
    basic.push_back(0); // name NUL
    basic.push_back(0); // empty comment

    Bytes out;
    put_u16(out, 0xEA60);
    put_u16(out, entry.basic_size_override >= 0
                     ? static_cast<std::uint32_t>(entry.basic_size_override)
                     : static_cast<std::uint32_t>(basic.size()));
    out.insert(out.end(), basic.begin(), basic.end());
    put_u32(out, crc32_of(basic));
    put_u16(out, static_cast<std::uint32_t>(entry.extended_header.size()));
    out.insert(out.end(), entry.extended_header.begin(), entry.extended_header.end());
    out.insert(out.end(), entry.packed.begin(), entry.packed.end());
    return out;
}

Bytes end_marker() {
    return Bytes{0x60, 0xEA, 0x00, 0x00};
}

Bytes archive_of(const std::vector<RawEntry>& entries, bool with_end_marker) {
    Bytes out;
    for (const RawEntry& entry : entries) {
        const Bytes bytes = entry_bytes(entry);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    if (with_end_marker) {
        const Bytes marker = end_marker();
        out.insert(out.end(), marker.begin(), marker.end());
    }
    return out;
}

Bytes scramble(const Bytes& archive, const Bytes& tail) {
    Bytes payload = archive;
    apply_keystream(payload.data(), static_cast<std::uint32_t>(payload.size()));
    payload.insert(payload.end(), tail.begin(), tail.end());
    return payload;
}

Bytes image_of(const Bytes& payload) {
    Bytes image = payload;
    apply_keystream(image.data(), static_cast<std::uint32_t>(image.size()));
    // Spare bytes that look like an entry: a correct walk never takes them for one.
    const unsigned char spare[10] = {0x60, 0xEA, 0x60, 0xEA, 0x05, 0x00, 0x60, 0xEA, 0x00, 0x00};
    image.insert(image.end(), spare, spare + 10);
    return image;
}

std::uint32_t dos_time(int year, int month, int day, int hour, int minute, int second) {
    const auto date = static_cast<std::uint32_t>((year - 1980) << 9 | month << 5 | day);
    const auto time = static_cast<std::uint32_t>(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

} // namespace test
