// BitWriter: the packed stream as both decoders read it, most significant bit of each byte first.
// Fields are appended whole (value, width), highest bit first; finish() pads the last byte with
// zero bits, which the decoders read anyway once the packed bytes run out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class BitWriter {
  public:
    // Appends the low width bits of value (width 0 to 32), highest first.
    void put(std::uint32_t value, unsigned width) {
        pending_ = (pending_ << width) | (value & mask(width));
        pending_bits_ += width;
        if (pending_bits_ >= 32) {
            pending_bits_ -= 32;
            const auto word = static_cast<std::uint32_t>(pending_ >> pending_bits_);
            bytes_.push_back(static_cast<unsigned char>(word >> 24));
            bytes_.push_back(static_cast<unsigned char>(word >> 16));
            bytes_.push_back(static_cast<unsigned char>(word >> 8));
            bytes_.push_back(static_cast<unsigned char>(word));
        }
    }

    // Bits written so far, padding not included.
    std::uint64_t bit_count() const { return bytes_.size() * 8ull + pending_bits_; }

    // Pads to a whole byte with zero bits and hands over the bytes.
    std::vector<unsigned char> finish() {
        while (pending_bits_ >= 8) {
            pending_bits_ -= 8;
            bytes_.push_back(static_cast<unsigned char>(pending_ >> pending_bits_));
        }
        if (pending_bits_ > 0)
            bytes_.push_back(static_cast<unsigned char>(pending_ << (8 - pending_bits_)));
        pending_bits_ = 0;
        pending_ = 0;
        return std::move(bytes_);
    }

  private:
    static std::uint64_t mask(unsigned width) { return (std::uint64_t{1} << width) - 1; }

    std::vector<unsigned char> bytes_;
    std::uint64_t pending_ = 0; // the low pending_bits_ bits are not yet in bytes_
    unsigned pending_bits_ = 0; // below 32 between calls
};
