// Compression of one entry's bytes into the packed stream that the stub's decoders read.
// Methods 1, 2 and 3 share the block format; method 4 is the unary-code format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

enum class Effort { fast, normal, best };

// Called now and then with the number of input bytes done so far.
using CompressProgress = std::function<void(std::size_t done)>;

// The packed stream of data for method (1 to 4) at the given effort.
std::vector<unsigned char> compress(std::span<const unsigned char> data, int method, Effort effort,
                                    const CompressProgress& progress = {});
