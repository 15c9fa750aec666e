// sfxkit pack: the command line of the packager. Resolves the stub (embedded or a file), reads the
// options, shows progress on a terminal and prints the summary.
#include "encode/packager.h"
#include "tools/commands.h"
#include "tools/embedded_stubs.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#define sfx_isatty _isatty
#define sfx_fileno _fileno
#else
#include <unistd.h>
#define sfx_isatty isatty
#define sfx_fileno fileno
#endif

namespace {

struct PackOptions {
    std::string output;
    std::string stub = "win32";
    std::string method = "auto";
    std::string level;
    std::string tail;
    bool quiet = false;
    std::vector<std::string> inputs;
};

// Inputs at least this large show a progress line on a terminal.
constexpr std::uint64_t progress_threshold = 4u << 20;

std::vector<unsigned char> read_stub_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError(path + ": cannot read the stub");
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) throw ToolError(path + ": cannot read the stub");
    return bytes;
}

const char* method_label(int method) {
    switch (method) {
    case 0:
        return "0 stored";
    case 1:
        return "1 best";
    case 2:
        return "2 normal";
    case 3:
        return "3 fast";
    case 4:
        return "4 fastest";
    }
    return "?";
}

double mebibytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// One line on standard error, rewritten in place, at most five times a second.
class ProgressLine {
  public:
    void update(const std::string& name, std::uint64_t done, std::uint64_t total) {
        if (total < progress_threshold) return;
        const auto now = std::chrono::steady_clock::now();
        if (name != name_) {
            name_ = name;
            start_ = now;
            last_ = now - std::chrono::seconds(1);
            done_ = ~std::uint64_t{0};
        }
        if (done == done_ && width_ != 0) return;
        if (done < total && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        done_ = done;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? mebibytes(done) / seconds : 0.0;
        std::fprintf(stderr, "\rpacking %s: %.1f of %.1f MiB, %.1f MiB/s   ", name.c_str(),
                     mebibytes(done), mebibytes(total), rate);
        std::fflush(stderr);
        width_ = 80;
    }

    void clear() {
        if (width_ == 0) return;
        std::fprintf(stderr, "\r%*s\r", width_ + static_cast<int>(name_.size()), "");
        std::fflush(stderr);
        width_ = 0;
    }

    ~ProgressLine() { clear(); }

  private:
    std::string name_;
    std::chrono::steady_clock::time_point start_, last_;
    std::uint64_t done_ = 0;
    int width_ = 0;
};

void print_summary(const std::string& output, const PackSummary& summary) {
    std::printf("%-10s %12s %12s  %s\n", "method", "size", "packed", "name");
    for (const PackedEntry& entry : summary.entries) {
        std::printf("%-10s %12llu %12llu  %s\n", method_label(entry.method),
                    static_cast<unsigned long long>(entry.size),
                    static_cast<unsigned long long>(entry.packed_size), entry.name.c_str());
    }
    std::printf("%s: %llu bytes (stub %llu, archive %llu, tail %llu), %zu %s\n", output.c_str(),
                static_cast<unsigned long long>(summary.package_size),
                static_cast<unsigned long long>(summary.stub_size),
                static_cast<unsigned long long>(summary.archive_size),
                static_cast<unsigned long long>(summary.tail_size), summary.entries.size(),
                summary.entries.size() == 1 ? "entry" : "entries");
}

void run_pack(const PackOptions& options) {
    PackRequest request;
    request.output = options.output;
    request.inputs.assign(options.inputs.begin(), options.inputs.end());
    if (options.method != "auto") request.method = std::stoi(options.method);
    if (options.level == "fast") request.level = Effort::fast;
    if (options.level == "normal") request.level = Effort::normal;
    if (options.level == "best") request.level = Effort::best;
    if (!options.tail.empty()) request.tail = options.tail;
    request.time_limit = source_date_epoch();

    std::vector<unsigned char> stub_file;
    if (options.stub == "win32" || options.stub == "win64" || options.stub == "native") {
        const auto stub = embedded_stub(options.stub);
        if (!stub)
            throw ToolError("--stub " + options.stub + ": this sfxkit was built without the " +
                            options.stub + " stub; give a stub file with --stub FILE");
        request.stub = *stub;
        request.stub_name = "the embedded " + options.stub + " stub";
    } else {
        stub_file = read_stub_file(options.stub);
        request.stub = stub_file;
        request.stub_name = options.stub;
    }

    request.warn = [](const std::string& message) {
        std::fprintf(stderr, "sfxkit: warning: %s\n", message.c_str());
    };
    ProgressLine progress;
    if (!options.quiet && sfx_isatty(sfx_fileno(stderr))) {
        request.progress = [&progress](const std::string& name, std::uint64_t done,
                                       std::uint64_t total) { progress.update(name, done, total); };
    }
    const PackSummary summary = pack_package(request);
    progress.clear();
    if (!options.quiet) print_summary(options.output, summary);
}

} // namespace

void add_pack_command(CLI::App& app) {
    auto options = std::make_shared<PackOptions>();
    CLI::App* pack = app.add_subcommand(
        "pack", "Build a package: the stub, then SETUP and the other files, scrambled, then the "
                "tail block");
    pack->add_option("-o,--output", options->output,
                     "The package to write (replaced only when "
                     "complete)")
        ->type_name("OUT")
        ->required();
    pack->add_option("--stub", options->stub,
                     "The stub: win32 (the default), win64 or native (the stubs built into "
                     "sfxkit; native runs where sfxkit runs), or a stub file (write ./win32 for a "
                     "file of that name)")
        ->type_name("FILE|native|win32|win64");
    pack->add_option("-m,--method", options->method,
                     "auto (the default): per file the block format or stored, whichever is "
                     "smaller; 0 stored; 1, 2, 3 the block format (smallest to fastest); 4 the "
                     "unary format (fastest)")
        ->type_name("M")
        ->check(CLI::IsMember({"auto", "0", "1", "2", "3", "4"}));
    pack->add_option("--level", options->level,
                     "Effort of the compression: fast, normal or best (an optimal parse); by "
                     "default normal for auto, the method's own for -m 1 to 3; not used by -m 0")
        ->type_name("LEVEL")
        ->check(CLI::IsMember({"fast", "normal", "best"}));
    pack->add_option("--tail", options->tail,
                     "A file stored plain after the archive; its first 100 bytes are stamped into "
                     "every unpacked file that holds the stamp marker")
        ->type_name("FILE");
    pack->add_flag("-q,--quiet", options->quiet, "No progress and no summary");
    pack->add_option("SETUP", options->inputs,
                     "The setup program (the first entry, which the package runs), then any "
                     "further files (FILE...), stored under their base names")
        ->type_name("FILE")
        ->required();
    pack->footer(
        "The summary (one line per entry: method, size, packed size, name; then the "
        "package size) goes to standard output unless -q. A later file's name of 160 bytes or more "
        "draws a warning: the launcher makes it in the temporary directory within 259 "
        "bytes.\nSOURCE_DATE_EPOCH, when set, "
        "is the latest modification time stored.");
    pack->callback([options] { run_pack(*options); });
}
