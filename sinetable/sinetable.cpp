// Sine table generation, in the single-precision steps that the consumer's table is made with.
#include "sinetable.h"

#include "command_line.h"
#include "file_io.h"
#include "fixed_point.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float SINE_DIVISOR = 256.0f;
constexpr float TURN = 6.2831855f;  // 2 pi rounded to single, bits 0x40C90FDB

// This tool's usage line names the imager's program; the text is part of what callers see.
const char* const USAGE = "Usage: mirolt.exe outputname\r\n";
const char* const HELP = "Usage: mirolt.exe outputname\r\n"
                         "Writes the sine table: one full turn in 256 signed 16-bit big-endian entries,\r\n"
                         "16384 standing for 1.0, 512 bytes in all.\r\n"
                         "\r\n"
                         "Options:\r\n"
                         "  -h, --help  show this text\r\n"
                         "  --version   show the version\r\n"
                         "  --          end the options, for a name that starts with '-'\r\n"
                         "\r\n"
                         "README.md describes the table, the messages and the exit statuses.\r\n";

}  // namespace

void encode_sine16(float value, uint8_t* out)
{
    float scaled = float(double(SINE_SCALE) * double(value));
    // a sine never leaves -1..1; anything else stores 0 rather than overflow the conversion
    int32_t integer = std::fabs(scaled) <= SINE_SCALE ? int32_t(scaled) : 0;
    put_be16(unsigned(integer), out);
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

int run_sinetable(int argc, char** argv, std::FILE* log, std::FILE* errors)
{
    command_line command = read_command_line(argc, argv, {"sinetable", USAGE, HELP, {}, 1});
    if (command.answer) {
        return answer_command(*command.answer, log, errors);
    }
    const char* output_name = command.names[0];
    uint8_t table[SINE_TABLE_SIZE];
    make_sine_table(table);
    int error = 0;
    if (!write_output_file(output_name, table, sizeof table, error)) {
        return report_failure("sinetable", log, errors, output_failure_text(output_name, error));
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}
