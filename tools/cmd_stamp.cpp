// sfxkit stamp: replaces a package's tail block (the plain bytes after the archive's end marker)
// with a file's bytes. The stub and the archive are copied byte for byte from the package; the
// result is written to a temporary file next to the output and renamed over it at the end.
#include "archive/format.h"
#include "tools/commands.h"
#include "tools/inspect.h"
#include "tools/offset_option.h"
#include "tools/package.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

std::vector<char> read_whole(const std::string& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) throw ToolError(path + ": no such file");
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError(path + ": cannot read the file");
    return bytes;
}

// A temporary file next to the output, removed unless it was renamed into place.
class TemporaryFile {
  public:
    explicit TemporaryFile(const fs::path& output) {
        std::random_device seed;
        const fs::path directory =
            output.parent_path().empty() ? fs::path(".") : output.parent_path();
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            fs::path candidate = directory / ("." + output.filename().string() + ".sfxkit-" +
                                              std::to_string(seed()) + ".tmp");
            std::error_code error;
            if (!fs::exists(fs::symlink_status(candidate, error))) path_ = candidate;
        }
        if (path_.empty()) throw ToolError(output.string() + ": cannot make a temporary file");
    }
    ~TemporaryFile() {
        if (!path_.empty()) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const fs::path& path() const { return path_; }

    // Moves the file over target, replacing it.
    void rename_to(const fs::path& target) {
#if defined(_WIN32)
        const bool moved = MoveFileExA(path_.string().c_str(), target.string().c_str(),
                                       MOVEFILE_REPLACE_EXISTING) != 0;
#else
        std::error_code error;
        fs::rename(path_, target, error);
        const bool moved = !error;
#endif
        if (!moved) throw ToolError(target.string() + ": cannot replace the file");
        path_.clear();
    }

  private:
    fs::path path_;
};

// The Authenticode signature's place in the file, when the stub is a PE file whose certificate
// table (data directory 4: file offset and size) is set; {0, 0} otherwise. A signing tool appends
// the signature after everything else, so in a signed package it lies in the tail block.
std::pair<std::uint64_t, std::uint64_t> certificate_table(const std::string& path,
                                                          std::uint32_t stub_size) {
    std::vector<unsigned char> header(std::min<std::uint32_t>(stub_size, 4096));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    const auto field = [&](std::size_t at, int width) -> std::optional<std::uint32_t> {
        if (at > got || got - at < static_cast<std::size_t>(width)) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = value << 8 | header[at + static_cast<unsigned>(i)];
        return value;
    };
    const auto e_lfanew = field(0x3C, 4);
    if (got < 2 || header[0] != 'M' || header[1] != 'Z' || !e_lfanew || *e_lfanew > got) return {};
    const std::size_t pe = *e_lfanew;
    const auto pe_signature = field(pe, 4);
    const auto optional_size = field(pe + 20, 2);
    const auto magic = field(pe + 24, 2);
    if (pe_signature != 0x00004550u || !optional_size || !magic) return {};
    // PE32 (0x10B) and PE32+ (0x20B) differ in where the data directories begin.
    const std::size_t directories = *magic == 0x20B ? 112 : *magic == 0x10B ? 96 : 0;
    const auto count = field(pe + 24 + directories - 4, 4);
    if (!directories || !count || *count < 5 || *optional_size < directories + 5 * 8) return {};
    const auto offset = field(pe + 24 + directories + 4 * 8, 4);
    const auto size = field(pe + 24 + directories + 4 * 8 + 4, 4);
    if (!offset || !size || *size == 0) return {};
    return {*offset, *size};
}

} // namespace

void stamp_package(const std::string& path, const std::string& tail_file, const std::string& output,
                   std::optional<std::uint32_t> offset, std::ostream& warnings) {
    const Package package = Package::open(path, offset);
    if (!package.has_end_marker()) {
        throw ToolError(
            package.message("the archive has no end marker, so it cannot carry a tail block"));
    }
    const std::vector<char> tail = read_whole(tail_file);
    const std::uint64_t kept =
        static_cast<std::uint64_t>(package.payload_offset()) + package.archive_end();
    if (kept + tail.size() > 0xFFFFFFFFu) {
        throw ToolError(tail_file + ": too long; the package would exceed 4 GiB");
    }
    const auto [certificate, certificate_size] = certificate_table(path, package.payload_offset());
    if (certificate_size != 0 && certificate + certificate_size > kept) {
        warnings << "sfxkit: warning: " << path
                 << ": Authenticode-signed: the new tail block drops the signature, and the "
                    "stub's certificate table entry still points at it; remove the signature "
                    "first (osslsigncode remove-signature), then sign the result again\n";
    }
    if (tail.size() > stamp_slot_size) {
        warnings << "sfxkit: warning: " << tail_file << ": " << tail.size()
                 << " bytes; only the first " << stamp_slot_size
                 << " are stamped into the files (all are stored)\n";
    }

    const fs::path target = output.empty() ? fs::path(path) : fs::path(output);
    TemporaryFile temporary(target);
    {
        std::ifstream in(path, std::ios::binary);
        std::ofstream out(temporary.path(), std::ios::binary | std::ios::trunc);
        if (!out) throw ToolError(temporary.path().string() + ": cannot create the file");
        std::vector<char> chunk(1 << 16);
        std::uint64_t left = kept;
        while (left > 0 && in) {
            const std::size_t want =
                left < chunk.size() ? static_cast<std::size_t>(left) : chunk.size();
            in.read(chunk.data(), static_cast<std::streamsize>(want));
            out.write(chunk.data(), in.gcount());
            left -= static_cast<std::uint64_t>(in.gcount());
        }
        if (left > 0) throw ToolError(path + ": cannot read the file");
        out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
        out.close();
        if (!out) throw ToolError(temporary.path().string() + ": cannot write the file");
    }
    std::error_code error;
    fs::permissions(temporary.path(), fs::status(path, error).permissions(), error);
    temporary.rename_to(target);
}

void add_stamp_command(CLI::App& app) {
    CLI::App* command =
        app.add_subcommand("stamp", "Replace the tail block of a package without repacking it");
    auto package = std::make_shared<std::string>();
    auto tail = std::make_shared<std::string>();
    auto output = std::make_shared<std::string>();
    command->add_option("PACKAGE", *package, "The package")->required();
    command->add_option("--tail", *tail, "File whose bytes become the tail block (empty: none)")
        ->type_name("FILE")
        ->required();
    command
        ->add_option("-o,--output", *output, "Write the result here instead of replacing PACKAGE")
        ->type_name("OUT");
    auto offset = add_offset_option(*command);
    command->footer(
        "The stub and the archive are kept byte for byte; only the bytes after the archive's end\n"
        "marker change. The launcher copies the first 100 bytes of the tail block into every\n"
        "unpacked file that holds the stamp marker; a longer FILE is stored whole (with a "
        "warning).\n"
        "An archive without an end marker cannot carry a tail block. The output is written to a\n"
        "temporary file in its directory and renamed into place at the end.");
    command->callback([package, tail, output, offset] {
        stamp_package(*package, *tail, *output, offset->get(), std::cerr);
    });
}
