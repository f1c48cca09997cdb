// Brute-force references for the splitspace search and the imager.
#include "reference.h"

#include "collision_file.h"
#include "fixed_point.h"

unsigned reference_splitspace_mask(const uint8_t* record)
{
    unsigned mask = 0;
    for (int cy = 0; cy < 4; ++cy) {
        for (int cx = 0; cx < 4; ++cx) {
            bool found = false;
            for (int y = 400 * cy - 10; y <= 400 * cy + 410 && !found; ++y) {
                for (int x = 400 * cx - 10; x <= 400 * cx + 410 && !found; ++x) {
                    found = point_in_polygon(record, x, y);
                }
            }
            if (found) {
                mask |= 1u << (4 * cy + cx);
            }
        }
    }
    return mask;
}
