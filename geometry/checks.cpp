// The checks on each polygon as compiled: the mistakes that make the stored shape differ from the
// drawn one, or vanish. They read the drawn coordinates and never change what is stored.
#include "checks.h"

#include "geometry.h"
#include "point_search.h"

#include <algorithm>
#include <cmath>

namespace {

// Whether the way from o through a and on to b goes straight back: a and b lie on the same side of o.
double dot(drawn_point o, drawn_point a, drawn_point b)
{
    return (double(a.x) - o.x) * (double(b.x) - o.x) + (double(a.y) - o.y) * (double(b.y) - o.y);
}

void add(warning_list& warnings, warning_kind kind, drawn_point mark, place where, size_t number,
         const std::string& words)
{
    add_warning(warnings, kind, where, "polygon " + std::to_string(number) + words, mark);
}

size_t distinct_points(std::span<const drawn_point> outline)
{
    std::vector<std::pair<float, float>> points;
    for (const drawn_point& vertex : outline) {
        points.push_back({vertex.x, vertex.y});
    }
    std::sort(points.begin(), points.end());
    return size_t(std::unique(points.begin(), points.end()) - points.begin());
}

bool all_on_one_line(std::span<const drawn_point> outline)
{
    drawn_point origin = outline.front();
    auto other = std::find_if(outline.begin(), outline.end(), [&](const drawn_point& vertex) {
        return vertex.x != origin.x || vertex.y != origin.y;
    });
    for (const drawn_point& vertex : outline) {
        if (orientation(origin, *other, vertex) != 0) {
            return false;
        }
    }
    return true;
}

// Which half of the turn a direction points into: the directions from +x (included) round to -x.
bool in_first_half(double x, double y)
{
    return y > 0.0 || (y == 0.0 && x > 0.0);
}

// Where a convex outline would break: at the first vertex, in text order, where it turns against the
// others or doubles back, or where its direction enters the first half of the turn a second time,
// as the outline winds round again.
struct convexity_break {
    bool found = false;
    size_t vertex = 0;  // where, in the outline; the first vertex stands for the closing one
    bool winds_again = false;
};

// `outline` is closed, its first vertex not repeated; `area` is twice its signed area.
convexity_break find_convexity_break(std::span<const drawn_point> outline, double area)
{
    size_t count = outline.size();
    int way = area > 0.0 ? 1 : (area < 0.0 ? -1 : 0);
    int half_turns_entered = 0;
    for (size_t step = 1; step <= count; ++step) {
        size_t i = step % count;
        drawn_point before = outline[(i + count - 1) % count];
        drawn_point here = outline[i];
        drawn_point after = outline[(i + 1) % count];
        int corner = orientation(before, here, after);
        if (way == 0) {
            way = corner;  // an outline whose area cancels out: its first turn sets the way
        }
        bool against = corner * way < 0 || (corner == 0 && dot(here, before, after) > 0.0);  // or straight back
        // turning one way, the direction enters each half of the turn once per round
        bool incoming = in_first_half(double(here.x) - before.x, double(here.y) - before.y);
        bool outgoing = in_first_half(double(after.x) - here.x, double(after.y) - here.y);
        if (!incoming && outgoing) {
            ++half_turns_entered;
        }
        if (against || half_turns_entered > 1) {
            return {true, i, !against};
        }
    }
    return {};
}

bool holds_point(std::span<const edge_equation> edges, int x, int y)
{
    return std::none_of(edges.begin(), edges.end(),
                        [&](const edge_equation& edge) { return 0.0f > edge_distance(edge, x, y); });
}

// Whether the stored polygon holds a point of the working area. Most polygons hold the point nearest
// the middle of their vertices. Failing that, the search looks around the drawn vertices, where the
// stored shape lies but for the rounding of its edges, and then over the rest of the area, which
// costs a test or two when nothing is there; so it is exact whatever the rounding, and quick.
bool reaches_working_area(std::span<const drawn_point> vertices, std::span<const edge_equation> edges)
{
    constexpr double ROUNDING_MARGIN = 16.0;  // beyond the 12.5 units that stored edges may move
    const point_box& area = WORKING_AREA;
    double sum_x = 0.0;
    double sum_y = 0.0;
    for (const drawn_point& vertex : vertices) {
        sum_x += vertex.x;
        sum_y += vertex.y;
    }
    double middle_x = std::round(sum_x / double(vertices.size()));
    double middle_y = std::round(sum_y / double(vertices.size()));
    if (middle_x >= area.x0 && middle_x <= area.x1 && middle_y >= area.y0 && middle_y <= area.y1 &&
        holds_point(edges, int(middle_x), int(middle_y))) {
        return true;
    }

    auto [x0, y0, x1, y1] = bounds_of(vertices);
    auto clamp = [](double value, int lo, int hi) { return int(std::clamp(value, double(lo), double(hi))); };
    point_box near = {clamp(std::floor(x0 - ROUNDING_MARGIN), area.x0, area.x1),
                      clamp(std::floor(y0 - ROUNDING_MARGIN), area.y0, area.y1),
                      clamp(std::ceil(x1 + ROUNDING_MARGIN), area.x0, area.x1),
                      clamp(std::ceil(y1 + ROUNDING_MARGIN), area.y0, area.y1)};
    bool inside_area = x1 + ROUNDING_MARGIN >= area.x0 && x0 - ROUNDING_MARGIN <= area.x1 &&
                       y1 + ROUNDING_MARGIN >= area.y0 && y0 - ROUNDING_MARGIN <= area.y1;
    if (!inside_area) {
        return any_point_inside(edges, area);
    }
    const point_box rest[] = {
        {area.x0, area.y0, area.x1, near.y0 - 1},  // above
        {area.x0, near.y1 + 1, area.x1, area.y1},  // below
        {area.x0, near.y0, near.x0 - 1, near.y1},  // left
        {near.x1 + 1, near.y0, area.x1, near.y1},  // right
    };
    if (any_point_inside(edges, near)) {
        return true;
    }
    for (const point_box& box : rest) {
        if (any_point_inside(edges, box)) {
            return true;
        }
    }
    return false;
}

}  // namespace

void check_vertex(size_t number, place where, drawn_point vertex, warning_list& warnings)
{
    add(warnings, warning_kind::decimal_comma, vertex, where, number,
        ": text after the second number is ignored; is ',' a decimal separator here?");
}

bool convex_and_filled(std::span<const drawn_point> vertices)
{
    const drawn_point& first = vertices.front();
    const drawn_point& last = vertices.back();
    if (vertices.size() < 4 || first.x != last.x || first.y != last.y) {
        return false;
    }
    std::span<const drawn_point> outline = vertices.first(vertices.size() - 1);
    double area = twice_area(outline);
    return area > 0.0 && !find_convexity_break(outline, area).found;
}

bool check_polygon(size_t number, place polygon, std::span<const drawn_point> vertices,
                   std::span<const uint32_t> lines, std::span<const edge_equation> edges, warning_list& warnings,
                   bool tell_pointless)
{
    auto at_vertex = [&](size_t i) { return place{polygon.file, lines[i], polygon.source}; };
    // every problem is told at once: an open outline is looked at as if it were closed
    const drawn_point& first = vertices.front();
    const drawn_point& last = vertices.back();
    bool closed = first.x == last.x && first.y == last.y;
    std::span<const drawn_point> outline = closed ? vertices.first(vertices.size() - 1) : vertices;
    if (!closed) {
        add(warnings, warning_kind::not_closed, last, at_vertex(vertices.size() - 1), number,
            " is not closed: its last vertex " + point_text(last) + " does not repeat its first " +
                point_text(first) + ", so the closing edge is missing");
    }
    double area = twice_area(outline);
    if (area == 0.0 && distinct_points(outline) < 3) {
        add(warnings, warning_kind::no_area, first, polygon, number,
            " has fewer than three distinct vertices, so it has no area");
        return false;
    }
    if (area == 0.0 && all_on_one_line(outline)) {
        add(warnings, warning_kind::no_area, first, polygon, number,
            " has all its vertices on one line, so it has no area");
        return false;
    }
    if (area < 0.0) {
        add(warnings, warning_kind::clockwise, first, polygon, number,
            " runs clockwise on the picture, so it contains no point; reverse its vertices");
    }
    convexity_break found = find_convexity_break(outline, area);
    if (found.found) {
        // the outline's first vertex stands for the line that closes it
        size_t vertex = found.vertex == 0 ? vertices.size() - 1 : found.vertex;
        add(warnings, warning_kind::not_convex, vertices[vertex], at_vertex(vertex), number,
            found.winds_again ? " is not convex: its outline crosses itself and winds round again here, so the "
                                "stored shape is smaller than drawn"
                              : " is not convex: its outline turns the other way here, so the stored shape is "
                                "smaller than drawn");
    }
    if (!closed || area < 0.0 || found.found) {
        return false;
    }
    if (tell_pointless && !reaches_working_area(vertices, edges)) {
        add(warnings, warning_kind::outside_working_area, first, polygon, number,
            " contains no point of the working area (0..1599 in x and y)");
    }
    return true;
}
