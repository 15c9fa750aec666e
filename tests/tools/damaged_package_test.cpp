// Every inspecting command over damaged copies of one package (cut at every length, each byte
// flipped): no crash, a one-line error naming the package, and a failed extract leaves nothing.
#include "tests/tools/inspect_fixture.h"
#include "tools/inspect.h"

#include <sstream>

using namespace inspect_test;
using test::Bytes;
namespace fs = std::filesystem;

namespace {

class DamagedPackageTest : public InspectTest {
  protected:
    test::TempDir out;

    // Runs list, verify and extract over one damaged package file.
    void inspect(const Bytes& file, const std::string& what) {
        const std::string path = (dir.path() / "damaged.exe").string();
        test::write_file(path, file);
        std::ostringstream listing;
        const std::string listed = error_of([&] { list_package(path, std::nullopt, listing); });
        const std::string verified = error_of([&] { verify_package(path, std::nullopt); });
        EXPECT_EQ(listed.empty(), verified.empty()) << what << ": " << listed << " / " << verified;
        const std::string extracted =
            error_of([&] { extract_package(path, out.path().string(), std::nullopt); });
        for (const std::string& error : {listed, verified, extracted}) {
            if (error.empty()) continue;
            EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << what << ": " << error;
            EXPECT_EQ(error.find('\n'), std::string::npos) << what << ": " << error;
        }
        if (!extracted.empty()) {
            EXPECT_TRUE(fs::is_empty(out.path())) << what << ": " << extracted;
        }
        // By path, not by name: a damaged name need not survive a trip through the code page.
        for (const auto& item : fs::directory_iterator(out.path())) fs::remove(item.path());
    }
};

TEST_F(DamagedPackageTest, NeverCrashesAndLeavesNothingBehind) {
    const Bytes stub = fake_stub(256, 100, StubKind::elf);
    const Bytes payload =
        test::scramble(test::archive_of({test::stored("setup.exe", test::bytes_of("program")),
                                         test::stored("a\\b.txt", test::bytes_of("second")),
                                         test::stored("m.bin", marked_data())}),
                       test::bytes_of("tail"));
    const Bytes package = concat(stub, payload);
    for (std::size_t length = stub.size(); length < package.size(); ++length) {
        inspect(Bytes(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(length)),
                "cut at " + std::to_string(length));
    }
    for (std::size_t at = stub.size(); at < package.size(); ++at) {
        Bytes flipped = package;
        flipped[at] ^= 0xFF;
        inspect(flipped, "flipped at " + std::to_string(at));
    }
}

} // namespace
