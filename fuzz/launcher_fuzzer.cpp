// libFuzzer target over the whole launcher run, on the memory platform.
//
// The input is a payload as stored in a package; it is put behind a stub of payload_offset bytes
// into "/mem/package.exe", and WinMain runs as the stub would: the temporary directory is
// "/mem/tmp/", the clock is the memory platform's (the two-second rule costs nothing), the child
// is recorded instead of run. Depending on the input's hash, "setup.exe" is already taken (so the
// generated names are tried) and the clock starts near its wrap.
//
// Afterwards the harness insists on what every run must give:
//   - at most one message box, with one of the two texts, the unpack failure naming the package;
//   - a child started exactly when no box was shown, under a path in the temporary directory with
//     the directory (without its trailing '/') as current directory;
//   - no handle left open, no file left in the temporary directory but what was there before
//     (unchanged, unless an entry replaced it), nothing outside it changed, and no call that real
//     Windows would refuse (see extract_fuzzer.cpp).
// A second pass makes one of the file calls fail; the same guarantees hold.
#include "archive/entry_walk.h"
#include "archive/output_files.h"
#include "launcher/win_main.h"
#include "payload/keystream.h"
#include "payload/payload_offset.h"
#include "platform/memory/memory_platform.h"

constexpr const char* fuzz_target_name = "launcher_fuzzer";
#include "fuzz/fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char package_path[] = "/mem/package.exe";
const char temp_path[] = "/mem/tmp/";
const char taken_path[] = "/mem/tmp/setup.exe"; // left by an earlier run, when the hash says so
const char outsider_path[] = "/mem/other.txt";
const unsigned char taken_bytes[] = "an earlier run's setup program";
const unsigned char outsider_bytes[] = "outside the temporary directory";
const char creation_failed[] = "Unable to create a temporary file.";
const char unpack_failed[] = "Unable to unpack files. The file\n/mem/package.exe\nmay be damaged. "
                             "Try to download again.";

// Largest unpacked size of the entries as the walk meets them (inputs with a large one that can
// still be allocated are passed over, as in extract_fuzzer.cpp).
std::uint32_t largest_entry(const std::uint8_t* data, std::size_t size) {
    if (size < 10) return 0;
    auto* image = static_cast<unsigned char*>(std::malloc(size + 10));
    CHECK(image);
    std::memcpy(image, data, size);
    const auto length = static_cast<std::uint32_t>(size);
    apply_keystream(image, length);
    std::uint32_t unpacked[200];
    const int count = walk_unpacked_sizes(image, length, unpacked, 200);
    std::free(image);
    std::uint32_t largest = 0;
    for (int i = 0; i < count; ++i) {
        if (unpacked[i] > largest) largest = unpacked[i];
    }
    return largest;
}

struct RunResult {
    int calls;
};

RunResult run_once(const std::uint8_t* data, std::size_t size, std::uint32_t hash, int fault_call,
                   MemoryFaultMode fault_mode) {
    memory_reset();
    CHECK(memory_add_directory("/mem"));
    CHECK(memory_add_directory("/mem/tmp"));
    reset_window();
    const std::uint32_t offset = *payload_offset_field();
    auto* package = static_cast<unsigned char*>(std::malloc(offset + size));
    CHECK(package);
    std::memset(package, 'S', offset);
    if (size) std::memcpy(package + offset, data, size);
    CHECK(memory_put_file(package_path, package, static_cast<std::uint32_t>(offset + size)));
    std::free(package);
    CHECK(memory_put_file(outsider_path, outsider_bytes, sizeof outsider_bytes));
    const bool taken = hash & 1;
    if (taken) CHECK(memory_put_file(taken_path, taken_bytes, sizeof taken_bytes));
    memory_ticks = (hash & 2) ? 0xFFFFFFFFu - (hash >> 20) : hash;
    memory_set_module_path(package_path);
    memory_set_temp_path(temp_path);
    memory_set_process_result(TRUE);
    output_handle = INVALID_HANDLE_VALUE;

    if (fault_call > 0) memory_plan_fault(fault_call, fault_mode);
    const int result = WinMain(nullptr, nullptr, nullptr, 0);
    CHECK(result == 0);

    CHECK(memory_messages_shown <= 1);
    if (memory_messages_shown == 1) {
        CHECK(std::strcmp(memory_message_text, creation_failed) == 0 ||
              std::strcmp(memory_message_text, unpack_failed) == 0);
        CHECK(memory_processes_started == 0);
    } else {
        CHECK(memory_processes_started == 1);
        CHECK(std::strncmp(memory_started_application, temp_path, sizeof temp_path - 1) == 0);
        CHECK(std::strchr(memory_started_application + sizeof temp_path - 1, '/') == nullptr);
        CHECK(std::strcmp(memory_started_directory, "/mem/tmp") == 0);
        CHECK(memory_slept <= 2000);
    }

    CHECK(output_handle == INVALID_HANDLE_VALUE);
    CHECK(created_files == nullptr);
    CHECK(memory_open_handle_count() == 0);
    CHECK(memory_stats.open_conflicts == 0);
    CHECK(memory_stats.deletes_while_open == 0);
    CHECK(memory_stats.bad_handle_calls == 0);
    CHECK(memory_find_file(package_path) != nullptr);
    CHECK(same_bytes(memory_find_file(outsider_path), outsider_bytes, sizeof outsider_bytes));
    bool taken_replaced = false;
    for (int i = 0; i < memory_open_log_count; ++i) {
        if (std::strcmp(memory_open_log[i].requested, taken_path) == 0 &&
            memory_open_log[i].disposition == CREATE_ALWAYS)
            taken_replaced = true;
    }
    const MemoryFile* left = memory_find_file(taken_path);
    if (taken && !taken_replaced) {
        CHECK(same_bytes(left, taken_bytes, sizeof taken_bytes));
    } else {
        CHECK(left == nullptr);
    }
    for (int i = 0; i < memory_file_limit; ++i) {
        const MemoryFile& file = memory_files[i];
        if (!file.used) continue;
        CHECK(file.linked);
        CHECK(std::strcmp(file.path, package_path) == 0 ||
              std::strcmp(file.path, outsider_path) == 0 ||
              (taken && !taken_replaced && std::strcmp(file.path, taken_path) == 0));
    }
    const RunResult run = {memory_stats.fallible_calls};
    memory_reset();
    return run;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 0xFFFF0000u - 65536u) return -1;
    const std::uint32_t largest = largest_entry(data, size);
    if (largest > (1u << 20) && largest <= (64u << 20)) return -1;
    const std::uint32_t hash = hash_of(data, size);
    const RunResult clean = run_once(data, size, hash, 0, memory_fault_fail);
    if (clean.calls > 0) {
        const int call =
            1 + static_cast<int>((hash >> 3) % static_cast<std::uint32_t>(clean.calls));
        run_once(data, size, hash, call,
                 (hash >> 16) & 1 ? memory_fault_short_transfer : memory_fault_fail);
    }
    return 0;
}

// Mutation on the plain payload (see fuzz_support.h).
extern "C" size_t LLVMFuzzerCustomMutator(std::uint8_t* data, size_t size, size_t max_size,
                                          unsigned int) {
    return mutate_plain_payload(data, size, max_size);
}
