// payload_offset: where the payload begins in the packaged file, which is the size of the stub's
// own file. The field lives in the stub's initialised data right behind an 8-byte tag; after
// linking, the build finds the tag in the finished stub and stores the stub's size behind it
// (scripts/set-payload-offset). The tool finds a package's payload offset the same way.
#pragma once

#include <cstdint>

constexpr unsigned char payload_offset_tag[8] = {0x7F, 's', 'f', 'x', 'o', 'f', 's', 0x1A};

struct PayloadOffsetRecord {
    unsigned char tag[8];
    std::uint32_t payload_offset; // little-endian in the file
};

// The address of the stored field. It is read through a volatile pointer, so that the compiler
// never folds in the value the source was built with.
const volatile std::uint32_t* payload_offset_field();
