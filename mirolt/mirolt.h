// The collision imager: a collision file rendered into a TGA picture, one shade per polygon.
#pragma once

#include "collision_file.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

constexpr int IMAGE_SIDE = 1600;  // pixels per side, one per world unit
constexpr size_t PIXEL_SIZE = 3;  // blue, green, red
constexpr size_t TGA_HEADER_SIZE = 18;

// Polygon k, counted from 0 in file order, is drawn blue 40, green 10 * k modulo 256, red 255.
constexpr uint8_t POLYGON_BLUE = 40;
constexpr unsigned POLYGON_GREEN_STEP = 10;
constexpr uint8_t POLYGON_RED = 255;

// Renders the picture of side x side pixels: each pixel takes the colour of the first polygon that
// contains its point, black if none does. Rows are stored from y = side - 1 down to y = 0.
// `records` come from walk_records over `data`.
void render_picture(const uint8_t* data, std::span<const polygon_record> records, int side,
                    std::vector<uint8_t>& pixels);

// The whole tool: returns its exit status.
int run_mirolt(int argc, char** argv, std::FILE* log);
