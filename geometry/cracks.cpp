// Cracks: points that two polygons sharing an edge in the drawing both hold as drawn, or one of
// them does, but that no stored polygon holds, because each stored edge lies off its drawn line by
// the rounding of its values. Only the edges that two polygons share are looked at, found by hashing,
// and the points lost are those that the imager leaves to no polygon.
#include "checks.h"

#include "fixed_point.h"
#include "geometry.h"
#include "picture.h"
#include "point_search.h"
#include "watertight.h"

#include <algorithm>
#include <cassert>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t NO_EDGE = UINT32_MAX;

// A stored edge as the integers the collision file holds: a point is inside when
// c1 + y * c2 + x * c3 >= 0. In the working area every float step of edge_distance is exact, so this
// is the same test.
struct raw_edge {
    int64_t c1;
    int64_t c2;
    int64_t c3;
};

raw_edge raw_edge_at(std::span<const uint8_t> records, size_t record_offset, size_t edge)
{
    const uint8_t* at = records.data() + record_offset + HEADER_WORD_SIZE + edge * EDGE_RECORD_SIZE;
    return {int32_t(get_be32(at)), int16_t(get_be16(at + 4)), int16_t(get_be16(at + 6))};
}

int64_t floor_divide(int64_t a, int64_t b)
{
    assert(b > 0);
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int64_t raw_distance(const raw_edge& edge, int64_t x, int64_t y)
{
    return edge.c1 + y * edge.c2 + x * edge.c3;
}

// Both ends of edge `edge` of a polygon's outline.
struct segment {
    drawn_point a;
    drawn_point b;
};

segment edge_of(const compiled_view& first, const compiled_polygon& polygon, size_t edge)
{
    const drawn_point* outline = first.points.data() + polygon.first;
    return {outline[edge], outline[(edge + 1) % polygon.count]};
}

uint64_t point_key(const drawn_point& point)
{
    return uint64_t(std::bit_cast<uint32_t>(point.x)) << 32 | std::bit_cast<uint32_t>(point.y);
}

uint64_t mix(uint64_t value)
{
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    return value;
}

uint64_t directed_hash(const drawn_point& a, const drawn_point& b)
{
    return mix(point_key(a) * 31 + mix(point_key(b)));
}

bool same_point(const drawn_point& a, const drawn_point& b)
{
    return a.x == b.x && a.y == b.y;
}

// Two polygons whose outlines share an edge, each in its own direction.
struct shared_edge {
    uint32_t first_polygon;
    uint32_t first_edge;
    uint32_t second_polygon;
    uint32_t second_edge;
};

// The edges that a later polygon has in common with an earlier one, found through a hash of the
// directed edges: a shared edge runs the other way round in the neighbour.
// `partner` gets, for the first point of each outline edge, the number of the shared edge it is, or
// NO_EDGE.
std::vector<shared_edge> find_shared_edges(const compiled_view& first, std::vector<uint32_t>& partner)
{
    partner.assign(first.points.size(), NO_EDGE);
    std::vector<uint32_t> owner(first.points.size(), NO_EDGE);  // the polygon of each point
    for (size_t k = 0; k < first.polygons.size(); ++k) {
        const compiled_polygon& polygon = first.polygons[k];
        if (polygon.sound) {
            std::fill_n(owner.begin() + polygon.first, polygon.count, uint32_t(k));
        }
    }
    size_t slots = std::bit_ceil(std::max<size_t>(16, 2 * first.points.size()));
    std::vector<uint32_t> table(slots, NO_EDGE);  // the first point of each directed edge
    std::vector<shared_edge> shared;
    for (size_t k = 0; k < first.polygons.size(); ++k) {
        const compiled_polygon& polygon = first.polygons[k];
        if (!polygon.sound) {
            continue;
        }
        for (uint32_t i = 0; i < polygon.count; ++i) {
            segment edge = edge_of(first, polygon, i);
            // the same edge the other way round, drawn by an earlier polygon
            for (size_t slot = directed_hash(edge.b, edge.a) & (slots - 1); table[slot] != NO_EDGE;
                 slot = (slot + 1) & (slots - 1)) {
                uint32_t other = owner[table[slot]];
                const compiled_polygon& neighbour = first.polygons[other];
                uint32_t j = table[slot] - neighbour.first;
                segment theirs = edge_of(first, neighbour, j);
                if (other != k && same_point(theirs.a, edge.b) && same_point(theirs.b, edge.a) &&
                    partner[table[slot]] == NO_EDGE) {
                    partner[table[slot]] = partner[polygon.first + i] = uint32_t(shared.size());
                    shared.push_back({other, j, uint32_t(k), i});
                    break;
                }
            }
            size_t slot = directed_hash(edge.a, edge.b) & (slots - 1);
            while (table[slot] != NO_EDGE) {
                slot = (slot + 1) & (slots - 1);
            }
            table[slot] = polygon.first + i;
        }
    }
    return shared;
}

// Whether the drawn polygon holds the point: it is convex and counter-clockwise on the picture, so
// the point lies on the inner side of every edge, or on it.
bool drawn_holds(const compiled_view& first, const compiled_polygon& polygon, int x, int y)
{
    return side_of_convex(first.points.subspan(polygon.first, polygon.count), {float(x), float(y)}) !=
           point_side::outside;
}

// The drawn polygon's bounding box, rounded outward.
point_box reach_of(const compiled_view& first, const compiled_polygon& polygon)
{
    const drawn_point* outline = first.points.data() + polygon.first;
    float x0 = outline[0].x;
    float x1 = x0;
    float y0 = outline[0].y;
    float y1 = y0;
    for (size_t i = 1; i < polygon.count; ++i) {
        x0 = std::min(x0, outline[i].x);
        x1 = std::max(x1, outline[i].x);
        y0 = std::min(y0, outline[i].y);
        y1 = std::max(y1, outline[i].y);
    }
    auto clamp = [](double value) { return int(std::clamp(value, -1.0, double(WORKING_SIDE))); };
    return {clamp(std::floor(x0)), clamp(std::floor(y0)), clamp(std::ceil(x1)), clamp(std::ceil(y1))};
}

// The stored polygon's points on row y, as the range lo..hi of x; empty when lo > hi.
void stored_row(const compiled_view& first, const compiled_polygon& polygon, int64_t y, int64_t& lo, int64_t& hi)
{
    for (size_t i = 0; i < polygon.edge_count && lo <= hi; ++i) {
        raw_edge edge = raw_edge_at(first.records, polygon.record_offset, i);
        int64_t rest = edge.c1 + y * edge.c2;  // inside where rest + x * c3 >= 0
        if (edge.c3 == 0) {
            hi = rest >= 0 ? hi : lo - 1;
        } else if (edge.c3 > 0) {
            lo = std::max(lo, -floor_divide(rest, edge.c3));  // x >= ceil(-rest / c3)
        } else {
            hi = std::min(hi, floor_divide(rest, -edge.c3));  // x <= floor(rest / -c3)
        }
    }
}

// The drawn polygon's points on row y lie in lo..hi; the range may hold a few more, which
// drawn_holds tells apart.
void drawn_row(const compiled_view& first, const compiled_polygon& polygon, double y, int64_t& lo, int64_t& hi)
{
    double x0 = -INFINITY;
    double x1 = INFINITY;
    for (size_t i = 0; i < polygon.count; ++i) {
        segment edge = edge_of(first, polygon, i);
        double dy = double(edge.b.y) - edge.a.y;  // inside where (x - ax) * dy >= (y - ay) * dx
        if (dy == 0.0) {
            continue;  // a level edge bounds the rows, not the columns
        }
        double bound = double(edge.a.x) + (y - edge.a.y) * (double(edge.b.x) - edge.a.x) / dy;
        if (dy > 0.0) {
            x0 = std::max(x0, bound);
        } else {
            x1 = std::min(x1, bound);
        }
    }
    lo = std::max(lo, int64_t(std::max(std::floor(x0) - 1.0, double(lo))));
    hi = std::min(hi, int64_t(std::min(std::ceil(x1) + 1.0, double(hi))));
}

// Whether every drawn vertex lies inside every stored edge, so that no point of the drawn polygon
// can be lost.
bool stored_contains_drawn(const compiled_view& first, const compiled_polygon& polygon)
{
    std::span<const drawn_point> outline = first.points.subspan(polygon.first, polygon.count);
    for (size_t i = 0; i < polygon.edge_count; ++i) {
        if (!stored_edge_holds(outline, first.records.data() + polygon.record_offset + HEADER_WORD_SIZE +
                                            i * EDGE_RECORD_SIZE)) {
            return false;
        }
    }
    return true;
}

double distance_to(const segment& edge, double x, double y)
{
    double dx = double(edge.b.x) - edge.a.x;
    double dy = double(edge.b.y) - edge.a.y;
    double t = std::clamp(((x - edge.a.x) * dx + (y - edge.a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - edge.a.x - t * dx, y - edge.a.y - t * dy);
}

// What one shared edge loses.
struct crack {
    size_t points = 0;
    size_t widest = 0;  // the most points lost in one row
    int x = 0;          // the middle of that row's lost points
    int y = 0;
    int row = -1;       // the row being counted, and its points so far
    size_t in_row = 0;
    int row_x0 = 0;
};

void count_lost(crack& found, int x, int y)
{
    if (y != found.row) {
        found.row = y;
        found.in_row = 0;
        found.row_x0 = x;
    }
    ++found.points;
    if (++found.in_row > found.widest) {
        found.widest = found.in_row;
        found.x = (found.row_x0 + x) / 2;
        found.y = y;
    }
}

// The shared edge of the polygon whose gap holds the lost point: the nearest edge that the point
// lies outside of in both polygons' stored copies. NO_EDGE for a point that the polygon loses on its
// own, as the tip of a thin corner is lost, which is no crack.
uint32_t crack_of(const compiled_view& first, std::span<const shared_edge> shared, std::span<const uint32_t> partner,
                  const compiled_polygon& polygon, int x, int y)
{
    uint32_t nearest = NO_EDGE;
    double nearest_distance = INFINITY;
    for (size_t i = 0; i < polygon.count; ++i) {
        uint32_t id = partner[polygon.first + i];
        if (id == NO_EDGE) {
            continue;
        }
        const shared_edge& edge = shared[id];
        const compiled_polygon& p = first.polygons[edge.first_polygon];
        const compiled_polygon& q = first.polygons[edge.second_polygon];
        bool in_gap = raw_distance(raw_edge_at(first.records, p.record_offset, edge.first_edge), x, y) < 0 &&
                      raw_distance(raw_edge_at(first.records, q.record_offset, edge.second_edge), x, y) < 0;
        double distance = distance_to(edge_of(first, polygon, i), x, y);
        if (in_gap && distance < nearest_distance) {
            nearest = id;
            nearest_distance = distance;
        }
    }
    return nearest;
}

// A point that a polygon holds as drawn but not as stored: lost unless another stored polygon holds
// it.
struct lost_point {
    uint32_t polygon;
    int x;
    int y;
};

// The drawn polygons by the squares of the working area that their outlines reach, to find a stored
// polygon that holds a point without drawing them all.
constexpr int INDEX_SQUARE = 32;
constexpr int INDEX_SIDE = (WORKING_SIDE + INDEX_SQUARE - 1) / INDEX_SQUARE;

struct reach_index {
    std::vector<uint32_t> starts;  // where each square's polygons start in `polygons`, and one end
    std::vector<uint32_t> polygons;
};

// The squares of the index that a polygon's outline reaches.
point_box squares_reached(const compiled_view& first, const compiled_polygon& polygon)
{
    point_box reach = reach_of(first, polygon);
    return {std::max(reach.x0, 0) / INDEX_SQUARE, std::max(reach.y0, 0) / INDEX_SQUARE,
            std::min(reach.x1, WORKING_SIDE - 1) / INDEX_SQUARE, std::min(reach.y1, WORKING_SIDE - 1) / INDEX_SQUARE};
}

reach_index index_reaches(const compiled_view& first)
{
    reach_index index;
    index.starts.assign(size_t(INDEX_SIDE * INDEX_SIDE) + 1, 0);
    for (const compiled_polygon& polygon : first.polygons) {
        point_box squares = squares_reached(first, polygon);
        for (int y = squares.y0; y <= squares.y1; ++y) {
            for (int x = squares.x0; x <= squares.x1; ++x) {
                ++index.starts[size_t(y * INDEX_SIDE + x) + 1];
            }
        }
    }
    for (size_t square = 1; square < index.starts.size(); ++square) {
        index.starts[square] += index.starts[square - 1];
    }
    index.polygons.resize(index.starts.back());
    std::vector<uint32_t> filled(index.starts.begin(), index.starts.end() - 1);
    for (size_t k = 0; k < first.polygons.size(); ++k) {
        point_box squares = squares_reached(first, first.polygons[k]);
        for (int y = squares.y0; y <= squares.y1; ++y) {
            for (int x = squares.x0; x <= squares.x1; ++x) {
                index.polygons[filled[size_t(y * INDEX_SIDE + x)]++] = uint32_t(k);
            }
        }
    }
    return index;
}

bool stored_holds(const compiled_view& first, const compiled_polygon& polygon, int x, int y)
{
    for (size_t i = 0; i < polygon.edge_count; ++i) {
        if (raw_distance(raw_edge_at(first.records, polygon.record_offset, i), x, y) < 0) {
            return false;
        }
    }
    return true;
}

// Whether a stored polygon drawn near the point holds it; false says nothing.
bool held_nearby(const compiled_view& first, const reach_index& index, int x, int y)
{
    size_t square = size_t(y / INDEX_SQUARE * INDEX_SIDE + x / INDEX_SQUARE);
    for (uint32_t at = index.starts[square]; at < index.starts[square + 1]; ++at) {
        if (stored_holds(first, first.polygons[index.polygons[at]], x, y)) {
            return true;
        }
    }
    return false;
}

// Whether the polygon may lose points along an edge that it shares: its stored edges leave out some
// vertex as drawn.
bool may_lose_points(const compiled_view& first, std::span<const uint32_t> partner, const compiled_polygon& polygon)
{
    bool shares = polygon.sound && std::any_of(partner.begin() + polygon.first,
                                               partner.begin() + polygon.first + polygon.count,
                                               [](uint32_t id) { return id != NO_EDGE; });
    return shares && !stored_contains_drawn(first, polygon);
}

// Appends the points that polygon k holds as drawn but not as stored, row by row, leaving out those
// `seen` already.
void lost_by_polygon(const compiled_view& first, uint32_t k, std::vector<bool>& seen,
                     std::vector<lost_point>& points)
{
    const compiled_polygon& polygon = first.polygons[k];
    const point_box& area = WORKING_AREA;
    point_box reach = reach_of(first, polygon);
    for (int y = std::max(reach.y0, area.y0); y <= std::min(reach.y1, area.y1); ++y) {
        int64_t drawn_lo = area.x0;
        int64_t drawn_hi = area.x1;
        drawn_row(first, polygon, y, drawn_lo, drawn_hi);
        int64_t stored_lo = drawn_lo;
        int64_t stored_hi = drawn_hi;
        stored_row(first, polygon, y, stored_lo, stored_hi);
        for (int64_t x = drawn_lo; x <= drawn_hi; ++x) {
            if (stored_lo <= stored_hi && x == stored_lo) {
                x = stored_hi;  // the stored polygon holds these
                continue;
            }
            int xi = int(x);
            size_t index = size_t(y) * WORKING_SIDE + size_t(xi);
            if (!seen[index] && drawn_holds(first, polygon, xi, y)) {
                seen[index] = true;
                points.push_back({k, xi, y});
            }
        }
    }
}

}  // namespace

void find_cracks(const compiled_view& first, warning_list& warnings)
{
    std::vector<uint32_t> partner;
    std::vector<shared_edge> shared = find_shared_edges(first, partner);
    std::vector<uint32_t> losing;
    for (size_t k = 0; k < first.polygons.size() && !shared.empty(); ++k) {
        if (may_lose_points(first, partner, first.polygons[k])) {
            losing.push_back(uint32_t(k));
        }
    }
    if (losing.empty()) {
        return;
    }
    // the points that a polygon holds as drawn but not as stored and that no other stored polygon
    // holds are lost, and those in the gap along a shared edge are its crack; often a polygon drawn
    // nearby holds each, and nothing is lost
    std::vector<bool> seen(size_t(WORKING_SIDE) * WORKING_SIDE, false);
    std::vector<lost_point> points;
    reach_index index = index_reaches(first);
    bool all_held = true;
    for (size_t i = 0; i < losing.size() && all_held; ++i) {
        points.clear();
        lost_by_polygon(first, losing[i], seen, points);
        all_held = std::all_of(points.begin(), points.end(), [&](const lost_point& point) {
            return held_nearby(first, index, point.x, point.y);
        });
    }
    if (all_held) {
        return;
    }
    // else the imager's drawing tells which are held
    record_walk walk = walk_records(first.records);
    std::vector<uint32_t> owners;
    render_owners(first.records.data(), walk.records, WORKING_SIDE, owners);
    seen.assign(seen.size(), false);
    std::vector<crack> cracks(shared.size());
    for (uint32_t k : losing) {
        points.clear();
        lost_by_polygon(first, k, seen, points);
        for (const lost_point& point : points) {
            if (owners[size_t(point.y) * WORKING_SIDE + size_t(point.x)] != NO_POLYGON) {
                continue;
            }
            uint32_t id = crack_of(first, shared, partner, first.polygons[k], point.x, point.y);
            if (id != NO_EDGE) {
                count_lost(cracks[id], point.x, point.y);
            }
        }
    }
    for (size_t id = 0; id < shared.size(); ++id) {
        const crack& found = cracks[id];
        if (found.points == 0) {
            continue;
        }
        const shared_edge& edge = shared[id];
        const compiled_polygon& p = first.polygons[edge.first_polygon];
        const compiled_polygon& q = first.polygons[edge.second_polygon];
        char text[256];
        std::snprintf(text, sizeof text,
                      "polygons %u and %u (lines %zu and %zu) leave a crack near (%d,%d): %zu point%s drawn "
                      "inside them %s in no stored polygon; --watertight closes it",
                      edge.first_polygon, edge.second_polygon, size_t(p.where.line), size_t(q.where.line), found.x, found.y, found.points,
                      found.points == 1 ? "" : "s", found.points == 1 ? "is" : "are");
        add_warning(warnings, warning_kind::crack, q.where, text, {float(found.x), float(found.y)});
        warnings.points_in_cracks += found.points;
    }
}
