// Exact "%f" formatting of floats in 64-bit integer arithmetic.
#include "float_format.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace {

constexpr uint64_t MILLION = 1000000;
constexpr float DIRECT_LIMIT = 1e12f;  // below it the value in millionths fits 64 bits
constexpr int FLOAT_DIGITS = 24;       // significant bits of a float

// |value| in millionths, rounded half to even: |value| = mantissa * 2^shift exactly.
uint64_t millionths(float magnitude)
{
    int exponent = 0;
    float fraction = std::frexp(magnitude, &exponent);
    uint64_t mantissa = uint64_t(std::ldexp(fraction, FLOAT_DIGITS));
    int shift = exponent - FLOAT_DIGITS;
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
        std::snprintf(out.text, sizeof out.text, "%f", double(value));
        return out;
    }
    uint64_t scaled = millionths(magnitude);
    char* at = out.text;
    if (std::signbit(value)) {
        *at++ = '-';
    }
    char whole_digits[20];
    int count = 0;
    uint64_t whole = scaled / MILLION;
    do {
        whole_digits[count++] = char('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    while (count > 0) {
        *at++ = whole_digits[--count];
    }
    *at++ = '.';
    uint64_t decimals = scaled % MILLION;
    for (int place = 5; place >= 0; --place) {
        at[place] = char('0' + decimals % 10);
        decimals /= 10;
    }
    at[6] = '\0';
    return out;
}
