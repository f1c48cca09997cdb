// Point search over boxes, exact by monotonicity.
//
// For a fixed row, edge_distance never decreases in x when c3 >= 0 and never increases when c3 < 0:
// each of its steps (a product rounded to single, a sum in double, a rounding to single) is monotone.
// The same holds in y with the sign of c2. So over a box an edge's distance is largest at one corner
// and smallest at the opposite one, and along a row the points inside one edge form one unbroken
// run. Two evaluations of the exact function therefore tell whether an edge keeps all, none or part
// of a box, and a binary search finds where a row crosses an edge. Rounding can move a boundary but
// never lets a decision differ from testing the points one by one.
#include "point_search.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace {

constexpr int ROW_LEAF_HEIGHT = 8;  // boxes this low are settled row by row rather than split

enum class box_cover { none, all, part };

bool is_inside(const edge_equation& edge, int x, int y)
{
    return !(0.0f > edge_distance(edge, x, y));
}

// Classifies the box, moving the edges that cut it to the front of `edges` and counting them in
// `cutting`. An edge that keeps the whole box keeps every box inside it, so the search below this box
// looks at the cutting edges alone.
box_cover classify_box(std::span<edge_equation> edges, const point_box& box, size_t& cutting)
{
    cutting = 0;
    for (edge_equation& edge : edges) {
        int far_x = edge.c3 >= 0.0f ? box.x1 : box.x0;   // where the distance is largest
        int far_y = edge.c2 >= 0.0f ? box.y1 : box.y0;
        if (!is_inside(edge, far_x, far_y)) {
            return box_cover::none;
        }
        int near_x = edge.c3 >= 0.0f ? box.x0 : box.x1;  // and smallest
        int near_y = edge.c2 >= 0.0f ? box.y0 : box.y1;
        if (!is_inside(edge, near_x, near_y)) {
            std::swap(edge, edges[cutting++]);
        }
    }
    return cutting == 0 ? box_cover::all : box_cover::part;
}

bool farther_than_one(int a, int b)
{
    return std::abs(int64_t(a) - int64_t(b)) > 1;
}

// Moves x_in or x_out to x, whichever side of the edge x lies on.
void narrow(const edge_equation& edge, int y, int x, int& x_in, int& x_out)
{
    if (is_inside(edge, x, y)) {
        x_in = x;
    } else {
        x_out = x;
    }
}

// On row y, the point nearest x_out that is still inside the edge, given that x_in is inside and
// x_out is not.
int last_inside(const edge_equation& edge, int y, int x_in, int x_out)
{
    // on exactly stored edges the answer sits beside the line's real crossing of the row, so probe
    // there first; the bisection below finishes the job whatever the rounding did
    double crossing = -(double(edge.c1) + double(y) * double(edge.c2)) / double(edge.c3);
    double below = std::floor(crossing);
    for (double probe : {below, below + 1.0}) {
        if (probe > double(std::min(x_in, x_out)) && probe < double(std::max(x_in, x_out))) {
            narrow(edge, y, int(probe), x_in, x_out);
        }
    }
    while (farther_than_one(x_in, x_out)) {
        narrow(edge, y, std::midpoint(x_in, x_out), x_in, x_out);
    }
    return x_in;
}

// Narrows lo..hi to the points of row y inside every edge; false when there are none.
bool inside_run(std::span<const edge_equation> edges, int y, int& lo, int& hi)
{
    for (const edge_equation& edge : edges) {
        bool lo_inside = is_inside(edge, lo, y);
        bool hi_inside = is_inside(edge, hi, y);
        if (lo_inside && hi_inside) {
            continue;
        }
        if (!lo_inside && !hi_inside) {
            return false;
        }
        if (lo_inside) {
            hi = last_inside(edge, y, lo, hi);
        } else {
            lo = last_inside(edge, y, hi, lo);
        }
    }
    return true;
}

// Collects the inside points of the box into `spans`; without `spans`, stops at the first one.
// Returns whether there is any. The search reorders `edges`, never changing which edges it holds.
bool search_box(std::span<edge_equation> edges, const point_box& box, std::vector<row_span>* spans)
{
    size_t cutting = 0;
    switch (classify_box(edges, box, cutting)) {
    case box_cover::none:
        return false;
    case box_cover::all:
        for (int64_t y = box.y0; spans && y <= box.y1; ++y) {
            spans->push_back({int(y), box.x0, box.x1});
        }
        return true;
    case box_cover::part:
        break;
    }
    std::span<edge_equation> active = edges.first(cutting);

    if (int64_t(box.y1) - box.y0 < ROW_LEAF_HEIGHT) {
        bool found = false;
        for (int64_t y = box.y0; y <= box.y1; ++y) {
            int lo = box.x0;
            int hi = box.x1;
            if (inside_run(active, int(y), lo, hi)) {
                if (!spans) {
                    return true;
                }
                spans->push_back({int(y), lo, hi});
                found = true;
            }
        }
        return found;
    }

    // split the longer side so that boxes shrink toward the polygon's outline from every direction
    point_box first = box;
    point_box second = box;
    if (int64_t(box.x1) - box.x0 >= int64_t(box.y1) - box.y0) {
        first.x1 = std::midpoint(box.x0, box.x1);
        second.x0 = first.x1 + 1;
    } else {
        first.y1 = std::midpoint(box.y0, box.y1);
        second.y0 = first.y1 + 1;
    }
    bool found = search_box(active, first, spans);
    if (found && !spans) {
        return true;
    }
    return search_box(active, second, spans) || found;
}

bool is_empty(const point_box& box)
{
    return box.x0 > box.x1 || box.y0 > box.y1;
}

}  // namespace

bool any_point_inside(std::span<const edge_equation> edges, const point_box& box)
{
    std::vector<edge_equation> active(edges.begin(), edges.end());
    return !is_empty(box) && search_box(active, box, nullptr);
}

void inside_spans(std::span<const edge_equation> edges, const point_box& box, std::vector<row_span>& spans)
{
    std::vector<edge_equation> active(edges.begin(), edges.end());
    if (!is_empty(box)) {
        search_box(active, box, &spans);
    }
}
