// libFuzzer target over the stub's whole unpacking path, on the memory platform.
//
// The input is a payload as it is stored in a package: the archive scrambled with the keystream,
// the tail block plain. It is put behind a 16-byte stub into a package file in memory; the run
// then does what the launcher does around extraction: temp_dir is "/mem/tmp/", the temporary
// program file is created there with CREATE_NEW and left in output_handle, load_payload reads the
// package, extract_entries walks, decodes and stamps every entry into files, and the clean-up
// closes output_handle and deletes the program file and every file on created_files.
//
// Afterwards the harness insists on what must hold for any input:
//   - no byte of the 10 spare bytes behind the payload is read (they are poisoned for ASan);
//   - every file extraction creates is temp_dir plus a plain name, made with CREATE_ALWAYS,
//     listed on created_files (newest first), written once from its start with no more bytes
//     than its entry's unpacked size, one write per entry walked, in walk order;
//   - success means every entry walked was written;
//   - the sink's buffer is released; at most output_handle is open, and nothing after clean-up;
//   - nothing outside temp_dir changes, no file is left in temp_dir but a bystander that no entry
//     named, and no call is made that real Windows would refuse (a second handle on a file, the
//     deletion of an open file, a call on a handle that is not open).
// A second pass over the same input makes one of the file calls fail (chosen from the input's
// hash): then the run must not report success, and the same clean-up guarantees hold.
//
// Mutation happens on the plain payload (see fuzz_support.h).
#include "archive/entry_walk.h"
#include "archive/extract_entries.h"
#include "archive/extract_sink.h"
#include "archive/output_files.h"
#include "payload/keystream.h"
#include "payload/load_payload.h"
#include "platform/memory/memory_platform.h"

constexpr const char* fuzz_target_name = "extract_fuzzer";
#include "fuzz/fuzz_support.h"

#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Inputs with an entry of more than 1 MiB that could still be allocated (see largest_allocation
// in fuzz_support.h) are passed over, to keep every run short.
constexpr std::uint32_t largest_decoded_size = 1u << 20;

namespace {

constexpr std::uint32_t stub_size = 16;
const char package_path[] = "/mem/package.exe";
const char temp_path[] = "/mem/tmp/";
const char temp_directory[] = "/mem/tmp";
const char target_path[] = "/mem/tmp/setup.exe";
const char bystander_path[] = "/mem/tmp/keep.txt"; // an unrelated file an entry may replace
const char outsider_path[] = "/mem/other.txt";     // must never change
const unsigned char bystander_bytes[] = "left by someone else";
const unsigned char outsider_bytes[] = "outside the temporary directory";

constexpr int walk_limit = 200; // entries followed by the harness's own walk

// EXTRACT_FUZZER_VERBOSE=1 prints what each run did (for looking at seeds and findings).
const bool verbose = std::getenv("EXTRACT_FUZZER_VERBOSE") != nullptr;

// A plain name, as extraction must put below temp_dir: no separator, not empty, "." or "..".
bool plain_name(const char* name) {
    if (!*name || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    return std::strchr(name, '/') == nullptr;
}

struct RunResult {
    bool skipped; // an entry too large to decode quickly but not too large to allocate
    bool loaded;
    int extracted;
    int load_calls; // fallible file calls made by loading
    int calls;      // fallible file calls made by loading and extraction
};

RunResult run_once(const std::uint8_t* data, std::size_t size, int fault_call,
                   MemoryFaultMode fault_mode) {
    memory_reset();
    CHECK(memory_add_directory("/mem"));
    CHECK(memory_add_directory(temp_directory));
    reset_window();

    // The package: a stub of stub_size bytes, then the payload.
    auto* package = static_cast<unsigned char*>(std::malloc(stub_size + size));
    CHECK(package);
    std::memset(package, 'S', stub_size);
    if (size) std::memcpy(package + stub_size, data, size);
    CHECK(memory_put_file(package_path, package, static_cast<std::uint32_t>(stub_size + size)));
    std::free(package);
    CHECK(memory_put_file(bystander_path, bystander_bytes, sizeof bystander_bytes));
    CHECK(memory_put_file(outsider_path, outsider_bytes, sizeof outsider_bytes));

    lstrcpyA(temp_dir, temp_path);
    output_handle = CreateFileA(target_path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_ARCHIVE, nullptr);
    CHECK(output_handle != INVALID_HANDLE_VALUE);
    const int target_file = memory_handle_file(output_handle);
    const int calls_before = memory_stats.fallible_calls;
    if (fault_call > 0) memory_plan_fault(fault_call, fault_mode);

    RunResult result = {false, false, 0, 0, 0};
    std::uint32_t length = 0;
    unsigned char* image = load_payload(package_path, stub_size, &length);
    const int opens_before = memory_open_log_count; // the opens that follow are extraction's
    result.load_calls = memory_stats.fallible_calls - calls_before;
    std::uint32_t unpacked[walk_limit];
    int walked = 0;
    if (image) {
        result.loaded = true;
        CHECK(length == size && length >= 10);
        ASAN_POISON_MEMORY_REGION(image + length, 10);
        walked = walk_unpacked_sizes(image, length, unpacked, walk_limit);
        for (int i = 0; i < walked; ++i) {
            if (unpacked[i] > largest_decoded_size && unpacked[i] <= largest_allocation)
                result.skipped = true;
        }
        if (!result.skipped) result.extracted = extract_entries(image, length);
        CHECK(result.extracted == 0 || result.extracted == 1);
    } else {
        CHECK(size < 10 || memory_stats.fault_hit);
    }
    result.calls = memory_stats.fallible_calls - calls_before;

    // What extraction leaves for the launcher.
    CHECK(extract_sink.buffer == nullptr);
    if (output_handle != INVALID_HANDLE_VALUE) {
        CHECK(memory_handle_file(output_handle) >= 0);
        CHECK(memory_open_handle_count() == 1);
    } else {
        CHECK(memory_open_handle_count() == 0);
    }
    if (fault_call > 0 && memory_stats.fault_hit) CHECK(result.extracted == 0);

    // Every file made for a later entry: a plain name in temp_dir, listed, newest first.
    const int opens = memory_open_log_count - opens_before;
    const bool logs_complete = memory_open_log_count < memory_log_limit &&
                               memory_write_log_count < memory_log_limit && walked < walk_limit;
    int listed = 0;
    for (const CreatedFile* node = created_files; node; node = node->next) ++listed;
    if (logs_complete) CHECK(listed == opens);
    const CreatedFile* node = created_files;
    for (int i = memory_open_log_count - 1; i >= opens_before && node; --i, node = node->next) {
        const MemoryOpenRecord& open = memory_open_log[i];
        CHECK(open.disposition == CREATE_ALWAYS);
        CHECK(std::strncmp(open.requested, temp_path, sizeof temp_path - 1) == 0);
        CHECK(plain_name(open.requested + sizeof temp_path - 1));
        CHECK(std::strcmp(node->path, open.requested) == 0);
    }

    // One write per entry, in walk order, each into its entry's file from the start.
    if (logs_complete && image) {
        CHECK(memory_write_log_count <= walked);
        CHECK(opens <= walked - 1 || walked == 0);
        for (int i = 0; i < memory_write_log_count; ++i) {
            const MemoryWriteRecord& write = memory_write_log[i];
            CHECK(write.position == 0);
            CHECK(write.requested <= unpacked[i]);
            CHECK(i == 0 || i - 1 < opens);
            const int expected_file =
                i == 0 ? target_file : memory_open_log[opens_before + i - 1].file;
            CHECK(write.file == expected_file);
        }
        if (result.extracted == 1) CHECK(walked >= 1 && memory_write_log_count == walked);
    }

    if (verbose) {
        std::fprintf(stderr,
                     "extract_fuzzer: %zu bytes, fault %d: loaded %d, extracted %d, %d "
                     "entries walked, %d files made, %d writes\n",
                     size, fault_call, result.loaded ? 1 : 0, result.extracted, walked, opens,
                     memory_write_log_count);
    }

    // The launcher's clean-up.
    if (image) {
        ASAN_UNPOISON_MEMORY_REGION(image + length, 10);
        std::free(image);
    }
    if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
    output_handle = INVALID_HANDLE_VALUE;
    DeleteFileA(target_path);
    delete_created_files();

    // Nothing left behind, nothing outside touched, nothing Windows would refuse.
    CHECK(memory_open_handle_count() == 0);
    CHECK(created_files == nullptr);
    CHECK(memory_stats.open_conflicts == 0);
    CHECK(memory_stats.deletes_while_open == 0);
    CHECK(memory_stats.bad_handle_calls == 0);
    CHECK(memory_find_file(package_path) != nullptr);
    CHECK(same_bytes(memory_find_file(outsider_path), outsider_bytes, sizeof outsider_bytes));
    bool bystander_named = false;
    for (int i = opens_before; i < memory_open_log_count; ++i) {
        if (std::strcmp(memory_open_log[i].requested, bystander_path) == 0) bystander_named = true;
    }
    const MemoryFile* bystander = memory_find_file(bystander_path);
    if (!bystander_named || bystander) {
        CHECK(same_bytes(bystander, bystander_bytes, sizeof bystander_bytes));
    }
    for (int i = 0; i < memory_file_limit; ++i) {
        const MemoryFile& file = memory_files[i];
        if (!file.used) continue;
        CHECK(file.linked);
        CHECK(std::strcmp(file.path, package_path) == 0 ||
              std::strcmp(file.path, outsider_path) == 0 ||
              std::strcmp(file.path, bystander_path) == 0);
    }
    memory_reset();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFF0000u) return -1;
    const RunResult clean = run_once(data, size, 0, memory_fault_fail);
    if (clean.skipped) return -1;
    if (clean.calls > 0) {
        // Three faults in four fall on extraction's calls when it makes any.
        const std::uint32_t hash = hash_of(data, size);
        const int extraction_calls = clean.calls - clean.load_calls;
        const bool in_extraction = extraction_calls > 0 && (hash >> 24) % 4 != 0;
        const int call =
            in_extraction
                ? clean.load_calls + 1 +
                      static_cast<int>(hash % static_cast<std::uint32_t>(extraction_calls))
                : 1 + static_cast<int>(hash % static_cast<std::uint32_t>(clean.load_calls));
        run_once(data, size, call,
                 (hash >> 16) & 1 ? memory_fault_short_transfer : memory_fault_fail);
    }
    return 0;
}

extern "C" size_t LLVMFuzzerCustomMutator(std::uint8_t* data, size_t size, size_t max_size,
                                          unsigned int) {
    return mutate_plain_payload(data, size, max_size);
}
