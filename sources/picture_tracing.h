// Pictures as a source: the solid pixels of a mask, or of a sprite's alpha, traced into outlines
// that neither cross nor touch, holes cut open, ready to be mended into convex pieces. Pixel (x, y) is
// the unit square round the point (x, y), as the imager draws the point, x to the right and y downward;
// at the picture's edge the square ends at the point.
#pragma once

#include "drawing.h"
#include "map_model.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct trace_settings {
    int threshold = 128;     // the alpha from which a pixel is solid; without alpha, not black is solid
    double tolerance = 1.0;  // how far an outline may stray from the pixels' edges, in units
    double min_area = 4.0;   // regions and holes of fewer square units are dropped
};

// Pictures larger than this are refused: their mask alone would outgrow what a level needs.
constexpr int MAX_PICTURE_SIDE = 16384;
constexpr uint64_t MAX_PICTURE_PIXELS = uint64_t(1) << 25;

// Whether the name is that of a picture: .png or .tga.
bool names_picture(const std::string& name);

struct pixel_mask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> solid;  // row by row, 1 where solid
};

// Decodes a PNG or TGA picture into its mask. False, with the reason, when it cannot be decoded.
[[nodiscard]] bool decode_mask(std::span<const uint8_t> bytes, int threshold, pixel_mask& mask, std::string& problem);

// A traced outline: its corners, and the pixel where its region's outline starts (the region's top
// left pixel), which names it in messages.
struct traced_outline {
    std::vector<drawn_point> points;
    int32_t pixel_x;
    int32_t pixel_y;
};

struct tracing {
    std::vector<traced_outline> outlines;  // without holes, in the filled order
    std::vector<std::vector<drawn_point>> pixel_edges;  // the solid pixels' own outlines, as traced
    size_t regions_dropped = 0;  // smaller than the least area
    size_t holes_dropped = 0;
};

// Traces the mask: pixel edges between solid and empty followed into loops, the solid pixels that
// meet only at a corner kept apart; regions and holes under the least area dropped; each loop
// simplified within the tolerance while no loop crosses or touches itself or another; each region cut
// through its holes. False, with the reason, when a region has more holes than can be cut.
[[nodiscard]] bool trace_mask(const pixel_mask& mask, const trace_settings& settings, tracing& traced,
                              std::string& problem);

// Adds the traced outlines to the drawing, placed by the settings' scale and offset; each a shape
// whose source is the picture (the drawing's first file) and its starting pixel.
void add_traced(const tracing& traced, const map_settings& placement, drawing& drawn);
