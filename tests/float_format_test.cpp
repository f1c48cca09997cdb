// The fast "%f" text against printf itself.
#include "float_format.h"

#include "support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

std::string printf_f(float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", double(value));
    return text;
}

TEST(FloatFormat, MatchesPrintfOnTiesSignsAndExtremes)
{
    // clang-format off
    const float values[] = {
        0.0f, -0.0f, 1.0f, -1.0f, 10.0f, 0.5f, 1.5f, 511.744f, -128.3f, 1599.0f, 8355711.5f,
        0.0078125f, 0.0234375f, -0.0078125f,  // exact ties at the sixth decimal: half to even
        4.9999999e-7f, 5e-7f, 1.5e-6f, -2.4e-7f, 1e-30f,  // around half a millionth, and tiny negatives
        std::numeric_limits<float>::denorm_min(), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::min(), 999999.9999995f, 8388609.0f,  // the mantissa is the value itself, shifted by 0
        1e12f, -1e12f, 999999995904.0f, 1e20f,
        std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
    };
    // clang-format on
    for (float value : values) {
        EXPECT_EQ(format_f(value).text, printf_f(value)) << std::hexfloat << value;
    }
}

TEST(FloatFormat, MatchesPrintfOnRandomFloats)
{
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> world(-2000.0f, 2000.0f);
    for (int round = 0; round < 200000; ++round) {
        float value = 0.0f;
        if (round % 2 == 0) {
            auto bits = uint32_t(rng());
            std::memcpy(&value, &bits, sizeof value);  // any float at all
            if (std::isnan(value)) {
                continue;
            }
        } else {
            value = world(rng);
        }
        ASSERT_EQ(format_f(value).text, printf_f(value)) << std::hexfloat << value;
    }
}

}  // namespace
