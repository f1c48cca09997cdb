// Finding the integer points inside a polygon record without testing them one by one. The answers
// are those of testing every point with edge_distance: only that function decides.
#pragma once

#include "collision_file.h"

#include <cassert>
#include <cstdint>
#include <span>
#include <vector>

// The integer points x0..x1 by y0..y1, bounds included; empty when x0 > x1 or y0 > y1.
struct point_box {
    int x0;
    int y0;
    int x1;
    int y1;
};

// The integer points of the working area, one pixel each of the imager's picture.
constexpr point_box WORKING_AREA = {0, 0, WORKING_SIDE - 1, WORKING_SIDE - 1};

// The points searched for splitspace cell (cx, cy), margins included, and the cell's bit in the mask.
inline point_box cell_box(int cx, int cy)
{
    assert(cx >= 0 && cx < CELL_GRID && cy >= 0 && cy < CELL_GRID);
    int x0 = CELL_SIZE * cx - CELL_MARGIN;
    int y0 = CELL_SIZE * cy - CELL_MARGIN;
    return {x0, y0, x0 + CELL_SIZE + 2 * CELL_MARGIN, y0 + CELL_SIZE + 2 * CELL_MARGIN};
}

inline unsigned cell_bit(int cx, int cy)
{
    assert(cx >= 0 && cx < CELL_GRID && cy >= 0 && cy < CELL_GRID);
    return 1u << (CELL_GRID * cy + cx);
}

// The points x0..x1 of row y.
struct row_span {
    int y;
    int x0;
    int x1;
};

// True when the point is inside every edge.
bool point_inside(std::span<const edge_equation> edges, int x, int y);

// True when some point of the box is inside every edge.
bool any_point_inside(std::span<const edge_equation> edges, const point_box& box);

// The same search on edges that it reorders, never changing which edges they are, so that the many
// searches of one polygon share one copy of its edges, and each starts with the edge that settled
// the one before.
bool any_point_inside_in_place(std::span<edge_equation> edges, const point_box& box);

// A box within `area` that holds every point of the area inside the edges, found in plain arithmetic
// with more room than rounding can take, so that searches may leave out the rest of the area. The
// area must lie within 2000 units of the origin; the whole area comes back for any other.
point_box inside_bounds(std::span<const edge_equation> edges, const point_box& area);

// The integer point nearest the middle of the corners where each two consecutive edges' lines meet,
// when every edge holds it: one test that settles, for most polygons, that a box around it holds a
// point inside them. False when there is no such point.
bool middle_point(std::span<const edge_equation> edges, int& x, int& y);

// The points of a box that polygons claim in turn: each point goes to the first polygon that
// contains it. Besides one bit per point, it keeps for every box that the search splits the whole
// box into how many of its points are taken and the bounds of those still free. A polygon is tested
// against those bounds only, so a box whose points are all taken is never searched again, and a
// polygon costs only the boxes where points are still free.
struct point_claims {
    point_box box;
    size_t row_words = 0;             // 64-bit words per row of `taken`
    std::vector<uint64_t> taken;      // one bit per point, row by row
    std::vector<uint64_t> box_taken;  // taken points per box of the split tree, numbered from 1
    std::vector<point_box> box_free;  // the bounds of a box's free points, once some are taken
};

void start_claims(point_claims& claims, const point_box& box);

// True when every point of the claims' box is taken.
bool all_claimed(const point_claims& claims);

// Claims the free points inside every edge and appends them as row spans: each point once, rows in
// no particular order, and a row may come as several spans.
void claim_inside(std::span<const edge_equation> edges, point_claims& claims, std::vector<row_span>& spans);
