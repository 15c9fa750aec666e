// CRC-32 by carry-less multiplication (PCLMULQDQ), for x86 CPUs that have it: 64 bytes a step in
// four 128-bit lanes, then one lane, then 32 bits by Barrett reduction. Several times faster than
// the tables, whose lookups chain one step to the next; the four lanes here are independent.
//
// The arithmetic is on polynomials over GF(2) in the CRC's reflected order: the first byte's bit 0
// is the highest power. A 128-bit lane loaded from memory holds a 128-bit stretch of the message,
// its bit m the coefficient of x^(127-m) counted from the lane's end. The CRC of a message M
// (with the running CRC XORed into its first four bytes) is M * x^32 mod P.
//
// Folding: a lane D bits before the end of another stands for lane * x^D there. Its low half H
// (bits 0-63) is H * x^64 and its high half L is L. Multiplying a 64-bit half by a constant held as
// (x^n mod P) reflected and shifted left once makes a 127-bit product that stands for
// half * (x^n mod P) * x^32 in lane order, so H takes n = D + 32 and L takes n = D - 32, and the
// two products XORed onto the later lane keep the CRC of the whole. The constants are worked out
// from the polynomial below.
#include "archive/crc32.h"

#if defined(SFX_CRC_FOLDING)

#include "archive/format.h"

#include <cpuid.h>
#include <immintrin.h>

#define SFX_CRC_TARGET __attribute__((target("pclmul,sse4.1")))

namespace {

// x^n mod P in the CRC's reflected order (bit 31 is x^0): multiplying by x is a shift right, and
// the x^32 that falls out of bit 0 comes back as the rest of the polynomial.
constexpr std::uint32_t x_power_mod(int n) {
    std::uint32_t value = 0x80000000u;
    for (int i = 0; i < n; ++i) value = (value & 1) ? (value >> 1) ^ crc32_polynomial : value >> 1;
    return value;
}
static_assert(x_power_mod(32) == crc32_polynomial);

// The multiplier that stands for x^n mod P next to a 64-bit half: see the head of the file.
constexpr long long fold_constant(int n) {
    return static_cast<long long>(x_power_mod(n)) << 1;
}

constexpr std::uint64_t reflect(std::uint64_t value, int bits) {
    std::uint64_t reflected = 0;
    for (int i = 0; i < bits; ++i) reflected |= ((value >> i) & 1) << (bits - 1 - i);
    return reflected;
}

// P with its x^32 term, in the usual order (bit k is x^k), and reflected over 33 bits.
constexpr std::uint64_t polynomial_normal = std::uint64_t{1} << 32 | reflect(crc32_polynomial, 32);
constexpr std::uint64_t polynomial_reflected = std::uint64_t{crc32_polynomial} << 1 | 1;
static_assert(reflect(polynomial_normal, 33) == polynomial_reflected);

// Barrett's multiplier: the quotient of x^64 by P (degree 32), by long division in the usual order,
// then reflected over 33 bits.
constexpr std::uint64_t barrett_quotient() {
    std::uint64_t remainder = 0;
    std::uint64_t quotient = 0;
    for (int power = 64; power >= 0; --power) {
        remainder = remainder << 1 | (power == 64 ? 1 : 0);
        quotient <<= 1;
        if (remainder >> 32) {
            remainder ^= polynomial_normal;
            quotient |= 1;
        }
    }
    return reflect(quotient, 33);
}

// The product of two polynomials of up to 33 terms in the usual order has no terms from x^32 to
// x^63 exactly when it is x^64 plus a remainder: the check that the quotient is right.
constexpr bool leaves_remainder_only(std::uint64_t quotient_normal) {
    std::uint64_t low = 0;  // x^0 .. x^63
    std::uint64_t high = 0; // x^64 ..
    for (int i = 0; i < 33; ++i) {
        if (!((quotient_normal >> i) & 1)) continue;
        low ^= polynomial_normal << i;
        if (i > 31) high ^= polynomial_normal >> (64 - i);
    }
    return high == 1 && (low >> 32) == 0;
}
static_assert(leaves_remainder_only(reflect(barrett_quotient(), 33)));

SFX_CRC_TARGET __m128i load_lane(const unsigned char* bytes) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

// The lane moved forward by the distance the constants stand for (low half times the low
// constant, high half times the high one), XORed onto the lane found there.
SFX_CRC_TARGET __m128i fold(__m128i lane, __m128i constants, __m128i onto) {
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), onto);
}

// The CRC of a message whose folded remainder is the lane R: R * x^32 mod P. First R * x^32 is
// brought to 96 and then to 64 terms (the high part times x^96 or x^64 mod P, XORed onto the rest),
// each result held so that its bit m is x^(95-m) or x^(63-m). Of the 64 terms T, Barrett takes the
// quotient q = (T / x^32) * mu / x^32 and T + q * P leaves the CRC in bits 32-63.
SFX_CRC_TARGET std::uint32_t reduce(__m128i lane) {
    const __m128i final_constants = _mm_set_epi64x(fold_constant(64), fold_constant(96));
    const __m128i barrett = _mm_set_epi64x(static_cast<long long>(polynomial_reflected),
                                           static_cast<long long>(barrett_quotient()));
    const __m128i low32 = _mm_set_epi32(0, 0, 0, -1);
    const __m128i terms96 =
        _mm_xor_si128(_mm_clmulepi64_si128(lane, final_constants, 0x00), _mm_srli_si128(lane, 8));
    const __m128i terms64 =
        _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(terms96, low32), final_constants, 0x10),
                      _mm_srli_si128(terms96, 4));
    const __m128i quotient =
        _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(terms64, low32), barrett, 0x00), low32);
    const __m128i rest = _mm_xor_si128(terms64, _mm_clmulepi64_si128(quotient, barrett, 0x10));
    return static_cast<std::uint32_t>(_mm_extract_epi32(rest, 1));
}

} // namespace

// CPUID leaf 1 names both instruction sets. Read directly rather than by __builtin_cpu_supports,
// whose CPU model detection would add some 5 KB of libgcc to the Windows stubs.
bool crc_folding_supported() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
    return (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
}

// Four lanes take 64 bytes a step while 64 more are there; they are folded into one, which takes
// the further 16-byte blocks; the last bytes, and inputs too short for the four lanes, go through
// the tables. The running CRC enters as the XOR onto the first four bytes.
SFX_CRC_TARGET std::uint32_t crc32_feed_folding(std::uint32_t crc, const unsigned char* bytes,
                                                std::uint32_t length) {
    if (length < 64) return crc32_feed_table(crc, bytes, length);
    const __m128i by_64_bytes = _mm_set_epi64x(fold_constant(512 - 32), fold_constant(512 + 32));
    const __m128i by_16_bytes = _mm_set_epi64x(fold_constant(128 - 32), fold_constant(128 + 32));
    __m128i lane0 = _mm_xor_si128(load_lane(bytes), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i lane1 = load_lane(bytes + 16);
    __m128i lane2 = load_lane(bytes + 32);
    __m128i lane3 = load_lane(bytes + 48);
    bytes += 64;
    length -= 64;
    while (length >= 64) {
        lane0 = fold(lane0, by_64_bytes, load_lane(bytes));
        lane1 = fold(lane1, by_64_bytes, load_lane(bytes + 16));
        lane2 = fold(lane2, by_64_bytes, load_lane(bytes + 32));
        lane3 = fold(lane3, by_64_bytes, load_lane(bytes + 48));
        bytes += 64;
        length -= 64;
    }
    __m128i lane =
        fold(fold(fold(lane0, by_16_bytes, lane1), by_16_bytes, lane2), by_16_bytes, lane3);
    while (length >= 16) {
        lane = fold(lane, by_16_bytes, load_lane(bytes));
        bytes += 16;
        length -= 16;
    }
    return crc32_feed_table(reduce(lane), bytes, length);
}

#endif
