#include "payload/load_payload.h"

#include "archive/format.h"
#include "payload/keystream.h"
#include "platform/win32.h"

#include <cstdlib>

unsigned char* load_payload(const char* path, std::uint32_t offset, std::uint32_t* out_length) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;

    // A file of 4 GiB or more cannot be a package (the payload length is 32 bits); its low 32
    // bits of size alone would make the payload a wrong stretch of it.
    DWORD size_high = 0;
    const DWORD size = GetFileSize(file, &size_high);
    // offset + 10 is formed in 64 bits: an offset near 2^32 must not wrap to a small bound.
    if (size_high != 0 || static_cast<std::uint64_t>(size) <
                              static_cast<std::uint64_t>(offset) + payload_spare_bytes) {
        CloseHandle(file);
        return nullptr;
    }
    const std::uint32_t length = size - offset;

    auto* image = static_cast<unsigned char*>(
        std::malloc(static_cast<std::size_t>(length) + payload_spare_bytes));
    DWORD got = 0;
    bool complete = false;
    if (image && SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == offset) {
        complete = ReadFile(file, image, length, &got, nullptr) && got == length;
    }
    CloseHandle(file);
    if (!complete) {
        std::free(image);
        return nullptr;
    }

    apply_keystream(image, length);
    *out_length = length;
    return image;
}
