// sfxkit stamp on a signed package: a PE stub whose certificate table entry points into the tail
// block gets a warning that the signature is dropped; every other header (no entry, no security
// directory, a short or unknown optional header, a signature inside the stub, an e_lfanew past
// the file, an ELF stub) gets none. The stub and the archive are copied unchanged either way.
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <sstream>

using namespace inspect_test;
using test::Bytes;
namespace fs = std::filesystem;

namespace {

void put(Bytes& bytes, std::size_t at, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// The header of fake_stub's PE: e_lfanew 0x80, "PE\0\0" there, the optional header at 0x98.
constexpr std::size_t optional_header = 0x98;

struct Header {
    const char* what;
    std::uint16_t magic;         // 0x20B PE32+, 0x10B PE32
    std::uint32_t directories;   // NumberOfRvaAndSizes
    std::uint16_t optional_size; // SizeOfOptionalHeader
    bool signature_in_stub;      // the entry points into the stub instead of the tail block
    bool entry_set;
    std::uint32_t e_lfanew = 0x80;
    StubKind kind = StubKind::pe;
};

Bytes stub_with(const Header& h, std::uint32_t certificate, std::uint32_t size) {
    Bytes stub = fake_stub(stub_size, 600, h.kind);
    if (h.kind == StubKind::elf) return stub;
    put(stub, 0x3C, h.e_lfanew, 4);
    put(stub, 0x80 + 20, h.optional_size, 2);
    put(stub, optional_header, h.magic, 2);
    const std::size_t table = optional_header + (h.magic == 0x10B ? 96 : 112);
    put(stub, table - 4, h.directories, 4);
    for (std::size_t i = 0; i < 16 * 8; ++i) stub[table + i] = 0;
    if (h.entry_set) {
        put(stub, table + 32, certificate, 4);
        put(stub, table + 36, size, 4);
    }
    return stub;
}

class SignedStampTest : public InspectTest {};

TEST_F(SignedStampTest, WarnsWhenTheCertificateTableLiesInTheTailBlock) {
    const Header headers[] = {
        {"PE32+, signed", 0x20B, 16, 240, false, true},
        {"PE32, signed", 0x10B, 16, 224, false, true},
        {"PE32+, no certificate table entry", 0x20B, 16, 240, false, false},
        {"no security directory", 0x20B, 4, 240, false, true},
        {"optional header too short", 0x20B, 16, 112 + 32, false, true},
        {"unknown optional header", 0x107, 16, 240, false, true},
        {"signature inside the stub", 0x20B, 16, 240, true, true},
        {"e_lfanew past the stub", 0x20B, 16, 240, false, true, 0xFFFFFF00u},
        {"ELF stub", 0x20B, 16, 240, false, true, 0x80, StubKind::elf},
    };
    const Bytes archive = test::archive_of({test::stored("setup.exe", test::bytes_of("program"))});
    // As a signing tool leaves it: the tail, zeros up to a multiple of 8, the certificate.
    const Bytes tail = test::bytes_of("abc");
    const std::size_t kept = stub_size + archive.size();
    const std::size_t padding = (8 - (kept + tail.size()) % 8) % 8;
    Bytes signed_tail = tail;
    signed_tail.resize(tail.size() + padding, 0);
    const Bytes certificate = {0x18, 0, 0, 0, 0, 2, 2, 0,  0x30, 0x82, 1,  2,
                               3,    4, 5, 6, 7, 8, 9, 10, 11,   12,   13, 14};
    signed_tail.insert(signed_tail.end(), certificate.begin(), certificate.end());
    const Bytes new_tail = test::bytes_of("new stamp");
    const fs::path tail_path = dir.path() / "tail.bin";
    test::write_file(tail_path, new_tail);

    for (const Header& h : headers) {
        SCOPED_TRACE(h.what);
        const auto at =
            static_cast<std::uint32_t>(h.signature_in_stub ? 3000 : kept + tail.size() + padding);
        const Bytes stub = stub_with(h, at, static_cast<std::uint32_t>(certificate.size()));
        const std::string path =
            write_package(test::scramble(archive, signed_tail), "signed.exe", stub);
        const std::string out = (dir.path() / "stamped.exe").string();
        std::ostringstream warnings;
        stamp_package(path, tail_path.string(), out, std::nullopt, warnings);

        const bool expected = std::string(h.what).ends_with(", signed");
        if (expected) {
            EXPECT_EQ(warnings.str(), "sfxkit: warning: " + path +
                                          ": Authenticode-signed: the new tail block drops the "
                                          "signature, and the stub's certificate table entry "
                                          "still points at it; remove the signature first "
                                          "(osslsigncode remove-signature), then sign the result "
                                          "again\n");
        } else {
            EXPECT_EQ(warnings.str(), "");
        }
        // The stub, header included, and the archive are kept; the signature is gone.
        EXPECT_EQ(test::read_file(out), concat(stub, test::scramble(archive, new_tail)));
        EXPECT_EQ(error_of([&] { verify_package(out, std::nullopt); }), "");
        fs::remove(out);
        fs::remove(path);
    }
}

} // namespace
