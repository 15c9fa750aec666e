// Reading the payload from the program's own file: the bytes from the payload offset to the end,
// with the keystream removed, in one heap block followed by 10 spare bytes that are never filled.
#pragma once

#include <cstdint>

// Returns the payload image (release it with free) and stores the payload length, or returns null
// and stores nothing when the file cannot be opened or read, is shorter than offset + 10 bytes, or
// the block cannot be allocated.
unsigned char* load_payload(const char* path, std::uint32_t offset, std::uint32_t* out_length);
