// HashChainMatchFinder: finds earlier occurrences of the bytes at a position, for every encoder.
//
// Positions are absolute offsets into the whole input, which stays in memory. Two tables index the
// history: hash chains over the next 4 bytes (a head per hash and a link per position, kept for the
// last 32768 positions), which find matches of 4 bytes and more, and a single-entry table over the
// next 3 bytes, which finds the most recent 3-byte match. Chains are walked newest first, so among
// matches of equal length the nearest (cheapest to code) is kept.
//
// A link slot is reused 32768 positions later; since no match may reach back further than the
// decoders' Window (26624 bytes), every link followed within the distance limit is still the one
// written for that position.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

struct Match {
    std::uint32_t length = 0;   // 0 when there is none
    std::uint32_t distance = 0; // bytes back, 1 to the finder's limit
};

class HashChainMatchFinder {
  public:
    static constexpr std::uint32_t min_length = 3;
    static constexpr std::uint32_t max_length = 256;
    static constexpr std::uint32_t link_slots = 32768;

    // max_distance: how far back a match may start (at most link_slots).
    HashChainMatchFinder(std::span<const unsigned char> data, std::uint32_t max_distance)
        : data_(data), max_distance_(max_distance), head4_(std::size_t{1} << hash4_bits),
          head3_(std::size_t{1} << hash3_bits), link_(link_slots) {}

    std::uint32_t max_distance() const { return max_distance_; }

    // Enters position pos into the tables. Positions must be entered in ascending order, each
    // after it has been searched; a position may be left out (it is then never found).
    void insert(std::size_t pos) {
        if (pos + 4 <= data_.size()) {
            const auto h = hash4(data_.data() + pos);
            link_[pos & (link_slots - 1)] = head4_[h];
            head4_[h] = static_cast<std::uint32_t>(pos + 1);
        }
        if (pos + 3 <= data_.size())
            head3_[hash3(data_.data() + pos)] = static_cast<std::uint32_t>(pos + 1);
    }

    // Calls found(length, distance) for each match that is longer than every one reported before
    // it, up to max_len bytes (limited to the input's end); stops once a match reaches nice_len,
    // after depth chain steps, or at the distance limit. Returns the longest match.
    template <class Found>
    Match for_each_longer(std::size_t pos, std::uint32_t max_len, std::uint32_t nice_len,
                          std::uint32_t depth, Found&& found) const {
        Match best;
        const std::size_t left = data_.size() - pos;
        if (max_len > left) max_len = static_cast<std::uint32_t>(left);
        if (max_len < min_length) return best;
        if (nice_len > max_len) nice_len = max_len;
        const unsigned char* here = data_.data() + pos;

        std::uint32_t cand = head3_[hash3(here)];
        if (cand != 0 && pos - (cand - 1) <= max_distance_) {
            const unsigned char* there = data_.data() + (cand - 1);
            if (there[0] == here[0] && there[1] == here[1] && there[2] == here[2]) {
                best.length = common_length(here, there, max_len);
                best.distance = static_cast<std::uint32_t>(pos - (cand - 1));
                found(best.length, best.distance);
                if (best.length >= nice_len) return best;
            }
        }
        if (max_len < 4) return best;

        std::uint32_t needed = best.length < 4 ? 4 : best.length + 1; // to beat the best so far
        cand = head4_[hash4(here)];
        const std::uint32_t here4 = load32(here);
        while (cand != 0 && depth-- > 0) {
            const std::size_t at = cand - 1;
            const std::size_t distance = pos - at;
            if (distance > max_distance_) break;
            const unsigned char* there = data_.data() + at;
            if (there[needed - 1] == here[needed - 1] && load32(there) == here4) {
                const std::uint32_t length = common_length(here, there, max_len);
                if (length >= needed) {
                    best.length = length;
                    best.distance = static_cast<std::uint32_t>(distance);
                    found(best.length, best.distance);
                    if (length >= nice_len) break;
                    needed = length + 1;
                }
            }
            const std::uint32_t next = link_[at & (link_slots - 1)];
            if (next >= cand) break; // a stale link: the chain ends here
            cand = next;
        }
        return best;
    }

    // The longest match at pos (see for_each_longer).
    Match longest(std::size_t pos, std::uint32_t max_len, std::uint32_t nice_len,
                  std::uint32_t depth) const {
        return for_each_longer(pos, max_len, nice_len, depth, [](std::uint32_t, std::uint32_t) {});
    }

  private:
    static constexpr unsigned hash4_bits = 16;
    static constexpr unsigned hash3_bits = 14;

    static std::uint32_t load32(const unsigned char* p) {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    static std::uint32_t hash4(const unsigned char* p) {
        return (load32(p) * 0x9E3779B1u) >> (32 - hash4_bits);
    }
    static std::uint32_t hash3(const unsigned char* p) {
        const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16);
        return (v * 0x9E3779B1u) >> (32 - hash3_bits);
    }

    // Number of equal bytes at a and b, at most max.
    static std::uint32_t common_length(const unsigned char* a, const unsigned char* b,
                                       std::uint32_t max) {
        std::uint32_t n = 0;
        if constexpr (std::endian::native == std::endian::little) {
            while (n + 8 <= max) {
                std::uint64_t x, y;
                std::memcpy(&x, a + n, 8);
                std::memcpy(&y, b + n, 8);
                if (x != y) return n + static_cast<std::uint32_t>(std::countr_zero(x ^ y) / 8);
                n += 8;
            }
        }
        while (n < max && a[n] == b[n]) ++n;
        return n;
    }

    std::span<const unsigned char> data_;
    std::uint32_t max_distance_;
    std::vector<std::uint32_t> head4_; // newest position + 1 per hash, 0 for none
    std::vector<std::uint32_t> head3_;
    std::vector<std::uint32_t> link_; // per position (mod link_slots): the older position + 1
};
