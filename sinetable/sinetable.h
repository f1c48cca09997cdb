// The sine table generator: one full turn in 256 signed 16-bit big-endian entries, 16384 = 1.0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int SINE_ENTRIES = 256;
constexpr float SINE_SCALE = 16384.0f;  // 14 fraction bits
constexpr size_t SINE_TABLE_SIZE = 2 * SINE_ENTRIES;

// Stores single(SINE_SCALE * value), truncated toward zero, as 16 bits, high byte first. A value
// outside -1..1, which no sine takes, stores 0.
void encode_sine16(float value, uint8_t* out);

// Fills the 512-byte table.
void make_sine_table(uint8_t* table);

// The whole tool: the log goes to `log`, reasons for people to `errors`. Returns the exit status.
int run_sinetable(int argc, char** argv, std::FILE* log, std::FILE* errors);
