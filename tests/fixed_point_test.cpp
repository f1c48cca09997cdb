// The fixed-point codec: truncation, wrapping, byte order and the defined results for odd values.
#include "fixed_point.h"

#include "support.h"

#include <cmath>
#include <limits>

namespace {

constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
constexpr float INFINITE = std::numeric_limits<float>::infinity();

struct encode_case {
    const char* name;
    int fixed_format;
    float value;
    const char* bytes32;
    const char* bytes16;
};

const encode_case ENCODE_CASES[] = {
    {"one and a half has 8 fraction bits", 2, 1.5f, "00 00 01 80", "01 80"},
    {"minus one is two's complement", 2, -1.0f, "FF FF FF 00", "FF 00"},
    {"minus half a step truncates to zero", 2, -0.001953125f, "00 00 00 00", "00 00"},
    {"positive values truncate toward zero", 0, 511.744f, "00 00 01 FF", "01 FF"},
    {"negative values truncate toward zero", 0, -128.3f, "FF FF FF 80", "FF 80"},
    {"the 16-bit form wraps without saturating", 2, 200.0f, "00 00 C8 00", "C8 00"},
    {"format 1 scales by 16", 1, 2.5f, "00 00 00 28", "00 28"},
    {"format 3 scales by 65536", 3, -0.5f, "FF FF 80 00", "80 00"},
    {"the 16-bit form keeps the low bits of a large value", 3, 8388607.5f / 65536.0f, "00 7F FF FF", "FF FF"},
    {"NaN stores zero", 2, NOT_A_NUMBER, "00 00 00 00", "00 00"},
    {"infinity saturates", 2, INFINITE, "7F FF FF FF", "FF FF"},
    {"minus infinity saturates", 2, -INFINITE, "80 00 00 00", "00 00"},
    {"beyond 32 bits saturates", 2, 1e20f, "7F FF FF FF", "FF FF"},
    {"exactly -2^31 still fits", 0, -2147483648.0f, "80 00 00 00", "00 00"},
    {"the first unknown format uses scale 1", 4, 3.75f, "00 00 00 03", "00 03"},
    {"a negative format uses scale 1", -1, 3.75f, "00 00 00 03", "00 03"},
};

TEST(FixedPoint, EncodesByTruncatingTheSingleProduct)
{
    for (const encode_case& test : ENCODE_CASES) {
        SCOPED_TRACE(test.name);
        uint8_t out32[4];
        uint8_t out16[2];
        encode_fixed32(test.fixed_format, test.value, out32);
        encode_fixed16(test.fixed_format, test.value, out16);
        EXPECT_EQ(std::vector<uint8_t>(out32, out32 + 4), hex(test.bytes32));
        EXPECT_EQ(std::vector<uint8_t>(out16, out16 + 2), hex(test.bytes16));
    }
}

TEST(FixedPoint, DecodesSignedBigEndianIntegers)
{
    EXPECT_EQ(decode_fixed32(hex("80 00 00 00").data(), 2), -8388608.0f);
    EXPECT_EQ(decode_fixed32(hex("00 00 0A 00").data(), 2), 10.0f);
    EXPECT_EQ(decode_fixed32(hex("FF FF FF FF").data(), 3), -1.0f / 65536.0f);
    EXPECT_EQ(decode_fixed16(hex("01 00").data(), 0), 256.0f);
    EXPECT_EQ(decode_fixed16(hex("01 00").data(), 2), 1.0f);
    EXPECT_EQ(decode_fixed16(hex("FF 80").data(), 0), -128.0f);
    EXPECT_EQ(decode_fixed16(hex("C8 00").data(), 2), -56.0f);
    EXPECT_EQ(decode_fixed16(hex("00 28").data(), 1), 2.5f);
    EXPECT_EQ(decode_fixed16(hex("00 03").data(), 4), 3.0f);  // an unknown format does not divide
    // beyond 24 bits the integer itself rounds to single before the division
    EXPECT_EQ(decode_fixed32(hex("01 00 00 01").data(), 0), 16777216.0f);
}

TEST(FixedPoint, EveryStoredEdgeValueSurvivesARoundTrip)
{
    for (int raw = -32768; raw <= 32767; raw += 7) {
        uint8_t in[2];
        put_be16(unsigned(raw), in);
        float value = decode_fixed16(in, 2);
        uint8_t out[2];
        encode_fixed16(2, value, out);
        ASSERT_EQ(get_be16(out), get_be16(in)) << raw;
    }
}

TEST(FixedPoint, BigEndianWordsDoNotDependOnTheHost)
{
    uint8_t word[2];
    put_be16(0x12345, word);  // only the low 16 bits are stored
    EXPECT_EQ(word[0], 0x23);
    EXPECT_EQ(word[1], 0x45);
    EXPECT_EQ(get_be32(hex("80 80 80 81").data()), 0x80808081u);
}

}  // namespace
