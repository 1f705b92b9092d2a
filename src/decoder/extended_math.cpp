#include "extended_math.h"

#include <bit>
#include <cassert>
#include <cmath>
#include <cstdlib>

namespace darvelon::decoder {

double speedRpmNative(std::uint32_t d) {
    long double q = 1'200'000.0L / static_cast<long double>(d);
    q = q / 2.0L;
    q = q * 60.0L;
    // Truncating an x87 value directly means switching the rounding mode, which stalls. Rounding
    // to double first is monotone, so it lands on trunc(q) or one above it (when q sits just
    // below a whole number); the comparison in extended precision takes the one back.
    auto whole = static_cast<std::int64_t>(static_cast<double>(q));
    if (static_cast<long double>(whole) > q) --whole;
    return static_cast<double>(whole);
}

Angle angleNative(std::int32_t diff, std::uint32_t d) {
    long double a = static_cast<long double>(diff) / static_cast<long double>(d);
    a = a * 180.0L;
    const double degrees = static_cast<double>(a);
    // degrees has 53 significant bits and 100 needs 5, so the extended product is exact and
    // rounding it to double is what one double multiplication gives; this stays off the x87
    // stack and skips a second trip through memory.
    return {degrees, degrees * 100.0};
}

namespace {

// Just enough 128-bit arithmetic for the portable path (no __int128 on MSVC).
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    int bitLength() const { return hi ? 128 - std::countl_zero(hi) : 64 - std::countl_zero(lo); }
    U128 shiftedLeft(int n) const {
        if (n == 0) return *this;
        if (n >= 64) return {lo << (n - 64), 0};
        return {(hi << n) | (lo >> (64 - n)), lo << n};
    }
    U128 shiftedRight(int n) const {
        if (n == 0) return *this;
        if (n >= 64) return {0, hi >> (n - 64)};
        return {hi >> n, (lo >> n) | (hi << (64 - n))};
    }
    bool bit(int n) const { return n >= 64 ? (hi >> (n - 64)) & 1 : (lo >> n) & 1; }
    // True when any bit below position n is set.
    bool anyBelow(int n) const {
        if (n <= 0) return false;
        if (n >= 128) return hi || lo;
        if (n > 64) return lo || (hi & ((std::uint64_t{1} << (n - 64)) - 1));
        if (n == 64) return lo != 0;
        return (lo & ((std::uint64_t{1} << n) - 1)) != 0;
    }
};

U128 mul64x32(std::uint64_t a, std::uint32_t b) {
    const std::uint64_t lo = (a & 0xFFFF'FFFFu) * b;
    const std::uint64_t hi = (a >> 32) * b;  // < 2^64
    const std::uint64_t mid = (hi << 32);
    U128 r{hi >> 32, lo + mid};
    if (r.lo < lo) ++r.hi;
    return r;
}

// Long division by a 32-bit divisor, one 32-bit limb at a time.
U128 div128by32(U128 n, std::uint32_t d, std::uint32_t& remainder) {
    const std::uint32_t limbs[4] = {static_cast<std::uint32_t>(n.hi >> 32), static_cast<std::uint32_t>(n.hi),
                                    static_cast<std::uint32_t>(n.lo >> 32), static_cast<std::uint32_t>(n.lo)};
    std::uint32_t q[4];
    std::uint64_t rem = 0;
    for (int i = 0; i < 4; ++i) {
        const std::uint64_t cur = (rem << 32) | limbs[i];
        q[i] = static_cast<std::uint32_t>(cur / d);
        rem = cur % d;
    }
    remainder = static_cast<std::uint32_t>(rem);
    return {(std::uint64_t{q[0]} << 32) | q[1], (std::uint64_t{q[2]} << 32) | q[3]};
}

// |value| = mant * 2^exp with mant's top bit set (64-bit significand), or mant == 0.
struct Extended {
    bool negative = false;
    std::uint64_t mant = 0;
    int exp = 0;
};

// Rounds (m + a fraction that is non-zero when sticky) * 2^exp to `bits` significant bits,
// nearest-even. Callers keep at least two bits beyond `bits` whenever sticky can be set.
std::uint64_t roundToBits(U128 m, bool sticky, int& exp, int bits) {
    const int len = m.bitLength();
    if (len <= bits) {
        assert(!sticky);
        const int up = bits - len;
        exp -= up;
        return m.shiftedLeft(up).lo;
    }
    const int drop = len - bits;
    std::uint64_t kept = m.shiftedRight(drop).lo;
    const bool half = m.bit(drop - 1);
    const bool belowHalf = m.anyBelow(drop - 1) || sticky;
    if (half && (belowHalf || (kept & 1))) {
        ++kept;
        if (bits < 64 ? kept == (std::uint64_t{1} << bits) : kept == 0) {
            kept = std::uint64_t{1} << (bits - 1);
            exp += 1;
        }
    }
    exp += drop;
    return kept;
}

Extended divide(std::uint32_t num, std::uint32_t den, bool negative) {
    if (num == 0) return {negative, 0, 0};
    const int bn = std::bit_width(num);
    const int bd = std::bit_width(den);
    // Scale so the quotient holds 66..67 bits: room for the round bit and the sticky bit.
    const int shift = 66 + bd - bn;
    std::uint32_t rem = 0;
    const U128 q = div128by32(U128{0, num}.shiftedLeft(shift), den, rem);
    int exp = -shift;
    const std::uint64_t mant = roundToBits(q, rem != 0, exp, 64);
    return {negative, mant, exp};
}

Extended multiply(const Extended& a, std::uint32_t k) {
    if (a.mant == 0) return a;
    int exp = a.exp;
    const std::uint64_t mant = roundToBits(mul64x32(a.mant, k), false, exp, 64);
    return {a.negative, mant, exp};
}

double toDouble(const Extended& a) {
    if (a.mant == 0) return a.negative ? -0.0 : 0.0;
    int exp = a.exp;
    const std::uint64_t mant = roundToBits(U128{0, a.mant}, false, exp, 53);
    const double magnitude = std::ldexp(static_cast<double>(mant), exp);  // exact: 53 bits
    return a.negative ? -magnitude : magnitude;
}

Extended fromDouble(double v) {
    if (v == 0) return {std::signbit(v), 0, 0};
    int e = 0;
    const double frac = std::frexp(std::fabs(v), &e);  // [0.5, 1)
    const auto mant53 = static_cast<std::uint64_t>(std::ldexp(frac, 53));
    return {v < 0, mant53 << 11, e - 64};
}

}  // namespace

double speedRpmPortable(std::uint32_t d) {
    Extended q = divide(1'200'000, d, false);
    q.exp -= 1;  // halving is exact
    q = multiply(q, 60);
    const std::uint64_t whole = q.exp >= 0 ? q.mant << q.exp : (q.exp <= -64 ? 0 : q.mant >> -q.exp);
    return static_cast<double>(whole);
}

Angle anglePortable(std::int32_t diff, std::uint32_t d) {
    const auto magnitude = static_cast<std::uint32_t>(diff < 0 ? -static_cast<std::int64_t>(diff) : diff);
    // A zero difference is +0 in x87 arithmetic whatever the divisor; the sign only matters
    // for non-zero quotients.
    const Extended a = multiply(divide(magnitude, d, diff < 0), 180);
    const double degrees = toDouble(a);
    return {degrees, toDouble(multiply(fromDouble(degrees), 100))};
}

Angle angle(std::int32_t diff, std::uint32_t d) {
    // The extended path rounds three times: q = diff / d and q * 180 to 64 bits, then to 53.
    // The first two move the value by less than 2^-62 of itself, so the result equals the
    // correctly rounded double of the exact diff * 180 / d unless that exact value lies within
    // 2^-62 of a halfway point between two doubles. The exact residual tells how far it lies.
    if (diff == 0) return {0.0, 0.0};
    const double n = static_cast<double>(diff) * 180.0;  // exact: below 2^32
    const double dd = static_cast<double>(d);
    const double r = n / dd;
    // r * d - n is representable (a property of correctly rounded division); computing it
    // without fused multiply-add: r's top 24 bits and its low 29 bits each multiply by a
    // 24-bit d exactly, and the first difference is exact because it is of two numbers within
    // a factor of two of each other.
    constexpr std::uint64_t kLow29 = (std::uint64_t{1} << 29) - 1;
    const double rHigh = std::bit_cast<double>(std::bit_cast<std::uint64_t>(r) & ~kLow29);
    const double rLow = r - rHigh;
    const double residual = (rHigh * dd - n) + rLow * dd;
    // The gap below |r| is never wider than the one above it, so using it only ever
    // underestimates the distance to the halfway point.
    const double magnitude = std::fabs(r);
    const double gapBelow = magnitude - std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) - 1);
    // Distance to the halfway point, times d; both terms are exact.
    const double margin = gapBelow * 0.5 * dd - std::fabs(residual);
    if (margin > std::fabs(n) * 0x1p-60) return {r, r * 100.0};
    if constexpr (kHaveNativeExtended) return angleNative(diff, d);
    else return anglePortable(diff, d);
}

}  // namespace darvelon::decoder
