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
#include <bit>
#include <cassert>
#include <cmath>
#include <numeric>
#include <utility>

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
        int far_x = edge.c3 >= 0.0f ? box.x1 : box.x0;  // where the distance is largest
        int far_y = edge.c2 >= 0.0f ? box.y1 : box.y0;
        if (!is_inside(edge, far_x, far_y)) {
            std::swap(edge, edges[0]);  // the neighbouring boxes are likely outside it too
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
    assert(is_inside(edge, x_in, y) && !is_inside(edge, x_out, y));
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

bool is_empty(const point_box& box)
{
    return box.x0 > box.x1 || box.y0 > box.y1;
}

bool is_leaf(const point_box& box)
{
    return int64_t(box.y1) - box.y0 < ROW_LEAF_HEIGHT;
}

// The two halves of a box that is not a leaf. The longer side is split, so that boxes shrink toward
// the polygon's outline from every direction; the first half is never the smaller.
std::pair<point_box, point_box> split_box(const point_box& box)
{
    point_box first = box;
    point_box second = box;
    if (int64_t(box.x1) - box.x0 >= int64_t(box.y1) - box.y0) {
        first.x1 = std::midpoint(box.x0, box.x1);
        second.x0 = first.x1 + 1;
    } else {
        first.y1 = std::midpoint(box.y0, box.y1);
        second.y0 = first.y1 + 1;
    }
    return {first, second};
}

// Whether the box holds a point inside every edge. The search reorders `edges`, never changing which
// edges it holds.
bool search_box(std::span<edge_equation> edges, const point_box& box)
{
    size_t cutting = 0;
    switch (classify_box(edges, box, cutting)) {
    case box_cover::none:
        return false;
    case box_cover::all:
        return true;
    case box_cover::part:
        break;
    }
    std::span<edge_equation> active = edges.first(cutting);
    if (is_leaf(box)) {
        for (int64_t y = box.y0; y <= box.y1; ++y) {
            int lo = box.x0;
            int hi = box.x1;
            if (inside_run(active, int(y), lo, hi)) {
                return true;
            }
        }
        return false;
    }
    auto [first, second] = split_box(box);
    return search_box(active, first) || search_box(active, second);
}

// Claims: one bit per point says whether it is taken, and every box of the split tree keeps its
// count of taken points and the bounds of its free ones. The tree is that of the search above, so a
// box's halves are always the same two boxes.

constexpr int WORD_BITS = 64;
constexpr size_t ROOT_NODE = 1;  // the boxes are numbered as in a heap: box n has halves 2n and 2n + 1

uint64_t box_area(const point_box& box)
{
    return uint64_t(int64_t(box.x1) - box.x0 + 1) * uint64_t(int64_t(box.y1) - box.y0 + 1);
}

// The largest number that a box of the split tree below `box` gets.
size_t last_node(const point_box& box, size_t node)
{
    if (is_leaf(box)) {
        return node;
    }
    auto [first, second] = split_box(box);
    return std::max(last_node(first, 2 * node), last_node(second, 2 * node + 1));
}

uint64_t* row_bits(point_claims& claims, int y)
{
    return &claims.taken[size_t(int64_t(y) - claims.box.y0) * claims.row_words];
}

// The bits of word `word` that lie within the bit range first..last.
uint64_t range_bits(int64_t first, int64_t last, int64_t word)
{
    int64_t low = std::max<int64_t>(first - word * WORD_BITS, 0);
    int64_t high = std::min<int64_t>(last - word * WORD_BITS, WORD_BITS - 1);
    return (~uint64_t(0) >> (WORD_BITS - 1 - high)) & (~uint64_t(0) << low);
}

// Narrows x0..x1 to the first and last free point of row y; false when none is free.
bool free_bounds(point_claims& claims, int y, int& x0, int& x1)
{
    const uint64_t* row = row_bits(claims, y);
    int64_t first = int64_t(x0) - claims.box.x0;
    int64_t last = int64_t(x1) - claims.box.x0;
    int64_t lo = -1;
    int64_t hi = -1;
    for (int64_t word = first / WORD_BITS; word <= last / WORD_BITS; ++word) {
        uint64_t free = range_bits(first, last, word) & ~row[word];
        if (free != 0) {
            if (lo < 0) {
                lo = word * WORD_BITS + std::countr_zero(free);
            }
            hi = word * WORD_BITS + WORD_BITS - 1 - std::countl_zero(free);
        }
    }
    if (lo < 0) {
        return false;
    }
    x0 = int(claims.box.x0 + lo);
    x1 = int(claims.box.x0 + hi);
    return true;
}

// Claims the free points x0..x1 of row y, appends them as spans and returns how many there were.
uint64_t claim_run(point_claims& claims, int y, int x0, int x1, std::vector<row_span>& spans)
{
    uint64_t* row = row_bits(claims, y);
    int64_t first = int64_t(x0) - claims.box.x0;
    int64_t last = int64_t(x1) - claims.box.x0;
    uint64_t claimed = 0;
    int64_t run_end = -2;  // the bit after the span appended last, so that runs across words join up
    for (int64_t word = first / WORD_BITS; word <= last / WORD_BITS; ++word) {
        uint64_t fresh = range_bits(first, last, word) & ~row[word];
        row[word] |= fresh;
        while (fresh != 0) {
            int start = std::countr_zero(fresh);
            int end = start + std::countr_one(fresh >> start);
            fresh = end == WORD_BITS ? 0 : fresh & ~((uint64_t(1) << end) - 1);
            claimed += uint64_t(end - start);
            int64_t run_start = word * WORD_BITS + start;
            int x_end = int(claims.box.x0 + word * WORD_BITS + end - 1);
            if (run_start == run_end) {
                spans.back().x1 = x_end;
            } else {
                spans.push_back({y, int(claims.box.x0 + run_start), x_end});
            }
            run_end = word * WORD_BITS + end;
        }
    }
    return claimed;
}

// The bounds of the free points of a leaf box, found from their bits.
point_box free_bounds_of_leaf(point_claims& claims, const point_box& box)
{
    point_box bounds = {box.x1, box.y1, box.x0, box.y0};  // empty until a free point widens it
    for (int64_t y = box.y0; y <= box.y1; ++y) {
        int lo = box.x0;
        int hi = box.x1;
        if (free_bounds(claims, int(y), lo, hi)) {
            bounds = {std::min(bounds.x0, lo), std::min(bounds.y0, int(y)), std::max(bounds.x1, hi), int(y)};
        }
    }
    return bounds;
}

// The smallest box around two boxes, either of which may be empty.
point_box joined(const point_box& a, const point_box& b)
{
    if (is_empty(a)) {
        return b;
    }
    if (is_empty(b)) {
        return a;
    }
    return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

// The bounds of a box's free points: the box itself until some are taken, empty once all are.
point_box free_part(const point_claims& claims, const point_box& box, size_t node)
{
    if (claims.box_taken[node] == 0) {
        return box;
    }
    if (claims.box_taken[node] == box_area(box)) {
        return {box.x1, box.y1, box.x0, box.y0};
    }
    return claims.box_free[node];
}

// Claims the free points of the box inside every edge and returns how many there were. The edges
// are tested against the bounds of the free points alone; a box whose points are all taken is left
// at once.
uint64_t claim_box(std::span<edge_equation> edges, const point_box& box, size_t node, point_claims& claims,
                   std::vector<row_span>& spans)
{
    point_box free = free_part(claims, box, node);
    if (is_empty(free)) {
        return 0;
    }
    size_t cutting = 0;
    box_cover cover = classify_box(edges, free, cutting);
    if (cover == box_cover::none) {
        return 0;
    }
    std::span<edge_equation> active = edges.first(cutting);
    uint64_t claimed = 0;
    if (cover == box_cover::all) {
        // every free point is claimed: the box is full now, and the boxes below it are never visited
        // again, so their counts may stay as they are
        for (int64_t y = free.y0; y <= free.y1; ++y) {
            claimed += claim_run(claims, int(y), free.x0, free.x1, spans);
        }
    } else if (is_leaf(box)) {
        bool all_free = claims.box_taken[node] == 0;
        for (int64_t y = free.y0; y <= free.y1; ++y) {
            int lo = free.x0;
            int hi = free.x1;
            if ((all_free || free_bounds(claims, int(y), lo, hi)) && inside_run(active, int(y), lo, hi)) {
                claimed += claim_run(claims, int(y), lo, hi, spans);
            }
        }
    } else {
        auto [first, second] = split_box(box);
        claimed =
            claim_box(active, first, 2 * node, claims, spans) + claim_box(active, second, 2 * node + 1, claims, spans);
    }
    if (claimed == 0) {
        return 0;
    }
    claims.box_taken[node] += claimed;
    if (claims.box_taken[node] < box_area(box)) {
        if (is_leaf(box)) {
            claims.box_free[node] = free_bounds_of_leaf(claims, free);
        } else {
            auto [first, second] = split_box(box);
            claims.box_free[node] = joined(free_part(claims, first, 2 * node), free_part(claims, second, 2 * node + 1));
        }
    }
    return claimed;
}

// Where the lines of two edges meet, in plain double arithmetic; false when they are parallel.
bool line_corner(const edge_equation& a, const edge_equation& b, double& x, double& y)
{
    double determinant = double(a.c3) * b.c2 - double(a.c2) * b.c3;
    if (determinant == 0.0) {
        return false;
    }
    x = (double(a.c2) * b.c1 - double(b.c2) * a.c1) / determinant;
    y = (double(b.c3) * a.c1 - double(a.c3) * b.c1) / determinant;
    return true;
}

// A corner of a convex polygon in plain double arithmetic.
struct real_corner {
    double x;
    double y;
};

// Polygons with more edges are bounded by their area alone: clipping keeps up to four corners more
// than it has edges.
constexpr size_t MAX_BOUNDED_EDGES = 28;

// More than edge_distance's rounding can hide of a point's distance anywhere within 2048 units of
// the origin: its two products lose at most 2^-24 of themselves when rounded to single, its two sums
// 2^-53 of theirs, and the last rounding turns nothing negative into zero but what lies below 2^-150.
double rounding_slack(const edge_equation& edge)
{
    constexpr double REACH = 2048.0;
    return 0x1p-20 * (std::fabs(double(edge.c1)) + REACH * (std::fabs(double(edge.c2)) + std::fabs(double(edge.c3)))) +
           0x1p-100;
}

// Keeps the part of the polygon `corners` where c1 + y * c2 + x * c3 >= -slack, as real numbers, in
// `kept`, and returns how many corners that has.
size_t clip_corners(const edge_equation& edge, const real_corner* corners, size_t count, real_corner* kept)
{
    double slack = rounding_slack(edge);
    auto value = [&](const real_corner& p) { return double(edge.c1) + p.y * edge.c2 + p.x * edge.c3 + slack; };
    size_t kept_count = 0;
    double first_value = count != 0 ? value(corners[0]) : 0.0;
    double va = first_value;
    for (size_t i = 0; i < count; ++i) {
        const real_corner& a = corners[i];
        const real_corner& b = corners[i + 1 == count ? 0 : i + 1];
        double vb = i + 1 == count ? first_value : value(b);
        if (va >= 0.0) {
            kept[kept_count++] = a;
        }
        if ((va >= 0.0) != (vb >= 0.0)) {
            double t = va / (va - vb);
            kept[kept_count++] = {a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
        }
        va = vb;
    }
    return kept_count;
}

}  // namespace

point_box inside_bounds(std::span<const edge_equation> edges, const point_box& area)
{
    if (is_empty(area) || area.x0 < -2000 || area.y0 < -2000 || area.x1 > 2000 || area.y1 > 2000 ||
        edges.size() > MAX_BOUNDED_EDGES) {
        return area;
    }
    real_corner buffers[2][MAX_BOUNDED_EDGES + 4] = {{{double(area.x0), double(area.y0)},
                                                      {double(area.x1), double(area.y0)},
                                                      {double(area.x1), double(area.y1)},
                                                      {double(area.x0), double(area.y1)}}};
    size_t count = 4;
    int current = 0;
    for (const edge_equation& edge : edges) {
        count = clip_corners(edge, buffers[current], count, buffers[1 - current]);
        current = 1 - current;
    }
    if (count == 0) {
        return area;  // nothing to bound, by a judgement too close for plain arithmetic to make alone
    }
    double x0 = INFINITY;
    double y0 = INFINITY;
    double x1 = -INFINITY;
    double y1 = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        const real_corner& corner = buffers[current][i];
        x0 = std::min(x0, corner.x);
        y0 = std::min(y0, corner.y);
        x1 = std::max(x1, corner.x);
        y1 = std::max(y1, corner.y);
    }
    // a unit wider each way than the clipped polygon, whose own rounding is far below a unit
    return {std::max(area.x0, int(std::floor(x0)) - 1), std::max(area.y0, int(std::floor(y0)) - 1),
            std::min(area.x1, int(std::ceil(x1)) + 1), std::min(area.y1, int(std::ceil(y1)) + 1)};
}

bool point_inside(std::span<const edge_equation> edges, int x, int y)
{
    return std::all_of(edges.begin(), edges.end(), [&](const edge_equation& edge) { return is_inside(edge, x, y); });
}

bool any_point_inside(std::span<const edge_equation> edges, const point_box& box)
{
    std::vector<edge_equation> scratch(edges.begin(), edges.end());
    return any_point_inside_in_place(scratch, box);
}

bool any_point_inside_in_place(std::span<edge_equation> edges, const point_box& box)
{
    return !is_empty(box) && search_box(edges, box);
}

bool middle_point(std::span<const edge_equation> edges, int& x, int& y)
{
    double sum_x = 0.0;
    double sum_y = 0.0;
    size_t corners = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
        double corner_x = 0.0;
        double corner_y = 0.0;
        if (line_corner(edges[i], edges[(i + 1) % edges.size()], corner_x, corner_y)) {
            sum_x += corner_x;
            sum_y += corner_y;
            ++corners;
        }
    }
    if (corners == 0) {
        return false;
    }
    double middle_x = std::round(sum_x / double(corners));
    double middle_y = std::round(sum_y / double(corners));
    if (!(std::fabs(middle_x) < 1e9 && std::fabs(middle_y) < 1e9)) {
        return false;
    }
    x = int(middle_x);
    y = int(middle_y);
    return point_inside(edges, x, y);
}

void start_claims(point_claims& claims, const point_box& box)
{
    claims.box = box;
    if (is_empty(box)) {
        claims.row_words = 0;
        claims.taken.clear();
        claims.box_taken.assign(ROOT_NODE + 1, 0);
        claims.box_free.resize(ROOT_NODE + 1);
        return;
    }
    size_t width = size_t(int64_t(box.x1) - box.x0 + 1);
    size_t height = size_t(int64_t(box.y1) - box.y0 + 1);
    claims.row_words = (width + WORD_BITS - 1) / WORD_BITS;
    claims.taken.assign(claims.row_words * height, 0);
    size_t nodes = last_node(box, ROOT_NODE) + 1;
    claims.box_taken.assign(nodes, 0);
    claims.box_free.resize(nodes);
}

bool all_claimed(const point_claims& claims)
{
    return is_empty(claims.box) || claims.box_taken[ROOT_NODE] == box_area(claims.box);
}

void claim_inside(std::span<const edge_equation> edges, point_claims& claims, std::vector<row_span>& spans)
{
    if (all_claimed(claims)) {
        return;
    }
    std::vector<edge_equation> active(edges.begin(), edges.end());
    claim_box(active, claims.box, ROOT_NODE, claims, spans);
}
