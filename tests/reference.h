// Plain references written straight from the tools' definitions: every point tested, one by one.
// The fast searches must agree with them on every input.
#pragma once

#include <cstdint>
#include <vector>

// The splitspace mask of the record at `record`: each cell's square searched point by point, rows
// outer, until a point inside is found.
unsigned reference_splitspace_mask(const uint8_t* record);

// The picture of side x side pixels: for every pixel the records walked from the first, by markers,
// until one contains the point.
void reference_picture(const uint8_t* data, int side, std::vector<uint8_t>& pixels);
