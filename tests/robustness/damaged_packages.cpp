#include "tests/robustness/damaged_packages.h"

#include "archive/format.h"
#include "encode/compress.h"

#include <algorithm>
#include <set>

namespace robustness {

namespace {

Bytes text_bytes(std::size_t size, unsigned seed) {
    static const char* const words[] = {"setup ",   "package ",  "entry ", "window ", "stamp ",
                                        "archive ", "launcher ", "table ", "code ",   "\n"};
    Bytes out;
    std::uint32_t state = seed;
    while (out.size() < size) {
        state = state * 1103515245u + 12345u;
        const char* word = words[(state >> 16) % 10];
        while (*word && out.size() < size) out.push_back(static_cast<unsigned char>(*word++));
    }
    return out;
}

Bytes with_stamp_marker(Bytes data, std::size_t at) {
    std::copy(stamp_marker, stamp_marker + stamp_marker_size, data.begin() + static_cast<long>(at));
    return data;
}

test::RawEntry packed_entry(const std::string& name, const Bytes& data, int method) {
    test::RawEntry entry;
    entry.name = name;
    entry.method = static_cast<std::uint8_t>(method);
    entry.packed = compress(data, method, Effort::normal);
    entry.unpacked_size = static_cast<std::uint32_t>(data.size());
    entry.crc32 = test::crc32_of(data);
    return entry;
}

GoodPackage make_good_package() {
    GoodPackage good;
    good.entries = {
        test::stored("setup.exe", with_stamp_marker(text_bytes(400, 1), 120)),
        packed_entry("docs\\notes.txt", text_bytes(3000, 2), 1),
        packed_entry("table.bin", text_bytes(1500, 3), 2),
        packed_entry("log.txt", text_bytes(2000, 4), 4),
        test::stored("raw.bin", with_stamp_marker(text_bytes(300, 5), 20)),
        test::stored("empty.txt", {}),
    };
    good.tail = test::bytes_of("tail block: build 7");
    std::size_t start = 0;
    for (const test::RawEntry& entry : good.entries) {
        const Bytes bytes = test::entry_bytes(entry);
        const std::size_t basic_size = bytes[2] | bytes[3] << 8;
        const std::size_t extended = entry.extended_header.size();
        good.layout.push_back(EntryLayout{start, basic_size, start + 10 + basic_size + extended,
                                          start + bytes.size(), entry.method});
        start += bytes.size();
    }
    good.archive = test::archive_of(good.entries);
    good.payload = test::scramble(good.archive, good.tail);
    return good;
}

void put_u16(Bytes& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<unsigned char>(value);
    bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    put_u16(bytes, at, value & 0xFFFF);
    put_u16(bytes, at + 2, value >> 16);
}

std::uint32_t get_u32(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      bytes[at + 3] << 24);
}

// A payload whose archive part was damaged in place: the stored bytes differ exactly where the
// plain ones do, as the keystream depends on the position alone.
Bytes damaged(const Bytes& archive) {
    return test::scramble(archive, good_package().tail);
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Truncated payloads: every short length, and the lengths around each entry's boundaries and
// inside its fields. The stub accepts a payload cut at an entry's end (with fewer than 4 bytes
// of the next header left): without an end marker it simply has fewer entries.
void add_truncations(std::vector<DamageCase>& cases) {
    const GoodPackage& good = good_package();
    std::set<std::size_t> lengths;
    for (std::size_t length = 0; length <= 12; ++length) lengths.insert(length);
    for (const EntryLayout& entry : good.layout) {
        for (std::size_t offset : {std::size_t{1}, std::size_t{4}, std::size_t{9}, std::size_t{17},
                                   std::size_t{27}, entry.basic_size + 5, entry.basic_size + 9}) {
            lengths.insert(entry.start + offset);
        }
        lengths.insert((entry.packed_start + entry.end) / 2);
        for (std::size_t around :
             {entry.end - 1, entry.end, entry.end + 1, entry.end + 3, entry.end + 4})
            lengths.insert(around);
    }
    lengths.insert(good.payload.size() - 1);
    const std::size_t last_end = good.layout.back().end;
    for (std::size_t length : lengths) {
        if (length >= good.payload.size()) continue;
        bool accepted = length >= 10 && length >= last_end;
        for (const EntryLayout& entry : good.layout) {
            if (length >= 10 && length >= entry.end && length < entry.end + 4) accepted = true;
        }
        cases.push_back(
            {"truncated to " + std::to_string(length),
             Bytes(good.payload.begin(), good.payload.begin() + static_cast<long>(length)),
             accepted ? Expect::succeed : Expect::fail,
             {}});
    }
}

// One flipped bit in every field of every header and in each entry's packed data.
void add_bit_flips(std::vector<DamageCase>& cases) {
    const GoodPackage& good = good_package();
    for (std::size_t k = 0; k < good.layout.size(); ++k) {
        const EntryLayout& entry = good.layout[k];
        struct Spot {
            const char* field;
            std::size_t offset;
            Expect expect;
        };
        const bool stored = entry.method == 0;
        std::vector<Spot> spots = {
            {"header id", 0, k == 0 ? Expect::fail : Expect::either},
            {"header id", 1, k == 0 ? Expect::fail : Expect::either},
            {"basic header size", 2, Expect::either},
            {"basic header size", 3, Expect::either},
            {"first header size", 4, Expect::either},
            {"method", 9, Expect::either},
            {"DOS time", 12, Expect::succeed},
            {"packed size", 16, Expect::either},
            {"packed size", 19, Expect::fail},
            {"unpacked size", 20, Expect::either},
            {"CRC-32", 24, Expect::fail},
            {"CRC-32", 27, Expect::fail},
            {"name", 34, Expect::either},
            {"basic header CRC", 4 + entry.basic_size, Expect::succeed},
            {"extended header size", 8 + entry.basic_size, Expect::either},
            {"extended header size", 9 + entry.basic_size, Expect::fail},
        };
        // A decoder pads a stream that ends early with what zero bits decode to, up to the
        // unpacked size: a high bit there costs gigabytes of output before the CRC-32 fails. Only
        // the stored entries, which stop at their packed bytes, get one.
        if (stored) spots.push_back({"unpacked size", 23, Expect::either});
        if (entry.end > entry.packed_start) {
            const std::size_t size = entry.end - entry.packed_start;
            const Expect data = stored ? Expect::fail : Expect::either;
            for (std::size_t at : {std::size_t{0}, size / 3, size / 2, size - 1})
                spots.push_back({"packed data", entry.packed_start - entry.start + at, data});
        }
        for (const Spot& spot : spots) {
            // The DOS time's top bits change the year only; a flip low in the time can make it
            // invalid, which keeps the system's times and still succeeds.
            for (int bit : {0, 5, 7}) {
                Bytes archive = good.archive;
                archive[entry.start + spot.offset] ^= static_cast<unsigned char>(1u << bit);
                cases.push_back({"entry " + std::to_string(k + 1) + " " + spot.field + " byte " +
                                     std::to_string(spot.offset) + " bit " + std::to_string(bit),
                                 damaged(archive),
                                 spot.expect,
                                 {}});
            }
        }
    }
    // The end marker and the tail block.
    for (std::size_t at = 0; at < 4; ++at) {
        Bytes archive = good.archive;
        archive[good.layout.back().end + at] ^= 0x10;
        cases.push_back({"end marker byte " + std::to_string(at) + " flipped",
                         damaged(archive),
                         at < 2 ? Expect::succeed : Expect::either,
                         {}});
    }
    Bytes payload = good.payload;
    payload[good.archive.size() + 3] ^= 0xFF;
    cases.push_back({"tail byte flipped", payload, Expect::succeed, {}});
}

// Sizes near 2^32 in every size field of every entry (S and E are 16 bits wide).
void add_size_fields(std::vector<DamageCase>& cases) {
    const GoodPackage& good = good_package();
    for (std::size_t k = 0; k < good.layout.size(); ++k) {
        const EntryLayout& entry = good.layout[k];
        const std::string name = "entry " + std::to_string(k + 1) + " ";
        for (std::uint32_t value : {0xFFFFu, 0xFFFEu, 0x8000u, 0xFFF0u}) {
            Bytes archive = good.archive;
            put_u16(archive, entry.start + 2, value);
            cases.push_back(
                {name + "basic header size " + hex(value), damaged(archive), Expect::fail, {}});
            archive = good.archive;
            put_u16(archive, entry.start + 8 + entry.basic_size, value);
            cases.push_back(
                {name + "extended header size " + hex(value), damaged(archive), Expect::fail, {}});
        }
        const std::uint32_t packed = get_u32(good.archive, entry.start + 16);
        for (std::uint32_t value :
             {0xFFFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFF6u, 0x80000000u, 0x7FFFFFFFu,
              0xFFFFFFFFu - static_cast<std::uint32_t>(entry.packed_start) + 1,
              packed + 0x10000u}) {
            Bytes archive = good.archive;
            put_u32(archive, entry.start + 16, value);
            cases.push_back(
                {name + "packed size " + hex(value), damaged(archive), Expect::fail, {}});
        }
        const std::uint32_t unpacked = get_u32(good.archive, entry.start + 20);
        // A size the data overflows fails; a larger one than needed is harmless where the entry
        // yields its bytes without decoding towards the size (stored entries).
        std::vector<std::pair<std::uint32_t, Expect>> sizes;
        if (unpacked > 0) sizes.push_back({unpacked - 1, Expect::fail});
        if (unpacked > 1) sizes.push_back({0, Expect::fail});
        if (entry.method == 0) {
            for (std::uint32_t value : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u})
                sizes.push_back({value, Expect::either});
        }
        for (const auto& [value, expect] : sizes) {
            Bytes archive = good.archive;
            put_u32(archive, entry.start + 20, value);
            cases.push_back({name + "unpacked size " + hex(value), damaged(archive), expect, {}});
        }
    }
}

// A later entry (the second) renamed; the archive is rebuilt around the new name.
void add_names(std::vector<DamageCase>& cases) {
    const GoodPackage& good = good_package();
    struct Naming {
        std::string name;
        Expect expect;
        std::string made; // the base name it is made under, when it succeeds
        bool temp_dir_dependent = false;
    };
    const Naming namings[] = {
        {"", Expect::fail, ""},
        {"\\", Expect::fail, ""},
        {"/", Expect::fail, ""},
        {"\\\\\\", Expect::fail, ""},
        {"///", Expect::fail, ""},
        {"/\\/\\", Expect::fail, ""},
        {"dir\\", Expect::fail, ""},
        {".", Expect::fail, ""},
        {"..", Expect::fail, ""},
        {"dir/..", Expect::fail, ""},
        {"dir\\.", Expect::fail, ""},
        // Fits beside a temporary directory path of at most 4 bytes, not beside ours.
        {std::string(255, 'n'), Expect::fail, "", true},
        {std::string(300, 'n'), Expect::fail, ""},
        {"..\\..\\escape.txt", Expect::succeed, "escape.txt"},
        {"../../escape.txt", Expect::succeed, "escape.txt"},
        {"/etc/passwd", Expect::succeed, "passwd"},
        {"C:\\Windows\\system.dll", Expect::succeed, "system.dll"},
        {"name with spaces.txt", Expect::succeed, "name with spaces.txt"},
        {"setup.exe", Expect::succeed, "setup.exe"},
    };
    for (const Naming& naming : namings) {
        std::vector<test::RawEntry> entries = good.entries;
        entries[1].name = naming.name;
        std::vector<std::string> made;
        if (naming.expect == Expect::succeed) {
            made.push_back(naming.made);
            for (std::size_t i = 2; i < entries.size(); ++i) made.push_back(entries[i].name);
        }
        cases.push_back(
            {"second entry named \"" + naming.name.substr(0, 40) + "\"" +
                 (naming.name.size() > 40 ? " (" + std::to_string(naming.name.size()) + " bytes)"
                                          : ""),
             test::scramble(test::archive_of(entries), good.tail), naming.expect, made, "",
             naming.temp_dir_dependent});
    }
    // The first entry's name is never used by the stub.
    for (const std::string& name : {std::string(""), std::string(".."), std::string("/abs/x"),
                                    std::string("../../escape"), std::string(300, 'f')}) {
        std::vector<test::RawEntry> entries = good.entries;
        entries[0].name = name;
        cases.push_back({"first entry named \"" + name.substr(0, 40) + "\"",
                         test::scramble(test::archive_of(entries), good.tail),
                         Expect::succeed,
                         {}});
    }
}

// Methods 5 and above yield no bytes: good only with the CRC-32 of nothing.
void add_methods(std::vector<DamageCase>& cases) {
    const GoodPackage& good = good_package();
    for (int method : {5, 6, 9, 127, 128, 255}) {
        for (bool empty_crc : {false, true}) {
            std::vector<test::RawEntry> entries = good.entries;
            entries[2].method = static_cast<std::uint8_t>(method);
            if (empty_crc) entries[2].crc32 = 0;
            cases.push_back({"third entry method " + std::to_string(method) +
                                 (empty_crc ? " with the CRC-32 of nothing" : ""),
                             test::scramble(test::archive_of(entries), good.tail),
                             empty_crc ? Expect::succeed : Expect::fail,
                             {}});
        }
    }
}

} // namespace

const GoodPackage& good_package() {
    static const GoodPackage good = make_good_package();
    return good;
}

const std::vector<std::string>& case_groups() {
    static const std::vector<std::string> groups = {"good",       "truncation", "bit flip",
                                                    "size field", "name",       "method"};
    return groups;
}

std::vector<DamageCase> damage_cases() {
    std::vector<DamageCase> cases;
    const auto add_group = [&cases](const char* group, void (*add)(std::vector<DamageCase>&)) {
        const std::size_t first = cases.size();
        add(cases);
        for (std::size_t i = first; i < cases.size(); ++i) cases[i].group = group;
    };
    add_group("good", [](std::vector<DamageCase>& out) {
        out.push_back({"the good package", good_package().payload, Expect::succeed, {}});
    });
    add_group("truncation", add_truncations);
    add_group("bit flip", add_bit_flips);
    add_group("size field", add_size_fields);
    add_group("name", add_names);
    add_group("method", add_methods);
    return cases;
}

std::vector<DamageCase> cases_in_group(const std::string& group) {
    std::vector<DamageCase> all = damage_cases();
    std::vector<DamageCase> chosen;
    for (DamageCase& item : all) {
        if (item.group == group) chosen.push_back(std::move(item));
    }
    return chosen;
}

std::vector<DamageCase> cases_expecting(Expect expect) {
    std::vector<DamageCase> all = damage_cases();
    std::vector<DamageCase> chosen;
    for (DamageCase& item : all) {
        if (item.expect == expect) chosen.push_back(std::move(item));
    }
    return chosen;
}

} // namespace robustness
