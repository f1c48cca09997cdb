// Fuzz target: any bytes as a collision file for the engines' reader. It must never read outside the
// buffer; a file it accepts must be one the imager's walk accepts too, and its answers must be the
// imager's: the first record that holds a point, and the records whose masks name a cell.
#include "collision_file.h"
#include "collision_reader.h"
#include "fixed_point.h"

#include <cstdlib>
#include <vector>

namespace {

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // a copy of just the size, so that the sanitizers see any read past it
    std::vector<uint8_t> bytes(data, data + size);
    cr_file file;
    if (cr_open(&file, bytes.data(), bytes.size()) != CR_OK) {
        return 0;
    }
    record_walk walk = walk_records(bytes);
    require(walk.error == walk_error::none && walk.records.size() == file.record_count);
    // a few points, chosen by the bytes, against the imager's own test
    for (int k = 0; k < 8; ++k) {
        int x = int(size * 37 + size_t(k) * 211) % 1700 - 50;
        int y = int(size * 91 + size_t(k) * 157) % 1700 - 50;
        long expected = -1;
        for (size_t number = 0; number < walk.records.size() && expected < 0; ++number) {
            expected = point_in_polygon(bytes.data() + walk.records[number].offset, x, y) ? long(number) : -1;
        }
        require(cr_record_at_point(&file, x, y) == expected);
    }
    size_t numbers[16];
    for (int cell = 0; cell < 16; ++cell) {
        size_t count = cr_records_in_cell(&file, cell % 4, cell / 4, numbers, 16);
        size_t named = 0;
        for (const polygon_record& record : walk.records) {
            named += (get_be16(bytes.data() + record.offset + 2) >> cell & 1) != 0;
        }
        require(count == named);
    }
    return 0;
}
