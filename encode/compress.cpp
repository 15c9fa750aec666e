// compress(): the method picks the stream format, the effort the parse (see block_encoder.h and
// unary_encoder.h).
#include "encode/compress.h"

#include "encode/block_encoder.h"
#include "encode/unary_encoder.h"

#include <stdexcept>

std::vector<unsigned char> compress(std::span<const unsigned char> data, int method, Effort effort,
                                    const CompressProgress& progress) {
    // Entry sizes are 32-bit, and the match finder keeps positions in 32 bits.
    if (data.size() >= 0xFFFFFFFFu) throw std::length_error("input too large for one entry");
    switch (method) {
    case 1:
    case 2:
    case 3:
        return encode_blocks(data, effort, progress);
    case 4:
        return encode_unary(data, effort, progress);
    default:
        throw std::invalid_argument("compression method must be 1 to 4");
    }
}
