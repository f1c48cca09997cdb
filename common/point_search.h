// Finding the integer points inside a polygon record without testing them one by one. The answers
// are those of testing every point with edge_distance: only that function decides.
#pragma once

#include "collision_file.h"

#include <span>
#include <vector>

// The integer points x0..x1 by y0..y1, bounds included; empty when x0 > x1 or y0 > y1.
struct point_box {
    int x0;
    int y0;
    int x1;
    int y1;
};

// The points x0..x1 of row y.
struct row_span {
    int y;
    int x0;
    int x1;
};

// True when some point of the box is inside every edge.
bool any_point_inside(std::span<const edge_equation> edges, const point_box& box);

// Appends the inside points of the box as row spans: each point once, rows in no particular order,
// and a row may come as several adjacent spans.
void inside_spans(std::span<const edge_equation> edges, const point_box& box, std::vector<row_span>& spans);
