// Placeholder until the encoders exist: the block and unary encoders replace it.
#include "encode/compress.h"

#include <stdexcept>

std::vector<unsigned char> compress(std::span<const unsigned char>, int, Effort,
                                    const CompressProgress&) {
    throw std::runtime_error("compression is not available yet");
}
