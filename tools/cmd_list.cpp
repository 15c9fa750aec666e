// sfxkit list: one line per entry (method, sizes, CRC-32, DOS date, stamp marker, name), then the
// tail block's length. The entries are unpacked with the stub's own code to see the marker and to
// check each entry as the stub would.
#include "archive/format.h"
#include "platform/win32.h"
#include "tools/commands.h"
#include "tools/inspect.h"
#include "tools/offset_option.h"
#include "tools/package.h"

#include <cstdio>

const char* const list_format =
    "Output: a header line, one line per entry, then the tail block's length:\n"
    "  method      packed        size  crc32     date                 stamp  name\n"
    "       0        1234        1234  89abcdef  2025-04-11 13:33:20  no     setup.exe\n"
    "  tail block: 3 bytes\n"
    "method: 0 stored, 1 to 3 the block method, 4 the unary method (5 and above yield no bytes);\n"
    "packed, size: in bytes; crc32: the stored CRC-32 in hex; date: the DOS time, read as UTC\n"
    "('invalid 0x...' when it is no valid date); stamp: 'yes' when the entry's unpacked bytes\n"
    "hold the stamp marker where it is stamped, '-' when the entry was not unpacked; name: as\n"
    "stored, bytes below 0x20 written \\xNN. The last line says '(no end marker)' when the "
    "archive\n"
    "has none and so no tail block. An archive the launcher would reject is listed as far as it\n"
    "can be, then reported (exit status 1).";

namespace {

std::string date_text(std::uint32_t dos_time) {
    const auto date = static_cast<WORD>(dos_time >> 16);
    const auto time = static_cast<WORD>(dos_time & 0xFFFF);
    char text[32];
    FILETIME ignored;
    if (!DosDateTimeToFileTime(date, time, &ignored)) {
        std::snprintf(text, sizeof text, "invalid 0x%08x", static_cast<unsigned>(dos_time));
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (date >> 9),
                      (date >> 5) & 0x0F, date & 0x1F, time >> 11, (time >> 5) & 0x3F,
                      (time & 0x1F) * 2);
    }
    return text;
}

std::string line_of(const EntryView& entry, const UnpackResult* result) {
    const char* stamp = result ? (result->holds_stamp_marker ? "yes" : "no") : "-";
    char fields[128];
    std::snprintf(
        fields, sizeof fields, "%6u  %10u  %10u  %08x  %-19s  %-5s  ",
        static_cast<unsigned>(entry.header.method), static_cast<unsigned>(entry.header.packed_size),
        static_cast<unsigned>(entry.header.unpacked_size),
        static_cast<unsigned>(entry.header.crc32), date_text(entry.header.dos_time).c_str(), stamp);
    return fields + (entry.name_terminated ? printable_name(entry.name) : "-") + "\n";
}

} // namespace

void list_package(const std::string& path, std::optional<std::uint32_t> offset, std::ostream& out) {
    Package package = Package::open(path, offset);
    out << "method      packed        size  crc32     date                 stamp  name\n";
    const std::string problem =
        package.walk(true, [&](const EntryView& entry, const UnpackResult* result) {
            out << line_of(entry, result);
        });
    out << "tail block: " << package.tail().size() << " bytes"
        << (package.has_end_marker() ? "" : " (no end marker)") << "\n";
    out.flush();
    if (!problem.empty())
        throw ToolError(package.message("the launcher would reject it: " + problem));
}

void add_list_command(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand("list", "List the entries and the tail block of a package");
    auto package = std::make_shared<std::string>();
    command->add_option("PACKAGE", *package, "The package")->required();
    auto offset = add_offset_option(*command);
    command->footer(list_format);
    command->callback([package, offset] { list_package(*package, offset->get(), std::cout); });
}
