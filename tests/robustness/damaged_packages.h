// Damaged packages for the robustness suites: a good payload made with the test support and the
// encoders (stored entries, methods 1, 2 and 4, a tail block stamped into two files), and tables
// of cases derived from it: truncations at many lengths, flipped bits in headers and packed data,
// sizes near 2^32 in every size field, hostile names and unknown methods. Each case says what the
// stub must make of it: fail, succeed, or either (the suites then check only what must hold for
// any input).
#pragma once

#include "tests/support/test_support.h"

#include <cstdint>
#include <string>
#include <vector>

namespace robustness {

using test::Bytes;

enum class Expect { fail, succeed, either };

struct DamageCase {
    std::string label;
    Bytes payload; // as stored in a package: archive scrambled, tail plain
    Expect expect;
    // Base names a successful run must have made in the temporary directory (besides the first
    // entry's file), when the case names them.
    std::vector<std::string> made;
    std::string group = {}; // "good", "truncation", "bit flip", "size field", "name", "method"
    // The outcome depends on the length of the temporary directory's path (a long name).
    bool temp_dir_dependent = false;
};

// Where the fields of one entry of the good payload lie.
struct EntryLayout {
    std::size_t start;        // the header id
    std::size_t basic_size;   // S
    std::size_t packed_start; // 10 + S + E from start
    std::size_t end;          // the next entry
    std::uint8_t method;
};

struct GoodPackage {
    std::vector<test::RawEntry> entries;
    std::vector<EntryLayout> layout;
    Bytes archive; // plain, with the end marker
    Bytes tail;
    Bytes payload; // scrambled archive, then the tail
};

// The good package every case is derived from.
const GoodPackage& good_package();

// Every case, in a fixed order; labels are unique and name the damage.
std::vector<DamageCase> damage_cases();

// The cases of the given expectation.
std::vector<DamageCase> cases_expecting(Expect expect);

// The groups of cases, and the cases of one group.
const std::vector<std::string>& case_groups();
std::vector<DamageCase> cases_in_group(const std::string& group);

} // namespace robustness
