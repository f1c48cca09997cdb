// The polygon preparer: a text list of convex polygons in, a collision file out, in two passes.
#pragma once

#include "collision_file.h"
#include "point_search.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr int CELL_GRID = 4;               // splitspace cells per side of the working area
constexpr int CELL_SIZE = 400;             // world units per splitspace cell
constexpr int CELL_MARGIN = 10;            // each cell is searched 10 units beyond its edges
constexpr size_t MAX_RECORD_SIZE = 65535;  // what the 16-bit size_of_this_polygon_data can hold

// Pass one: reads the polygon text, logs every read and every edge, and writes the records with zero
// header words to `intermediate`. On bad input it stops and sets `error` to a line naming the input
// line and the problem.
bool pass_one(std::string_view text, std::FILE* log, std::FILE* intermediate, std::string& error);

// Pass two: fills in each record's size and splitspace mask in place and logs them.
bool pass_two(std::vector<uint8_t>& buffer, std::FILE* log, std::string& error);

// The points searched for cell (cx, cy), margins included, and the cell's bit in the mask.
point_box cell_box(int cx, int cy);
unsigned cell_bit(int cx, int cy);
unsigned splitspace_mask(std::span<const edge_equation> edges);

// The whole tool: returns its exit status.
int run_tarvex(int argc, char** argv, std::FILE* log);
