// Shared by the pack tests: a stand-in stub that holds its own size as its payload offset, input
// files with set modification times, and a reader that takes a package apart field by field
// without the packager's code (keystream removed here, entries walked by their sizes).
#pragma once

#include "payload/keystream.h"
#include "payload/payload_offset.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pack_test {

using test::Bytes;
namespace fs = std::filesystem;

inline std::uint32_t u16_at(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::uint32_t u32_at(const Bytes& b, std::size_t at) {
    return u16_at(b, at) | u16_at(b, at + 2) << 16;
}

// A stub of size bytes: some filler, the payload offset tag and its own size behind it.
inline Bytes fake_stub(std::uint32_t size = 4096) {
    Bytes stub(size, 0xCC);
    stub[0] = 'M';
    stub[1] = 'Z';
    std::copy(std::begin(payload_offset_tag), std::end(payload_offset_tag), stub.begin() + 100);
    for (int i = 0; i < 4; ++i) stub[108 + i] = static_cast<unsigned char>(size >> (8 * i));
    return stub;
}

// Seconds since 1970 of a UTC civil time.
inline std::int64_t utc_seconds(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                       std::chrono::day(static_cast<unsigned>(day))};
    return date.time_since_epoch() / seconds(1) + hour * 3600 + minute * 60 + second;
}

inline void set_mtime(const fs::path& path, std::int64_t seconds) {
    using namespace std::chrono;
    const sys_seconds when{std::chrono::seconds(seconds)};
    fs::last_write_time(path, file_clock::from_sys(when));
}

inline fs::path make_file(const fs::path& path, const Bytes& bytes,
                          std::int64_t mtime = utc_seconds(2024, 3, 9, 17, 45, 22)) {
    test::write_file(path, bytes);
    set_mtime(path, mtime);
    return path;
}

// Bytes that compress somewhat: text-like runs with some noise.
inline Bytes sample_data(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed;
    const std::string words[] = {"setup ", "package ", "file ", "the ", "data\n", "Windows "};
    std::size_t i = 0;
    while (i < size) {
        state = state * 1103515245u + 12345u;
        if ((state >> 16) % 7 == 0) {
            bytes[i++] = static_cast<unsigned char>(state >> 24);
            continue;
        }
        for (char c : words[(state >> 16) % 6]) {
            if (i == size) break;
            bytes[i++] = static_cast<unsigned char>(c);
        }
    }
    return bytes;
}

inline Bytes noise_data(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

struct ParsedEntry {
    Bytes basic; // the S basic header bytes
    std::uint32_t header_crc;
    std::uint32_t extended_size;
    Bytes packed;
};

struct ParsedPackage {
    Bytes stub;
    std::vector<ParsedEntry> entries;
    bool end_marker = false;
    Bytes tail; // as stored in the file
};

// Takes a package apart: the keystream removed over the whole payload, entries walked from the
// start by their S, E and P up to the end marker; the tail is what follows, from the file itself.
inline ParsedPackage parse_package(const Bytes& file, std::size_t stub_size) {
    ParsedPackage parsed;
    parsed.stub.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(stub_size));
    Bytes plain(file.begin() + static_cast<std::ptrdiff_t>(stub_size), file.end());
    apply_keystream(plain.data(), static_cast<std::uint32_t>(plain.size()));
    std::size_t p = 0;
    while (p + 4 <= plain.size() && u16_at(plain, p) == 0xEA60) {
        const std::uint32_t s = u16_at(plain, p + 2);
        if (s == 0) {
            parsed.end_marker = true;
            p += 4;
            break;
        }
        ParsedEntry entry;
        entry.basic.assign(plain.begin() + static_cast<std::ptrdiff_t>(p + 4),
                           plain.begin() + static_cast<std::ptrdiff_t>(p + 4 + s));
        entry.header_crc = u32_at(plain, p + 4 + s);
        entry.extended_size = u16_at(plain, p + 8 + s);
        const std::size_t start = p + 10 + s + entry.extended_size;
        const std::size_t packed = u32_at(entry.basic, 12);
        entry.packed.assign(plain.begin() + static_cast<std::ptrdiff_t>(start),
                            plain.begin() + static_cast<std::ptrdiff_t>(start + packed));
        parsed.entries.push_back(std::move(entry));
        p = start + packed;
    }
    parsed.tail.assign(file.begin() + static_cast<std::ptrdiff_t>(stub_size + p), file.end());
    return parsed;
}

} // namespace pack_test
