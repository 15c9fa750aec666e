// A sample setup program for sfxkit packages. It does no installing: it records what it sees
// when the launcher runs it, so that the demo and the tests can show and check it. The report
// lists the start time, the working directory, the command line, every file in the working
// directory (size, CRC-32, modification time as UTC) and the package's stamp. It goes to the file
// named by SFXKIT_REPORT, or to standard output when that is not set. SFXKIT_SAMPLE_HOLD_MS keeps
// the program running that long after the report is written (a setup program that takes a
// while). Builds natively and for Windows (MinGW-w64, static).
#include "include/sfxkit_stamp.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

SFXKIT_DEFINE_STAMP(sample_stamp);

namespace {

namespace fs = std::filesystem;

std::uint32_t crc32_of_file(const fs::path& path) {
    static std::uint32_t table[256];
    if (table[1] == 0) {
        for (std::uint32_t k = 0; k < 256; ++k) {
            std::uint32_t c = k;
            for (int i = 0; i < 8; ++i) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            table[k] = c;
        }
    }
    std::ifstream in(path, std::ios::binary);
    std::uint32_t crc = 0xFFFFFFFFu;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            crc = table[(crc ^ static_cast<unsigned char>(buffer[i])) & 0xFF] ^ (crc >> 8);
        }
    }
    return ~crc;
}

std::string utc_time(std::time_t when) {
    std::tm parts{};
#if defined(_WIN32)
    gmtime_s(&parts, &when);
#else
    gmtime_r(&when, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

// The slot up to its first NUL, bytes outside printable ASCII as \xNN.
std::string stamp_text() {
    std::string text;
    for (int i = 0; i < SFXKIT_STAMP_SLOT_SIZE && sample_stamp.slot[i] != 0; ++i) {
        const unsigned char c = sample_stamp.slot[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

std::string report(int argc, char** argv) {
    std::ostringstream out;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    out << "started_ms: " << std::chrono::duration_cast<std::chrono::milliseconds>(now).count()
        << '\n';
    std::error_code error;
    const fs::path cwd = fs::current_path(error);
    out << "cwd: " << cwd.string() << '\n';
    out << "argc: " << argc << '\n';
    for (int i = 0; i < argc; ++i) out << "argv[" << i << "]: " << argv[i] << '\n';

    std::vector<std::string> lines;
    for (const auto& item : fs::directory_iterator(cwd, error)) {
        if (!item.is_regular_file(error)) continue;
        struct stat info;
        const std::string path = item.path().string();
        if (stat(path.c_str(), &info) != 0) continue;
        char crc[16];
        std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(crc32_of_file(item.path())));
        lines.push_back("file: " + item.path().filename().string() +
                        " size=" + std::to_string(static_cast<long long>(info.st_size)) +
                        " crc32=" + crc + " mtime=" + utc_time(info.st_mtime));
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) out << line << '\n';
    out << "stamp: " << stamp_text() << '\n';
    return out.str();
}

} // namespace

int main(int argc, char** argv) {
    const std::string text = report(argc, argv);
    const char* report_path = std::getenv("SFXKIT_REPORT");
    if (report_path && *report_path) {
        // Written under a temporary name and renamed, so that a reader never sees half a report.
        const std::string partial = std::string(report_path) + ".part";
        {
            std::ofstream out(partial, std::ios::binary | std::ios::trunc);
            out << text;
        }
        std::error_code error;
        fs::rename(partial, report_path, error);
    } else {
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    }
    if (const char* hold = std::getenv("SFXKIT_SAMPLE_HOLD_MS")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(hold)));
    }
    return 0;
}
