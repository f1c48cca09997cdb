// Fixed-point codec: the exact float steps between single-precision values and stored integers.
#include "fixed_point.h"

#include <cfloat>
#include <cmath>
#include <limits>

// Each step below must round to its own type exactly once, in IEEE single and double precision;
// extended-precision registers would not.
static_assert(FLT_EVAL_METHOD == 0, "float and double arithmetic must be evaluated in their own precision");
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559,
              "float and double must be IEEE 754 single and double precision");

static double scale_of(int fixed_format)
{
    bool known = fixed_format >= 0 && fixed_format < FIXED_FORMAT_COUNT;
    return known ? double(FIXED_SCALES[fixed_format]) : 1.0;
}

// single(value * scale), truncated toward zero to 32 bits, with the out-of-range cases pinned down.
static int32_t scaled_integer(int fixed_format, float value)
{
    constexpr double INT32_END = 2147483648.0;  // 2^31
    double product = double(value) * scale_of(fixed_format);
    if (std::isnan(product)) {
        return 0;
    }
    // far beyond 32 bits the float rounding cannot bring the value back into range
    if (product >= 2.0 * INT32_END) {
        return INT32_MAX;
    }
    if (product <= -2.0 * INT32_END) {
        return INT32_MIN;
    }
    float rounded = float(product);
    if (double(rounded) >= INT32_END) {
        return INT32_MAX;
    }
    if (double(rounded) < -INT32_END) {
        return INT32_MIN;
    }
    return int32_t(rounded);
}

void encode_fixed32(int fixed_format, float value, uint8_t* out)
{
    put_be32(uint32_t(scaled_integer(fixed_format, value)), out);
}

void encode_fixed16(int fixed_format, float value, uint8_t* out)
{
    put_be16(uint32_t(scaled_integer(fixed_format, value)), out);
}

static float unscale(float integer, int fixed_format)
{
    bool divides = fixed_format >= 1 && fixed_format < FIXED_FORMAT_COUNT;
    return divides ? float(double(integer) / double(FIXED_SCALES[fixed_format])) : integer;
}

float decode_fixed32(const uint8_t* in, int fixed_format)
{
    return unscale(float(int32_t(get_be32(in))), fixed_format);
}

float decode_fixed16(const uint8_t* in, int fixed_format)
{
    return unscale(float(int16_t(get_be16(in))), fixed_format);
}
