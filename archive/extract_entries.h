// Turning every entry of the payload image into a file, each verified by its CRC-32.
//
// The first entry is written through output_handle, which the caller has opened on the temporary
// program file; each later entry goes to temp_dir plus its base name (the name after its last '\'
// or '/'), created with CREATE_ALWAYS and listed in created_files before anything is written to
// it. Between entries output_handle is closed; when extraction returns, it may still hold the last
// file written, which the caller closes.
#pragma once

#include <cstdint>

// 1 when every entry was unpacked, written and verified, 0 on any failure.
int extract_entries(unsigned char* image, std::uint32_t payload_length);

// The part of a name after its last backslash or slash, byte by byte.
const char* entry_base_name(const char* name, int length);
