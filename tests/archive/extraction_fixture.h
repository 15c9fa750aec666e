// Runs extract_entries the way the launcher does: temp_dir is a private directory, the first
// entry goes to an already opened "first.bin" there, and everything is closed afterwards.
#pragma once

#include "archive/extract_entries.h"
#include "archive/output_files.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ExtractionTest : public testing::Test {
  protected:
    test::TempDir dir;
    std::string first_path = (dir.path() / "first.bin").string();

    void SetUp() override { lstrcpyA(temp_dir, dir.with_separator().c_str()); }
    void TearDown() override {
        if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
        output_handle = INVALID_HANDLE_VALUE;
        forget_created_files();
    }

    // Extracts a payload as stored in a package (see test::scramble).
    int extract(const test::Bytes& payload) {
        output_handle = CreateFileA(first_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_ARCHIVE, nullptr);
        EXPECT_NE(output_handle, INVALID_HANDLE_VALUE);
        image = test::image_of(payload);
        const int result =
            extract_entries(image.data(), static_cast<std::uint32_t>(payload.size()));
        if (output_handle != INVALID_HANDLE_VALUE) CloseHandle(output_handle);
        output_handle = INVALID_HANDLE_VALUE;
        return result;
    }

    // The paths on created_files, newest first.
    std::vector<std::string> created() const {
        std::vector<std::string> paths;
        for (const CreatedFile* node = created_files; node; node = node->next) {
            paths.push_back(node->path);
        }
        return paths;
    }

    std::string in_dir(const std::string& name) const { return dir.with_separator() + name; }

    test::Bytes image;
};
