// Packages for the inspection tests: a fake stub (any bytes holding the payload offset tag with
// the stub's own size behind it) followed by a payload made with the test support's entries.
#pragma once

#include "archive/format.h"
#include "payload/payload_offset.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace inspect_test {

using test::Bytes;

enum class StubKind { elf, pe };

// A stub of size bytes that starts like an ELF or a PE file and holds the tag at tag_at, followed
// by value (the stub's size unless told otherwise).
inline Bytes fake_stub(std::size_t size, std::size_t tag_at, StubKind kind = StubKind::pe,
                       std::int64_t value = -1) {
    Bytes stub(size, 0x90);
    if (kind == StubKind::elf) {
        const unsigned char elf[] = {0x7F, 'E', 'L', 'F', 2, 1, 1};
        std::copy(std::begin(elf), std::end(elf), stub.begin());
    } else {
        stub[0] = 'M';
        stub[1] = 'Z';
        stub[0x3C] = 0x80;
        const unsigned char pe[] = {'P', 'E', 0, 0};
        std::copy(std::begin(pe), std::end(pe), stub.begin() + 0x80);
    }
    std::copy(std::begin(payload_offset_tag), std::end(payload_offset_tag),
              stub.begin() + static_cast<std::ptrdiff_t>(tag_at));
    const auto field =
        static_cast<std::uint32_t>(value < 0 ? static_cast<std::int64_t>(size) : value);
    for (int i = 0; i < 4; ++i) stub[tag_at + 8 + i] = static_cast<unsigned char>(field >> (8 * i));
    return stub;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// 20 bytes, the stamp marker, then 130 bytes: the launcher stamps its slot.
inline Bytes marked_data() {
    Bytes data(200, 'b');
    std::fill(data.begin(), data.begin() + 20, 'a');
    std::copy(stamp_marker, stamp_marker + stamp_marker_size, data.begin() + 20);
    return data;
}

constexpr std::size_t stub_size = 4096;

class InspectTest : public testing::Test {
  protected:
    test::TempDir dir;

    // Writes stub + payload as a package file and returns its path.
    std::string write_package(const Bytes& payload, const std::string& name = "package.exe",
                              const Bytes& stub = fake_stub(stub_size, 600)) {
        const std::filesystem::path path = dir.path() / name;
        test::write_file(path, concat(stub, payload));
        return path.string();
    }

    // A package of the given entries, with an end marker and the tail.
    std::string package_of(const std::vector<test::RawEntry>& entries, const Bytes& tail = {},
                           bool end_marker = true) {
        return write_package(test::scramble(test::archive_of(entries, end_marker), tail));
    }
};

// The message of the ToolError that f throws, or "" when it throws none.
template <typename F> std::string error_of(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

} // namespace inspect_test
