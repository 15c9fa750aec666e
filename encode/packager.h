// Building a package: the stub, then the archive (one entry per input, SETUP first, closed by the
// end marker) scrambled with the keystream, then the tail block stored plain.
//
// Everything that can be refused is checked before the output is touched: the stub, every input
// (readable regular file, at most 4 GiB - 1 bytes, a base name the format and Windows can carry,
// no two base names alike), the tail. The package is written to a temporary file in the output's
// directory and renamed over the output only when it is complete; on any failure the temporary
// file is removed and the output is left as it was. The same inputs, times and options give the
// same bytes.
#pragma once

#include "encode/compress.h"

#include "archive/format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

// A refusal or failure, as one line: "<file>: <what is wrong>".
struct PackageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The method of every entry: a fixed one, or the smaller of the block format and stored per file.
constexpr int method_auto = -1;

// Progress of the entry being packed: its name, the input bytes done and its size.
using PackProgress =
    std::function<void(const std::string& name, std::uint64_t done, std::uint64_t total)>;

// A warning about the package being built, as one line of text (the package is still written).
using PackWarning = std::function<void(const std::string& message)>;

// The launcher makes a later entry's file as the temporary directory's path plus the name, which
// must fit 259 bytes. A name of this many bytes or more leaves less than 100 bytes for the
// directory, which some machines' temporary directories exceed; pack warns about such names.
constexpr std::size_t long_entry_name = path_buffer_size - 100;

struct PackRequest {
    std::filesystem::path output;
    std::span<const unsigned char> stub;       // the stub's bytes
    std::string stub_name;                     // for messages
    std::vector<std::filesystem::path> inputs; // SETUP first
    int method = method_auto;                  // method_auto or 0 to 4
    std::optional<Effort> level;               // when not given: the method's own effort
    std::optional<std::filesystem::path> tail;
    std::optional<std::int64_t> time_limit; // latest modification time stored (SOURCE_DATE_EPOCH)
    PackProgress progress;
    PackWarning warn;
};

struct PackedEntry {
    std::string name;
    int method;
    std::uint64_t size;
    std::uint64_t packed_size;
};

struct PackSummary {
    std::vector<PackedEntry> entries;
    std::uint64_t stub_size = 0;
    std::uint64_t archive_size = 0; // entries and end marker
    std::uint64_t tail_size = 0;
    std::uint64_t package_size = 0;
};

// Builds the package; throws PackageError.
PackSummary pack_package(const PackRequest& request);

// Refuses a stub that does not hold the payload offset tag with its own size behind it.
void check_stub(std::span<const unsigned char> stub, const std::string& name);

// The time limit from SOURCE_DATE_EPOCH, when set; PackageError when it is not a number.
std::optional<std::int64_t> source_date_epoch();

// The method and effort an entry is packed with under the request's choice: for method_auto the
// block method of the level (best 1, normal 2, fast 3; normal by default).
int block_method_for(std::optional<Effort> level);
Effort effort_for(int method, std::optional<Effort> level);
