// Shared by the benchmarks: unpacking through the stub's own path (unpack_entry over a packed
// buffer, as extraction does it), zlib level 9 for comparison, and the sample inputs.
#pragma once

#include "archive/entry_walk.h"
#include "archive/extract_sink.h"
#include "archive/unpack_entry.h"
#include "tests/encode/sample_data.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

using Bytes = std::vector<unsigned char>;

inline std::uint32_t crc32_of(std::span<const unsigned char> data) {
    return static_cast<std::uint32_t>(::crc32(0L, data.data(), static_cast<uInt>(data.size())));
}

// Unpacks packed data of the method with the stub's decoders; true when the CRC-32 matches.
inline bool stub_unpack(const Bytes& packed, int method, std::uint32_t unpacked_size,
                        std::uint32_t crc) {
    EntryHeader header{};
    header.method = static_cast<std::uint8_t>(method);
    header.packed_size = static_cast<std::uint32_t>(packed.size());
    header.unpacked_size = unpacked_size;
    header.crc32 = crc;
    header.packed_start = 0;
    if (!unpack_entry(packed.data(), header, nullptr, 0)) return false;
    const bool good = sink_matches_crc(header) && extract_sink.count == unpacked_size;
    release_sink();
    return good;
}

inline Bytes zlib9_compress(std::span<const unsigned char> data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9) != Z_OK)
        throw std::runtime_error("zlib compress2 failed");
    out.resize(size);
    return out;
}

inline bool zlib_inflate(const Bytes& packed, Bytes& out) {
    uLongf size = static_cast<uLongf>(out.size());
    return uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size())) ==
               Z_OK &&
           size == out.size();
}

inline Bytes read_whole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// About size bytes of real files of the machine, concatenated in name order (text: the
// uncompressed documentation; binary: programs), or generated data when there are too few.
inline Bytes machine_sample(bool text, std::size_t size) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    const fs::path root = text ? "/usr/share/doc" : "/usr/bin";
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (!it->is_regular_file(error) || it->is_symlink(error)) continue;
        const auto name = it->path().filename().string();
        if (text && (name.ends_with(".gz") || name.ends_with(".png") || name.ends_with(".jpg")))
            continue;
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    Bytes out;
    for (const auto& file : files) {
        if (out.size() >= size) break;
        const Bytes bytes = read_whole(file);
        if (bytes.size() > size / 4) continue; // no single file dominates the sample
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    if (out.size() < size) return text ? sample::text_like(size, 1) : sample::binary_like(size, 2);
    out.resize(size);
    return out;
}

} // namespace bench
