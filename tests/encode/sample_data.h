// Generated inputs for the encoder tests and benchmarks: text-like (Zipf-distributed words in
// lines), binary-like (fixed records with small counters, offsets and some noise, as executables
// and databases hold), random bytes, and runs of one byte. Deterministic for a given seed.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sample {

using Bytes = std::vector<unsigned char>;

inline Bytes random_bytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out(size);
    for (auto& b : out) b = static_cast<unsigned char>(random());
    return out;
}

inline Bytes text_like(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::string> words;
    for (int i = 0; i < 3000; ++i) {
        std::string word;
        const int letters = 2 + static_cast<int>(random() % 9);
        for (int k = 0; k < letters; ++k) word += static_cast<char>('a' + random() % 26);
        words.push_back(word);
    }
    // Zipf-like choice: index = floor(n^u) - 1 for uniform u puts most weight on the first words.
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    Bytes out;
    out.reserve(size + 16);
    int column = 0;
    while (out.size() < size) {
        const auto index = static_cast<std::size_t>(std::pow(3000.0, uniform(random))) - 1;
        const std::string& word = words[index % words.size()];
        out.insert(out.end(), word.begin(), word.end());
        column += static_cast<int>(word.size()) + 1;
        const auto r = random() % 16;
        if (r == 0) out.push_back(',');
        if (r == 1) out.push_back('.');
        if (column > 70) {
            out.push_back('\n');
            column = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

inline Bytes binary_like(std::size_t size, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes out;
    out.reserve(size + 64);
    std::uint32_t counter = 0, offset = 0x401000;
    const unsigned char opcodes[][4] = {{0x48, 0x89, 0xE5, 0x00}, {0x48, 0x83, 0xEC, 0x20},
                                        {0xE8, 0x00, 0x00, 0x00}, {0x8B, 0x45, 0xFC, 0x00},
                                        {0xC3, 0x90, 0x90, 0x90}, {0x0F, 0x1F, 0x40, 0x00}};
    while (out.size() < size) {
        switch (random() % 4) {
        case 0: { // a record: counter, offset, flags, padding
            ++counter;
            offset += 16 + random() % 64;
            const unsigned char record[16] = {static_cast<unsigned char>(counter),
                                              static_cast<unsigned char>(counter >> 8),
                                              0,
                                              0,
                                              static_cast<unsigned char>(offset),
                                              static_cast<unsigned char>(offset >> 8),
                                              static_cast<unsigned char>(offset >> 16),
                                              0,
                                              static_cast<unsigned char>(random() % 4),
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              0,
                                              0};
            out.insert(out.end(), record, record + 16);
            break;
        }
        case 1: { // code-like: a few opcode patterns with random immediates
            for (int k = 0; k < 6; ++k) {
                const auto& op = opcodes[random() % 6];
                out.insert(out.end(), op, op + 4);
                if (random() % 3 == 0) out.push_back(static_cast<unsigned char>(random()));
            }
            break;
        }
        case 2: { // noise
            for (int k = 0, n = 1 + static_cast<int>(random() % 24); k < n; ++k)
                out.push_back(static_cast<unsigned char>(random()));
            break;
        }
        default: { // zero padding
            out.insert(out.end(), 4 + random() % 40, 0);
            break;
        }
        }
    }
    out.resize(size);
    return out;
}

} // namespace sample
