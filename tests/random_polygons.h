// Seeded polygon makers for the sameness tests and the benchmarks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

struct vertex {
    float x;
    float y;
};

// The corners in text order; the text repeats the first corner to close the polygon.
using polygon = std::vector<vertex>;

// `count` corners on the ellipse of radii rx, ry around (cx, cy), turned by `turn` radians, snapped to
// multiples of `grid` (0: not snapped), in the order that fills the polygon on the picture.
polygon ellipse_polygon(std::mt19937& rng, double cx, double cy, double rx, double ry, double turn, int count,
                        double grid);

// A polygon of a randomly chosen kind: ordinary, tiny, a thin sliver, hugging a cell border, listed
// backwards (it contains at most a line), or a single corner (no edges, so it contains everything
// when `allow_empty` is set). Centres lie in lo..hi.
polygon random_test_polygon(std::mt19937& rng, double lo, double hi, bool allow_empty);

// The convex hull of the corners, without corners on its edges, in the order that fills it.
polygon convex_hull(polygon corners);

// The polygon text of these polygons, in CR LF lines.
std::string polygons_text(const std::vector<polygon>& polygons);

// A rectangle tiled by a jittered grid of nx by ny quadrilaterals, some split into two triangles, the
// corners at three decimals: convex polygons that share whole edges, each in the filled order.
std::vector<polygon> tiled_rectangle(uint32_t seed, int nx, int ny);

// Whether the polygon, convex and in the filled order, holds the point; a point on an edge counts.
bool drawn_polygon_holds(const polygon& corners, double x, double y);

// A map of `count` convex polygons of radius 4 to 40 with their centres in the working area.
std::string random_map(uint32_t seed, size_t count);
