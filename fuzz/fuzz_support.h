// What both fuzz targets share: the allocator limit, the invariant check, the Window as a fresh
// process has it, the walk that finds the entries extraction will meet, the input's hash that
// picks a run's variations, and the mutation of the plain payload.
#pragma once

#include "archive/entry_walk.h"
#include "decode/window.h"
#include "payload/keystream.h"
#include "platform/memory/memory_platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

// Allocations above 64 MiB fail, so that the sink of a larger unpacked size cannot be had (which
// extraction must survive) and no input makes a run decode gigabytes.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=64";
}
constexpr std::uint32_t largest_allocation = 64u << 20;

// The Window as at the start of a process: every run begins like a fresh launcher.
inline void reset_window() {
    std::memset(window, 0, sizeof window);
}

// Each target names itself in fuzz_target_name before including this header.
[[noreturn]] inline void invariant_broken(const char* target, const char* what, int line) {
    std::fprintf(stderr, "%s: invariant broken at line %d: %s\n", target, line, what);
    std::abort();
}

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) invariant_broken(fuzz_target_name, #condition, __LINE__);                \
    } while (0)

inline bool same_bytes(const MemoryFile* file, const unsigned char* bytes, std::size_t size) {
    return file && file->size == size && (size == 0 || std::memcmp(file->bytes, bytes, size) == 0);
}

// The unpacked sizes of the entries extract_entries will meet, in order, by the same rules; at
// most limit of them. Returns how many there are.
inline int walk_unpacked_sizes(const unsigned char* image, std::uint32_t length,
                               std::uint32_t* unpacked, int limit) {
    const std::uint32_t archive_end = find_archive_end(image, length);
    if (archive_end > length) invariant_broken("walk", "archive_end <= length", __LINE__);
    if (!header_id_at(image, length, 0)) return 0;
    int count = 0;
    std::uint32_t p = 0;
    while (count < limit) {
        EntryHeader header;
        if (!read_entry_header(image, length, archive_end, p, &header)) break;
        if (header.next <= p || header.next > archive_end) {
            invariant_broken("walk", "the walk moves forward within the archive", __LINE__);
        }
        unpacked[count++] = header.unpacked_size;
        if (!entry_follows(image, length, header.next)) break;
        p = header.next;
    }
    return count;
}

// FNV-1a of the input: picks the fault, the clock and the taken names of a run.
inline std::uint32_t hash_of(const std::uint8_t* data, std::size_t size) {
    std::uint32_t hash = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

// Mutation happens on the plain payload (keystream removed), so that libFuzzer's insertions and
// its compare-guided values keep the archive's structure; the result is scrambled again.
inline size_t mutate_plain_payload(std::uint8_t* data, size_t size, size_t max_size) {
    auto length = static_cast<std::uint32_t>(size);
    apply_keystream(data, length);
    restore_tail(data, length, find_archive_end(data, length));
    const size_t mutated = LLVMFuzzerMutate(data, size, max_size);
    length = static_cast<std::uint32_t>(mutated);
    apply_keystream(data, find_archive_end(data, length));
    return mutated;
}
