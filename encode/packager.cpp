// Package assembly: checks every input, then streams the stub, the scrambled entries and end
// marker, and the plain tail block into a temporary file that replaces the output when complete.
#include "encode/packager.h"

#include "archive/format.h"
#include "encode/dos_time.h"
#include "encode/entry_writer.h"
#include "payload/keystream.h"
#include "payload/payload_offset.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t max_entry_size = std::numeric_limits<std::uint32_t>::max();
// The stub takes its file size and payload length in 32 bits.
constexpr std::uint64_t max_package_size = std::numeric_limits<std::uint32_t>::max();
// The name under which the launcher writes the setup program; no later entry may take it.
constexpr std::string_view setup_program_name = "setup.exe";

// A path as the user gave it, for messages.
std::string display(const fs::path& path) {
#ifdef _WIN32
    // In the console's code page, as it was typed; UTF-8 for what that cannot show.
    try {
        return path.string();
    } catch (const std::exception&) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }
#else
    return path.string();
#endif
}

[[noreturn]] void refuse(const fs::path& path, const std::string& what) {
    throw PackageError(display(path) + ": " + what);
}

std::string lower_ascii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The base name as the entry stores it, or the reason it cannot be stored.
std::string stored_name(const fs::path& path, std::string* problem) {
#ifdef _WIN32
    // Only printable ASCII is stored, so the wide name converts character by character.
    std::string name;
    for (const wchar_t c : path.filename().wstring()) {
        if (c > 0x7E) {
            *problem = entry_name_problem("\x80");
            return {};
        }
        name.push_back(static_cast<char>(c));
    }
#else
    std::string name = path.filename().string();
#endif
    *problem = entry_name_problem(name);
    return name;
}

struct Input {
    fs::path path;
    std::string name;
    std::uint64_t size;
    std::uint32_t dos_time;
};

// Opens the file as a check that it can be read.
bool readable(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return static_cast<bool>(in);
}

std::int64_t modification_time(const fs::path& path) {
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(path, error);
    if (error) refuse(path, "cannot read its modification time: " + error.message());
    const auto system = std::chrono::file_clock::to_sys(written);
    return std::chrono::floor<std::chrono::seconds>(system).time_since_epoch().count();
}

// A regular file that can be opened, of size at most limit; returns its size.
std::uint64_t check_file(const fs::path& path, std::uint64_t limit, const std::string& limit_text) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) refuse(path, "no such file");
    if (error) refuse(path, error.message());
    if (status.type() != fs::file_type::regular) refuse(path, "not a regular file");
    const std::uint64_t size = fs::file_size(path, error);
    if (error) refuse(path, error.message());
    if (size > limit) refuse(path, "larger than " + limit_text);
    if (!readable(path)) refuse(path, std::string("cannot be read: ") + std::strerror(errno));
    return size;
}

// The file's bytes; expected is its size when it was checked, limit what it may have grown to.
std::vector<unsigned char> read_whole(const fs::path& path, std::uint64_t expected,
                                      std::uint64_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) refuse(path, std::string("cannot be read: ") + std::strerror(errno));
    std::vector<unsigned char> bytes(static_cast<std::size_t>(std::min(expected, limit)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    // Whatever the file grew by since it was checked comes in small pieces.
    char more[65536];
    while (in) {
        in.read(more, sizeof more);
        bytes.insert(bytes.end(), more, more + in.gcount());
        if (bytes.size() > limit) refuse(path, "grew past the largest size an entry can hold");
    }
    if (in.bad()) refuse(path, "read error");
    return bytes;
}

std::vector<Input> check_inputs(const PackRequest& request) {
    if (request.inputs.empty()) throw PackageError("no input files: SETUP is required");
    std::vector<Input> inputs;
    for (std::size_t i = 0; i < request.inputs.size(); ++i) {
        const fs::path& path = request.inputs[i];
        std::string problem;
        std::string name = stored_name(path, &problem);
        if (!problem.empty()) refuse(path, "cannot be stored: " + problem);
        for (const Input& earlier : inputs) {
            if (lower_ascii(earlier.name) == lower_ascii(name))
                refuse(path, "has the same base name as " + display(earlier.path) +
                                 " (names are compared ignoring case, as on Windows)");
        }
        if (i > 0 && name.size() >= long_entry_name && request.warn)
            request.warn(display(path) + ": its name is " + std::to_string(name.size()) +
                         " bytes long; the launcher can create it only where the temporary "
                         "directory's path is at most " +
                         std::to_string(path_buffer_size - 1 - name.size()) + " bytes long");
        if (i > 0 && lower_ascii(name) == setup_program_name)
            refuse(path, "only the first file (SETUP) may be named setup.exe: the launcher "
                         "writes the setup program under that name");
        const std::uint64_t size = check_file(path, max_entry_size,
                                              "4 GiB - 1 bytes, the most an "
                                              "entry can hold");
        std::int64_t time = modification_time(path);
        if (request.time_limit && time > *request.time_limit) time = *request.time_limit;
        inputs.push_back(
            {path, std::move(name), size, dos_time_from_utc(static_cast<std::time_t>(time))});
    }
    return inputs;
}

#ifndef _WIN32
// An interrupted sfxkit (Ctrl-C, a hang-up, kill) removes the temporary file it was writing: the
// handlers unlink it, then let the signal take its usual course.
char interrupt_cleanup_path[4096];
volatile std::sig_atomic_t interrupt_cleanup_armed = 0;
constexpr int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[std::size(cleanup_signals)];

extern "C" void remove_on_signal(int signal_number) {
    if (interrupt_cleanup_armed) ::unlink(interrupt_cleanup_path);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

void arm_interrupt_cleanup(const fs::path& path) {
    const std::string& text = path.native();
    if (text.size() >= sizeof interrupt_cleanup_path) return;
    std::memcpy(interrupt_cleanup_path, text.c_str(), text.size() + 1);
    struct sigaction action {};
    action.sa_handler = remove_on_signal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(cleanup_signals); ++i)
        sigaction(cleanup_signals[i], &action, &previous_actions[i]);
    interrupt_cleanup_armed = 1;
}

void disarm_interrupt_cleanup() {
    if (!interrupt_cleanup_armed) return;
    interrupt_cleanup_armed = 0;
    for (std::size_t i = 0; i < std::size(cleanup_signals); ++i)
        sigaction(cleanup_signals[i], &previous_actions[i], nullptr);
}
#else
// Windows ends a console program on Ctrl-C without unwinding; the temporary file stays then.
void arm_interrupt_cleanup(const fs::path&) {}
void disarm_interrupt_cleanup() {}
#endif

// The output while it is written: a file of its own in the output's directory, renamed over the
// output by commit and removed if it never gets there.
class TemporaryOutput {
  public:
    explicit TemporaryOutput(const fs::path& output) : output_(output) {
        const fs::path directory = output.has_parent_path() ? output.parent_path() : fs::path(".");
        std::random_device seed;
        std::mt19937 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
            fs::path leaf = ".";
            leaf += output.filename().native();
            leaf += suffix;
            fs::path candidate = directory / leaf;
#ifdef _WIN32
            fd_ = _wopen(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                         _S_IREAD | _S_IWRITE);
#else
            // Created executable (as far as the umask allows): packages are programs.
            fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0777);
#endif
            if (fd_ >= 0) {
                path_ = std::move(candidate);
                arm_interrupt_cleanup(path_);
                return;
            }
            if (errno != EEXIST) break;
        }
        refuse(output, std::string("cannot create a file next to it: ") + std::strerror(errno));
    }

    ~TemporaryOutput() {
        disarm_interrupt_cleanup();
        if (fd_ >= 0) close_file();
        if (!committed_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }

    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    void write(std::span<const unsigned char> bytes) {
        if (written_ + bytes.size() > max_package_size)
            refuse(output_, "the package would be larger than 4 GiB - 1 bytes, the most the stub "
                            "can read");
        while (!bytes.empty()) {
            const std::size_t piece = std::min<std::size_t>(bytes.size(), 1 << 30);
#ifdef _WIN32
            const int done = _write(fd_, bytes.data(), static_cast<unsigned>(piece));
#else
            const ssize_t done = ::write(fd_, bytes.data(), piece);
#endif
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0) refuse(output_, std::string("cannot write: ") + std::strerror(errno));
            bytes = bytes.subspan(static_cast<std::size_t>(done));
            written_ += static_cast<std::uint64_t>(done);
        }
    }

    std::uint64_t written() const {
        return written_;
    }

    void commit() {
        if (close_file() != 0)
            refuse(output_, std::string("cannot write: ") + std::strerror(errno));
#ifdef _WIN32
        if (!MoveFileExW(path_.c_str(), output_.c_str(), MOVEFILE_REPLACE_EXISTING))
            refuse(output_, "cannot replace it with the finished package (Windows error " +
                                std::to_string(GetLastError()) + ")");
#else
        std::error_code error;
        fs::rename(path_, output_, error);
        if (error)
            refuse(output_, "cannot replace it with the finished package: " + error.message());
#endif
        committed_ = true;
        disarm_interrupt_cleanup();
    }

  private:
    int close_file() {
#ifdef _WIN32
        const int result = _close(fd_);
#else
        const int result = ::close(fd_);
#endif
        fd_ = -1;
        return result;
    }

    fs::path output_;
    fs::path path_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    bool committed_ = false;
};

// The keystream over the archive as it is written, piece by piece: the key byte depends only on
// the position, so scrambling in pieces gives what scrambling the whole archive at once would.
class Scrambler {
  public:
    void apply(std::span<unsigned char> bytes) {
        for (unsigned char& byte : bytes) {
            state_ = keystream_step(state_);
            byte ^= keystream_byte(state_);
        }
    }

  private:
    std::uint32_t state_ = keystream_seed;
};

struct Packed {
    int method;
    std::vector<unsigned char> bytes; // empty for stored: the data are written as they are
};

Packed pack_data(std::span<const unsigned char> data, const Input& input,
                 const PackRequest& request) {
    const auto report = [&](std::size_t done) {
        if (request.progress) request.progress(input.name, done, input.size);
    };
    if (request.method == method_stored) return {method_stored, {}};
    if (request.method == method_auto && data.empty()) return {method_stored, {}};
    const int method =
        request.method == method_auto ? block_method_for(request.level) : request.method;
    std::vector<unsigned char> packed;
    try {
        packed = compress(data, method, effort_for(method, request.level), report);
    } catch (const PackageError&) {
        throw;
    } catch (const std::exception& e) {
        refuse(input.path, std::string("cannot compress: ") + e.what());
    }
    if (request.method == method_auto && packed.size() >= data.size()) return {method_stored, {}};
    if (packed.size() > max_entry_size)
        refuse(input.path, "packs to more than 4 GiB - 1 bytes with method " +
                               std::to_string(method) + "; use -m 0 or -m auto");
    return {method, std::move(packed)};
}

} // namespace

int block_method_for(std::optional<Effort> level) {
    switch (level.value_or(Effort::normal)) {
    case Effort::best:
        return method_best;
    case Effort::fast:
        return method_fast;
    case Effort::normal:
        break;
    }
    return method_normal;
}

Effort effort_for(int method, std::optional<Effort> level) {
    if (level) return *level;
    if (method == method_best) return Effort::best;
    if (method == method_fast) return Effort::fast;
    return Effort::normal;
}

void check_stub(std::span<const unsigned char> stub, const std::string& name) {
    const auto tag = std::search(stub.begin(), stub.end(), std::begin(payload_offset_tag),
                                 std::end(payload_offset_tag));
    if (tag == stub.end())
        throw PackageError(name + ": not a stub: it holds no payload offset tag");
    const auto at = static_cast<std::size_t>(tag - stub.begin()) + sizeof payload_offset_tag;
    if (stub.size() - at < 4)
        throw PackageError(name + ": not a stub: its payload offset field is cut off");
    const std::uint32_t offset = static_cast<std::uint32_t>(stub[at]) |
                                 static_cast<std::uint32_t>(stub[at + 1]) << 8 |
                                 static_cast<std::uint32_t>(stub[at + 2]) << 16 |
                                 static_cast<std::uint32_t>(stub[at + 3]) << 24;
    if (offset != stub.size())
        throw PackageError(name + ": the stub's payload offset is " + std::to_string(offset) +
                           ", not its size " + std::to_string(stub.size()) +
                           " (store it with scripts/set-payload-offset)");
}

std::optional<std::int64_t> source_date_epoch() {
    const char* value = std::getenv("SOURCE_DATE_EPOCH");
    if (!value || !*value) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long seconds = std::strtoll(value, &end, 10);
    if (*end != '\0' || errno == ERANGE || seconds < 0)
        throw PackageError(std::string("SOURCE_DATE_EPOCH: not a number of seconds: ") + value);
    return static_cast<std::int64_t>(seconds);
}

PackSummary pack_package(const PackRequest& request) {
    if (request.method != method_auto && (request.method < 0 || request.method > 4))
        throw PackageError("method " + std::to_string(request.method) + " does not exist");
    check_stub(request.stub, request.stub_name);
    const std::vector<Input> inputs = check_inputs(request);
    std::vector<unsigned char> tail;
    if (request.tail) {
        const std::uint64_t size = check_file(*request.tail, max_package_size, "4 GiB - 1 bytes");
        tail = read_whole(*request.tail, size, max_package_size);
    }

    // Replacing an input with the package is a slip of the command line, not a wish.
    std::vector<fs::path> sources;
    for (const Input& input : inputs) sources.push_back(input.path);
    if (request.tail) sources.push_back(*request.tail);
    for (const fs::path& source : sources) {
        std::error_code error;
        if (fs::equivalent(request.output, source, error))
            refuse(request.output, "is also an input; the package would replace it");
    }

    PackSummary summary;
    TemporaryOutput out(request.output);
    out.write(request.stub);
    summary.stub_size = out.written();

    Scrambler scrambler;
    for (const Input& input : inputs) {
        std::vector<unsigned char> data = read_whole(input.path, input.size, max_entry_size);
        Packed packed = pack_data(data, input, request);
        const bool stored = packed.method == method_stored;
        std::vector<unsigned char>& body = stored ? data : packed.bytes;

        EntryFields fields;
        fields.name = input.name;
        fields.method = static_cast<std::uint8_t>(packed.method);
        fields.dos_time = input.dos_time;
        fields.packed_size = static_cast<std::uint32_t>(body.size());
        fields.original_size = static_cast<std::uint32_t>(data.size());
        fields.crc32 = entry_crc32(data);
        std::vector<unsigned char> header = entry_header(fields);

        scrambler.apply(header);
        out.write(header);
        scrambler.apply(body);
        out.write(body);
        if (request.progress) request.progress(input.name, data.size(), data.size());
        summary.entries.push_back({input.name, packed.method, data.size(), fields.packed_size});
    }
    std::vector<unsigned char> end_marker = {arj_header_id & 0xFF, arj_header_id >> 8, 0, 0};
    scrambler.apply(end_marker);
    out.write(end_marker);
    summary.archive_size = out.written() - summary.stub_size;

    out.write(tail);
    summary.tail_size = tail.size();
    summary.package_size = out.written();
    out.commit();
    return summary;
}
