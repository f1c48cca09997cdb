// Signed big-endian fixed-point numbers: the form in which every fractional value reaches the consumer.
#pragma once

#include <cstdint>

// fixed_format 0..3 picks the scale: the encoders multiply by it, the decoders divide by it.
constexpr int FIXED_FORMAT_COUNT = 4;
constexpr float FIXED_SCALES[FIXED_FORMAT_COUNT] = {1.0f, 16.0f, 256.0f, 65536.0f};

// The encoders compute single(value * scale) in double precision and truncate it toward zero to a
// signed 32-bit integer, so 511.744 stores 511 and -128.3 stores -128. The 16-bit form keeps the low
// 16 bits of that integer: it wraps, it does not saturate (200.0 in format 2 stores C8 00).
// Defined results beyond the system's own data: a fixed_format outside 0..3 uses scale 1.0, NaN
// stores 0, and a scaled value outside the 32-bit range stores INT32_MIN or INT32_MAX.
void encode_fixed32(int fixed_format, float value, uint8_t* out);
void encode_fixed16(int fixed_format, float value, uint8_t* out);

// The decoders read a two's-complement integer and return single(integer / scale); a fixed_format
// outside 0..3 decodes as format 0, without division.
float decode_fixed32(const uint8_t* in, int fixed_format);
float decode_fixed16(const uint8_t* in, int fixed_format);

// Big-endian words, written and read byte by byte so nothing depends on the host.
inline void put_be16(unsigned value, uint8_t* out)
{
    out[0] = uint8_t(value >> 8);
    out[1] = uint8_t(value);
}

// The one little-endian form: the 16-bit fields of the imager's TGA header.
inline void put_le16(unsigned value, uint8_t* out)
{
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
}

inline uint16_t get_be16(const uint8_t* in)
{
    return uint16_t(in[0] << 8 | in[1]);
}

inline void put_be32(uint32_t value, uint8_t* out)
{
    out[0] = uint8_t(value >> 24);
    out[1] = uint8_t(value >> 16);
    out[2] = uint8_t(value >> 8);
    out[3] = uint8_t(value);
}

inline uint32_t get_be32(const uint8_t* in)
{
    return uint32_t(in[0]) << 24 | uint32_t(in[1]) << 16 | uint32_t(in[2]) << 8 | uint32_t(in[3]);
}
