// Exact "%f" formatting of floats in 64-bit integer arithmetic.
#include "float_format.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint64_t MILLION = 1000000;
constexpr float DIRECT_LIMIT = 1e12f;  // below it the value in millionths fits 64 bits

// |value| in millionths, rounded half to even: |value| = mantissa * 2^shift exactly, read from the
// float's own bits.
uint64_t millionths(float magnitude)
{
    uint32_t bits = std::bit_cast<uint32_t>(magnitude);
    uint32_t biased = bits >> 23 & 0xFF;
    uint64_t mantissa = bits & 0x7FFFFF;
    int shift = -149;  // a subnormal's
    if (biased != 0) {
        mantissa |= uint64_t(1) << 23;
        shift = int(biased) - 150;
    }
    uint64_t scaled = mantissa * MILLION;  // below 2^44
    if (shift >= 0) {
        return scaled << shift;  // magnitude < 1e12, so below 1e18
    }
    if (-shift > 62) {
        return 0;  // less than a quarter of a millionth
    }
    uint64_t quotient = scaled >> -shift;
    uint64_t remainder = scaled & ((uint64_t(1) << -shift) - 1);
    uint64_t half = uint64_t(1) << (-shift - 1);
    if (remainder > half || (remainder == half && (quotient & 1) != 0)) {
        ++quotient;
    }
    return quotient;
}

}  // namespace

float_text format_f(float value)
{
    float_text out;
    float magnitude = std::fabs(value);
    if (!(magnitude < DIRECT_LIMIT)) {
        int size = std::snprintf(out.text, sizeof out.text, "%f", double(value));
        out.size = size > 0 ? size_t(size) : 0;
        return out;
    }
    uint64_t scaled = millionths(magnitude);
    // the digits from the last, two at a time, into the end of a buffer
    static const char PAIRS[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                "8081828384858687888990919293949596979899";
    char digits[32];
    char* end = digits + sizeof digits;
    char* at = end;
    uint64_t decimals = scaled % MILLION;
    for (int pair = 0; pair < 3; ++pair) {
        at -= 2;
        std::memcpy(at, PAIRS + 2 * (decimals % 100), 2);
        decimals /= 100;
    }
    *--at = '.';
    uint64_t whole = scaled / MILLION;
    while (whole >= 100) {
        at -= 2;
        std::memcpy(at, PAIRS + 2 * (whole % 100), 2);
        whole /= 100;
    }
    if (whole >= 10) {
        at -= 2;
        std::memcpy(at, PAIRS + 2 * whole, 2);
    } else {
        *--at = char('0' + whole);
    }
    if (std::signbit(value)) {
        *--at = '-';
    }
    out.size = size_t(end - at);
    std::memcpy(out.text, at, out.size);
    out.text[out.size] = '\0';
    return out;
}
