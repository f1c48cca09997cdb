// Plain references written straight from the tools' definitions: every point tested, one by one.
// The fast searches must agree with them on every input.
#pragma once

#include <cstdint>
#include <vector>

// The splitspace mask of the record at `record`: each cell's square searched point by point, rows
// outer, until a point inside is found.
unsigned reference_splitspace_mask(const uint8_t* record);
