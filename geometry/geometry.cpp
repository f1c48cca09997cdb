// The geometry core's predicates. Products of two floats are exact in double (48 bits of 53, and no
// float product leaves double's range), so an exact sign needs only exact sums of such products.
#include "geometry.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <unordered_map>
#include <cmath>
#include <tuple>

namespace {

// a + b as the rounded sum and what rounding left out, exactly (Knuth's two-sum).
void two_sum(double a, double b, double& sum, double& lost)
{
    sum = a + b;
    double b_virtual = sum - a;
    double a_virtual = sum - b_virtual;
    lost = (a - a_virtual) + (b - b_virtual);
}

// A sum kept exactly as an expansion: components that do not overlap, in increasing magnitude, none
// zero. Its sign is that of its largest component. Sums of products of two floats need at most about
// 40 components, as doubles span about 2,100 bits; a few hold most.
struct exact_total {
    double components[64];
    size_t count = 0;
};

void add_exactly(exact_total& total, double value)
{
    // grow the expansion by one value (Shewchuk's Grow-Expansion, dropping zeros)
    size_t kept = 0;
    double carry = value;
    for (size_t i = 0; i < total.count; ++i) {
        double sum = 0.0;
        double lost = 0.0;
        two_sum(carry, total.components[i], sum, lost);
        carry = sum;
        if (lost != 0.0) {
            total.components[kept++] = lost;
        }
    }
    total.count = kept;
    if (carry != 0.0) {
        total.components[total.count++] = carry;
    }
}

int sign_of(const exact_total& total)
{
    return total.count == 0 ? 0 : (total.components[total.count - 1] > 0.0 ? 1 : -1);
}

// Whether a - b is exact in double.
bool difference_exact(double a, double b)
{
    double sum = 0.0;
    double lost = 0.0;
    two_sum(a, -b, sum, lost);
    return lost == 0.0;
}

// Whether a * b is exact in double, by Dekker's product: each factor split into halves of 26 bits,
// whose products are exact, and what the rounded product left out summed from them.
bool product_exact(double a, double b)
{
    constexpr double SPLITTER = 134217729.0;  // 2^27 + 1
    auto split = [](double value, double& high, double& low) {
        double c = SPLITTER * value;
        high = c - (c - value);
        low = value - high;
    };
    double product = a * b;
    double a_high = 0.0;
    double a_low = 0.0;
    double b_high = 0.0;
    double b_low = 0.0;
    split(a, a_high, a_low);
    split(b, b_high, b_low);
    double error = ((a_high * b_high - product) + a_high * b_low + a_low * b_high) + a_low * b_low;
    return error == 0.0;
}

// Whether the turn's two products of differences were computed without rounding.
bool exactly_computed(drawn_point o, drawn_point a, drawn_point b)
{
    return difference_exact(a.y, o.y) && difference_exact(b.x, o.x) && difference_exact(a.x, o.x) &&
           difference_exact(b.y, o.y) && product_exact(double(a.y) - o.y, double(b.x) - o.x) &&
           product_exact(double(a.x) - o.x, double(b.y) - o.y);
}

// What a rounded turn may be off by, relative to the size of its two products (Shewchuk's bound for
// the orientation of double points).
constexpr double EPSILON = 0x1p-53;
constexpr double TURN_ERROR_BOUND = (3.0 + 16.0 * EPSILON) * EPSILON;

}  // namespace

int orientation(drawn_point o, drawn_point a, drawn_point b)
{
    double left = (double(a.y) - o.y) * (double(b.x) - o.x);
    double right = (double(a.x) - o.x) * (double(b.y) - o.y);
    double value = left - right;
    double bound = TURN_ERROR_BOUND * (std::fabs(left) + std::fabs(right));
    if (value > bound) {
        return 1;
    }
    if (-value > bound) {
        return -1;
    }
    // on a straight line, as tiles' corners often are, the differences and products are usually exact
    // already, and then so is the rounded value's sign
    if (exactly_computed(o, a, b)) {
        return value > 0.0 ? 1 : (value < 0.0 ? -1 : 0);
    }
    // (ay - oy)(bx - ox) - (ax - ox)(by - oy), multiplied out: the oy * ox terms cancel
    exact_total total;
    for (double product : {double(a.y) * b.x, -double(a.y) * o.x, -double(o.y) * b.x, -double(a.x) * b.y,
                           double(a.x) * o.y, double(o.x) * b.y}) {
        add_exactly(total, product);
    }
    return sign_of(total);
}

double turn_size(drawn_point o, drawn_point a, drawn_point b)
{
    return (double(a.y) - o.y) * (double(b.x) - o.x) - (double(a.x) - o.x) * (double(b.y) - o.y);
}

double twice_area(std::span<const drawn_point> outline)
{
    double sum = 0.0;
    for (size_t i = 0; i < outline.size(); ++i) {
        const drawn_point& a = outline[i];
        const drawn_point& b = outline[(i + 1) % outline.size()];
        sum += double(b.x) * a.y - double(a.x) * b.y;
    }
    return sum;
}

bool areas_sum_exactly(std::span<const drawn_point> whole, std::span<const std::vector<drawn_point>> pieces)
{
    // Twice each area is a sum of exact products of two floats. In a sound split every product
    // cancels against an equal one: an edge of the whole is an edge of one piece, taken the same way,
    // and a diagonal is taken by two pieces each way. So equal products are cancelled first, by their
    // bits, and only what is left is summed, exactly.
    std::unordered_map<uint64_t, int64_t> left;  // each product's size, with how many times it counts, signed
    auto add = [&](double product, int64_t times) {
        if (product != 0.0) {
            left[std::bit_cast<uint64_t>(std::fabs(product))] += product > 0.0 ? times : -times;
        }
    };
    auto add_outline = [&](std::span<const drawn_point> outline, int64_t sign) {
        for (size_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[i];
            const drawn_point& b = outline[(i + 1) % outline.size()];
            add(double(b.x) * a.y, sign);
            add(double(a.x) * b.y, -sign);
        }
    };
    add_outline(whole, 1);
    for (const std::vector<drawn_point>& piece : pieces) {
        add_outline(piece, -1);
    }
    exact_total difference;
    for (const auto& [bits, times] : left) {
        double size = std::bit_cast<double>(bits);
        for (int64_t k = 0; k < std::abs(times); ++k) {
            add_exactly(difference, times > 0 ? size : -size);
        }
    }
    return sign_of(difference) == 0;
}

point_side side_of_convex(std::span<const drawn_point> outline, drawn_point point)
{
    point_side side = point_side::inside;
    for (size_t i = 0; i < outline.size(); ++i) {
        int turn = orientation(outline[i], outline[(i + 1) % outline.size()], point);
        if (turn < 0) {
            return point_side::outside;
        }
        if (turn == 0) {
            side = point_side::on_edge;
        }
    }
    return side;
}

namespace {

constexpr size_t PLAIN_SCAN_EDGES = 24;

// A grid of cells over bounds, about four for each thing to find, so that what lies near a place is
// found without looking at everything. A coordinate outside the bounds falls in the nearest cell.
struct search_grid {
    double x0 = 0.0;
    double y0 = 0.0;
    double cell_width = 1.0;
    double cell_height = 1.0;
    int columns = 1;
    int rows = 1;

    int column(double x) const { return std::clamp(int((x - x0) / cell_width), 0, columns - 1); }
    int row(double y) const { return std::clamp(int((y - y0) / cell_height), 0, rows - 1); }
    size_t index(int column_of, int row_of) const { return size_t(row_of) * size_t(columns) + size_t(column_of); }
    size_t size() const { return size_t(columns) * size_t(rows); }
};

// The grid for searching near the edges of closed outlines: its cells are as much wider than high
// as the edges run further across than up, so that an edge reaches few cells (a comb of tall teeth
// gets tall cells).
search_grid grid_along(std::span<const drawn_point> points)
{
    constexpr double MAX_CELLS = 1 << 22;
    point_bounds bounds = bounds_of(points);
    double width = bounds.x1 - bounds.x0;
    double height = bounds.y1 - bounds.y0;
    double across = 0.0;
    double up = 0.0;
    for (size_t i = 0; i < points.size(); ++i) {
        const drawn_point& a = points[i];
        const drawn_point& b = points[(i + 1) % points.size()];
        across += std::abs(double(b.x) - a.x);
        up += std::abs(double(b.y) - a.y);
    }
    // cells of width w and height h, w / h = across / up, w h = width height / cells
    double cells = std::clamp(4.0 * double(points.size()), 1.0, MAX_CELLS);
    double columns = across > 0.0 && up > 0.0 ? std::sqrt(cells * (width / height) * (up / across)) : cells;
    search_grid grid;
    grid.x0 = bounds.x0;
    grid.y0 = bounds.y0;
    grid.columns = width > 0.0 ? int(std::clamp(std::round(columns), 1.0, cells)) : 1;
    grid.rows = height > 0.0 ? int(std::clamp(std::round(cells / grid.columns), 1.0, cells / grid.columns)) : 1;
    grid.cell_width = std::max(width / grid.columns, 1e-30);
    grid.cell_height = std::max(height / grid.rows, 1e-30);
    return grid;
}

// Edges next to each other meet only at their joint, which turns; any other two must not meet.
bool apart(size_t count, size_t i, size_t j)
{
    return j >= i + 2 && !(i == 0 && j == count - 1);
}

// An edge of one of several closed outlines: edge `index` runs from that point to the next.
struct outline_edge {
    uint32_t outline;
    uint32_t index;
};

// The pairs of edges whose bounds share a square of a grid over them, each pair once, in the square
// where their bounds' overlap starts; the first of each pair comes first in the outlines' order.
// Neighbouring edges of one outline, which meet at their joint, are left out.
std::vector<std::pair<outline_edge, outline_edge>> nearby_edges(std::span<const std::span<const drawn_point>> outlines)
{
    struct reach {
        outline_edge edge;
        int x0, y0, x1, y1;
    };
    std::vector<drawn_point> all;
    for (std::span<const drawn_point> outline : outlines) {
        all.insert(all.end(), outline.begin(), outline.end());
    }
    std::vector<std::pair<outline_edge, outline_edge>> pairs;
    if (all.empty()) {
        return pairs;
    }
    search_grid grid = grid_along(all);
    std::vector<reach> edges;
    std::vector<std::vector<uint32_t>> squares(grid.size());
    for (uint32_t k = 0; k < outlines.size(); ++k) {
        std::span<const drawn_point> outline = outlines[k];
        for (uint32_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[i];
            const drawn_point& b = outline[(i + 1) % outline.size()];
            reach r = {{k, i}, grid.column(std::min(a.x, b.x)), grid.row(std::min(a.y, b.y)),
                       grid.column(std::max(a.x, b.x)), grid.row(std::max(a.y, b.y))};
            for (int y = r.y0; y <= r.y1; ++y) {
                for (int x = r.x0; x <= r.x1; ++x) {
                    squares[grid.index(x, y)].push_back(uint32_t(edges.size()));
                }
            }
            edges.push_back(r);
        }
    }
    for (int y = 0; y < grid.rows; ++y) {
        for (int x = 0; x < grid.columns; ++x) {
            const std::vector<uint32_t>& here = squares[grid.index(x, y)];
            for (size_t m = 0; m < here.size(); ++m) {
                for (size_t n = m + 1; n < here.size(); ++n) {
                    const reach& p = edges[std::min(here[m], here[n])];
                    const reach& q = edges[std::max(here[m], here[n])];
                    bool first_square = std::max(p.x0, q.x0) == x && std::max(p.y0, q.y0) == y;
                    bool neighbours = p.edge.outline == q.edge.outline &&
                                      !apart(outlines[p.edge.outline].size(), p.edge.index, q.edge.index);
                    if (first_square && !neighbours) {
                        pairs.emplace_back(p.edge, q.edge);
                    }
                }
            }
        }
    }
    return pairs;
}

}  // namespace

bool segments_meet(drawn_point a, drawn_point b, drawn_point c, drawn_point d, drawn_point& at)
{
    auto within = [](const drawn_point& from, const drawn_point& to, const drawn_point& p) {
        return std::min(from.x, to.x) <= p.x && p.x <= std::max(from.x, to.x) && std::min(from.y, to.y) <= p.y &&
               p.y <= std::max(from.y, to.y);
    };
    if (std::max(c.x, d.x) < std::min(a.x, b.x) || std::min(c.x, d.x) > std::max(a.x, b.x)) {
        return false;
    }
    int abc = orientation(a, b, c);
    int abd = orientation(a, b, d);
    int cda = orientation(c, d, a);
    int cdb = orientation(c, d, b);
    if (abc * abd < 0 && cda * cdb < 0) {
        double across = turn_size(c, d, a) / (turn_size(c, d, a) - turn_size(c, d, b));
        at = {float(a.x + across * (double(b.x) - a.x)), float(a.y + across * (double(b.y) - a.y))};
        return true;
    }
    for (const auto& [on, from, to, point] : {std::tuple{abc, a, b, c}, std::tuple{abd, a, b, d},
                                              std::tuple{cda, c, d, a}, std::tuple{cdb, c, d, b}}) {
        if (on == 0 && within(from, to, point)) {
            at = point;
            return true;
        }
    }
    return false;
}

polygon_crossing find_crossing(std::span<const drawn_point> points)
{
    // Only edges whose bounds share a square of a grid are tried; the pair of least (first edge,
    // second edge) that meets is the answer, as a scan of every pair in order would find first.
    size_t count = points.size();
    polygon_crossing found;
    if (count < 4) {
        return found;
    }
    if (count <= PLAIN_SCAN_EDGES) {
        // few edges: every pair in order costs less than building the grid
        for (size_t i = 0; i < count; ++i) {
            for (size_t j = i + 2; j < count; ++j) {
                drawn_point at{};
                if (apart(count, i, j) &&
                    segments_meet(points[i], points[(i + 1) % count], points[j], points[(j + 1) % count], at)) {
                    return {true, i, j, at};
                }
            }
        }
        return found;
    }
    const std::span<const drawn_point> outlines[] = {points};
    for (const auto& [p, q] : nearby_edges(outlines)) {
        size_t i = p.index;
        size_t j = q.index;
        bool earlier = !found.found || i < found.first_edge || (i == found.first_edge && j < found.second_edge);
        drawn_point at{};
        if (earlier && segments_meet(points[i], points[(i + 1) % count], points[j], points[(j + 1) % count], at)) {
            found = {true, i, j, at};
        }
    }
    return found;
}

point_bounds bounds_of(std::span<const drawn_point> points)
{
    point_bounds bounds;
    for (size_t i = 0; i < points.size(); ++i) {
        double x = points[i].x;
        double y = points[i].y;
        bounds = i == 0 ? point_bounds{x, y, x, y}
                        : point_bounds{std::min(bounds.x0, x), std::min(bounds.y0, y), std::max(bounds.x1, x),
                                       std::max(bounds.y1, y)};
    }
    return bounds;
}

double corner_half_sine(drawn_point before, drawn_point corner, drawn_point after)
{
    return corner_half_sine(before, corner, after, edge_length(before, corner), edge_length(corner, after));
}

double corner_half_sine(drawn_point before, drawn_point corner, drawn_point after, double before_length,
                        double after_length)
{
    double ux = double(before.x) - corner.x;
    double uy = double(before.y) - corner.y;
    double vx = double(after.x) - corner.x;
    double vy = double(after.y) - corner.y;
    double cosine = (ux * vx + uy * vy) / (before_length * after_length);
    return std::sqrt(std::max(0.0, (1.0 - cosine) / 2.0));
}

double edge_length(drawn_point from, drawn_point to)
{
    // the same whichever way round, as hypot takes no sign
    return std::hypot(double(to.x) - from.x, double(to.y) - from.y);
}

std::vector<bool> outlines_that_meet(std::span<const std::vector<drawn_point>> outlines)
{
    std::vector<std::span<const drawn_point>> spans(outlines.begin(), outlines.end());
    std::vector<bool> meeting(outlines.size(), false);
    for (const auto& [p, q] : nearby_edges(spans)) {
        if (meeting[p.outline] && meeting[q.outline]) {
            continue;
        }
        const std::vector<drawn_point>& one = outlines[p.outline];
        const std::vector<drawn_point>& other = outlines[q.outline];
        drawn_point at{};
        if (segments_meet(one[p.index], one[(p.index + 1) % one.size()], other[q.index],
                          other[(q.index + 1) % other.size()], at)) {
            meeting[p.outline] = true;
            meeting[q.outline] = true;
        }
    }
    return meeting;
}

double distance_to_segment(drawn_point p, drawn_point a, drawn_point b)
{
    double dx = double(b.x) - a.x;
    double dy = double(b.y) - a.y;
    double px = double(p.x) - a.x;
    double py = double(p.y) - a.y;
    double length = dx * dx + dy * dy;
    double t = length > 0.0 ? std::clamp((px * dx + py * dy) / length, 0.0, 1.0) : 0.0;
    return std::hypot(px - t * dx, py - t * dy);
}

bool chord_holds(std::span<const drawn_point> ring, size_t from, size_t to, double tolerance)
{
    for (size_t i = (from + 1) % ring.size(); i != to; i = (i + 1) % ring.size()) {
        if (distance_to_segment(ring[i], ring[from], ring[to]) > tolerance) {
            return false;
        }
    }
    return true;
}
