// Plain references: every point tested, one by one, and every record walked from the first.
// The fast searches must agree with them on every input.
#pragma once

#include <cstdint>
#include <vector>

// Whether the record at `record` contains a point of cell (cx, cy)'s square, margins included:
// searched point by point, rows outer, until a point inside is found.
bool reference_cell_reached(const uint8_t* record, int cx, int cy);

// The splitspace mask: bit 4 * cy + cx for each cell reached.
unsigned reference_splitspace_mask(const uint8_t* record);

// The picture of side x side pixels as the TGA file stores it: for every pixel the records walked
// from the first, by markers, until one contains the point.
void reference_picture(const uint8_t* data, int side, std::vector<uint8_t>& pixels);
