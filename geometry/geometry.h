// The geometry core: the one home of orientation, the signed area, segments that meet and the
// inside test, on the drawing's single-precision points. Signs are decided exactly.
#pragma once

#include "drawing.h"

#include <span>
#include <vector>

// The sign of the turn from o through a to b: +1 where it turns as a filled polygon turns on the
// picture (counter-clockwise, with y growing downward), -1 the other way, 0 on a straight line.
// Exact for every pair of finite floats: a quick bound settles nearly every call, and the rest sum
// the six exact products of the expanded determinant without rounding.
int orientation(drawn_point o, drawn_point a, drawn_point b);

// The turn's size, twice the triangle's area, rounded: for measures such as a corner's fatness,
// never for a decision that must be exact.
double turn_size(drawn_point o, drawn_point a, drawn_point b);

// Twice the area that the closed outline (its first point not repeated) encloses, positive in the
// filled order; summed in double, in order.
double twice_area(std::span<const drawn_point> outline);

// Whether twice the areas of `pieces` sum exactly to twice that of `whole`, all outlines closed with
// their first point not repeated: each product of two floats is exact in double, and their sum is
// kept without rounding.
bool areas_sum_exactly(std::span<const drawn_point> whole, std::span<const std::vector<drawn_point>> pieces);

enum class point_side { outside, on_edge, inside };

// Where the point lies against a convex outline in the filled order (its first point not repeated).
point_side side_of_convex(std::span<const drawn_point> outline, drawn_point point);

// Two edges of a closed outline that meet where they must not: edge i runs from point i to the next.
struct polygon_crossing {
    bool found = false;
    size_t first_edge = 0;
    size_t second_edge = 0;
    drawn_point at = {0.0f, 0.0f};  // where they meet
};

// Whether the segments a-b and c-d cross or touch, and where.
bool segments_meet(drawn_point a, drawn_point b, drawn_point c, drawn_point d, drawn_point& at);

// The first two edges, not next to each other, that cross or touch; edges next to each other may meet
// only at their joint. A grid of squares finds the pairs to try, so a long outline costs about as
// much as its edges.
polygon_crossing find_crossing(std::span<const drawn_point> outline);

// The least and greatest x and y of the points; all 0 for none.
struct point_bounds {
    double x0 = 0.0;
    double y0 = 0.0;
    double x1 = 0.0;
    double y1 = 0.0;
};

point_bounds bounds_of(std::span<const drawn_point> points);

// How far the point is from the segment from a to b.
double distance_to_segment(drawn_point p, drawn_point a, drawn_point b);

// Whether every point of the closed ring strictly between points `from` and `to`, going round
// forward, lies within `tolerance` of the chord between them.
bool chord_holds(std::span<const drawn_point> ring, size_t from, size_t to, double tolerance);

// Which of several closed outlines (first points not repeated) meet themselves or each other anywhere
// but at the joint of two neighbouring edges: true at the index of each that does.
std::vector<bool> outlines_that_meet(std::span<const std::vector<drawn_point>> outlines);

// The sine of half the angle at `corner` between its neighbours: small for a sharp corner, where two
// stored lines meet far beyond the drawn one.
double corner_half_sine(drawn_point before, drawn_point corner, drawn_point after);

// The same, given the lengths of the edges to the corner and from it, as edge_length finds them.
double corner_half_sine(drawn_point before, drawn_point corner, drawn_point after, double before_length,
                        double after_length);

double edge_length(drawn_point from, drawn_point to);
