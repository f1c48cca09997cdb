// Sine table generation, in the single-precision steps that the consumer's table was made with.
#include "sinetable.h"

#include "file_io.h"
#include "fixed_point.h"

#include <cmath>
#include <cstring>

constexpr float SINE_DIVISOR = 256.0f;
constexpr float TURN = 6.2831855f;  // 2 pi rounded to single, bits 0x40C90FDB

void encode_sine16(float value, uint8_t* out)
{
    float scaled = float(double(SINE_SCALE) * double(value));
    put_be16(unsigned(int32_t(scaled)), out);
}

void make_sine_table(uint8_t* table)
{
    for (int i = 0; i < SINE_ENTRIES; ++i) {
        float t = float(i);
        float u = float(double(t) / double(SINE_DIVISOR));
        float a = float(double(TURN) * double(u));
        float s = float(std::sin(double(a)));
        encode_sine16(s, table + 2 * i);
    }
}

int run_sinetable(int argc, char** argv, std::FILE* log)
{
    if (argc != 2) {
        // the text names the imager; it has always been this tool's usage line
        std::fputs("Usage: mirolt.exe outputname\r\n", log);
        return 0;
    }
    uint8_t table[SINE_TABLE_SIZE];
    make_sine_table(table);
    int error = 0;
    if (!write_output_file(argv[1], table, sizeof table, error)) {
        std::fprintf(log, "Couldn't write %s: %s.\r\n", argv[1], std::strerror(error));
        return 1;
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}
