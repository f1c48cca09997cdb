// Brute-force references for the splitspace search and the imager.
#include "reference.h"

#include "collision_file.h"
#include "fixed_point.h"

bool reference_cell_reached(const uint8_t* record, int cx, int cy)
{
    for (int y = 400 * cy - 10; y <= 400 * cy + 410; ++y) {
        for (int x = 400 * cx - 10; x <= 400 * cx + 410; ++x) {
            if (point_in_polygon(record, x, y)) {
                return true;
            }
        }
    }
    return false;
}

unsigned reference_splitspace_mask(const uint8_t* record)
{
    unsigned mask = 0;
    for (int cy = 0; cy < 4; ++cy) {
        for (int cx = 0; cx < 4; ++cx) {
            if (reference_cell_reached(record, cx, cy)) {
                mask |= 1u << (4 * cy + cx);
            }
        }
    }
    return mask;
}

void reference_picture(const uint8_t* data, int side, std::vector<uint8_t>& pixels)
{
    pixels.clear();
    for (int y = side - 1; y >= 0; --y) {
        for (int x = 0; x < side; ++x) {
            uint8_t blue = 0;
            uint8_t green = 0;
            uint8_t red = 0;
            const uint8_t* record = data;
            for (unsigned k = 0; get_be32(record) != DATA_END_MARKER; ++k) {
                if (point_in_polygon(record, x, y)) {
                    blue = 40;
                    green = uint8_t(10 * k);
                    red = 255;
                    break;
                }
                record = record_end(record) + 4;
            }
            pixels.insert(pixels.end(), {blue, green, red});
        }
    }
}
