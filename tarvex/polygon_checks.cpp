// The checks on each polygon of the text: the mistakes that make the stored shape differ from the
// drawn one, or vanish. They read the text's coordinates and never change what is stored.
#include "tarvex.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

struct point {
    double x;
    double y;
};

point at(const vertex_line& vertex)
{
    return {double(vertex.x), double(vertex.y)};
}

// Positive when the way from o through a to b turns counter-clockwise on the picture, where y grows
// downward: the way a filled polygon turns at every corner.
double turn(point o, point a, point b)
{
    return (a.y - o.y) * (b.x - o.x) - (a.x - o.x) * (b.y - o.y);
}

double dot(point o, point a, point b)
{
    return (a.x - o.x) * (b.x - o.x) + (a.y - o.y) * (b.y - o.y);
}

void add(warning_list& warnings, warning_kind kind, const vertex_line& place, size_t line, size_t number,
         const std::string& words)
{
    add_warning(warnings, kind, line, "polygon " + std::to_string(number) + words, {place.x, place.y});
}

// The vertex read on the line, or the first one.
const vertex_line& vertex_on(std::span<const vertex_line> vertices, size_t line)
{
    auto found = std::find_if(vertices.begin(), vertices.end(), [&](const vertex_line& v) { return v.line == line; });
    return found != vertices.end() ? *found : vertices.front();
}

size_t distinct_points(std::span<const vertex_line> outline)
{
    std::vector<std::pair<float, float>> points;
    for (const vertex_line& vertex : outline) {
        points.push_back({vertex.x, vertex.y});
    }
    std::sort(points.begin(), points.end());
    return size_t(std::unique(points.begin(), points.end()) - points.begin());
}

bool all_on_one_line(std::span<const vertex_line> outline)
{
    point origin = at(outline.front());
    auto other = std::find_if(outline.begin(), outline.end(), [&](const vertex_line& vertex) {
        return vertex.x != outline.front().x || vertex.y != outline.front().y;
    });
    for (const vertex_line& vertex : outline) {
        if (turn(origin, at(*other), at(vertex)) != 0.0) {
            return false;
        }
    }
    return true;
}

// Twice the area that the outline encloses, positive when it runs counter-clockwise on the picture,
// the order that fills a polygon.
double filled_area(std::span<const vertex_line> outline)
{
    double sum = 0.0;
    for (size_t i = 0; i < outline.size(); ++i) {
        point a = at(outline[i]);
        point b = at(outline[(i + 1) % outline.size()]);
        sum += b.x * a.y - a.x * b.y;
    }
    return sum;
}

// Which half of the turn a direction points into: the directions from +x (included) round to -x.
bool in_first_half(point direction)
{
    return direction.y > 0.0 || (direction.y == 0.0 && direction.x > 0.0);
}

// Where a convex outline would break: at the first vertex, in text order, where it turns against the
// others or doubles back, or where its direction enters the first half of the turn a second time,
// as the outline winds round again.
struct convexity_break {
    size_t line = 0;  // 0 when the outline is convex
    bool winds_again = false;
};

// `outline` is closed, its first vertex not repeated; `closing_line` is the line that repeats it.
convexity_break find_convexity_break(std::span<const vertex_line> outline, size_t closing_line, double orientation)
{
    size_t count = outline.size();
    int half_turns_entered = 0;
    for (size_t step = 1; step <= count; ++step) {
        size_t i = step % count;
        point before = at(outline[(i + count - 1) % count]);
        point here = at(outline[i]);
        point after = at(outline[(i + 1) % count]);
        double corner = turn(before, here, after);
        if (orientation == 0.0) {
            orientation = corner;  // an outline whose area cancels out: its first turn sets the way
        }
        bool against = (corner > 0.0 && orientation < 0.0) || (corner < 0.0 && orientation > 0.0) ||
                       (corner == 0.0 && dot(here, before, after) > 0.0);  // straight back
        // turning one way, the direction enters each half of the turn once per round
        point incoming = {here.x - before.x, here.y - before.y};
        point outgoing = {after.x - here.x, after.y - here.y};
        if (!in_first_half(incoming) && in_first_half(outgoing)) {
            ++half_turns_entered;
        }
        if (against || half_turns_entered > 1) {
            return {i == 0 ? closing_line : outline[i].line, !against};
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
bool reaches_working_area(std::span<const vertex_line> vertices, std::span<const edge_equation> edges)
{
    constexpr double ROUNDING_MARGIN = 16.0;  // beyond the 12.5 units that stored edges may move
    const point_box& area = WORKING_AREA;
    double sum_x = 0.0;
    double sum_y = 0.0;
    for (const vertex_line& vertex : vertices) {
        sum_x += vertex.x;
        sum_y += vertex.y;
    }
    double middle_x = std::round(sum_x / double(vertices.size()));
    double middle_y = std::round(sum_y / double(vertices.size()));
    if (middle_x >= area.x0 && middle_x <= area.x1 && middle_y >= area.y0 && middle_y <= area.y1 &&
        holds_point(edges, int(middle_x), int(middle_y))) {
        return true;
    }

    double x0 = vertices.front().x;
    double y0 = vertices.front().y;
    double x1 = x0;
    double y1 = y0;
    for (const vertex_line& vertex : vertices) {
        x0 = std::min(x0, double(vertex.x));
        y0 = std::min(y0, double(vertex.y));
        x1 = std::max(x1, double(vertex.x));
        y1 = std::max(y1, double(vertex.y));
    }
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

std::string number_text(float value)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

std::string point_text(float x, float y)
{
    std::string text = "(";
    text.append(number_text(x)).append(",").append(number_text(y)).append(")");
    return text;
}

void add_warning(warning_list& warnings, warning_kind kind, size_t line, std::string text, drawn_point place)
{
    if (warnings.found[size_t(kind)]++ < WARNINGS_SHOWN_PER_KIND) {
        warnings.shown.push_back({line, std::move(text), kind, place});
    }
    ++warnings.total;
}

void check_vertex(size_t number, const vertex_line& vertex, warning_list& warnings)
{
    if (vertex.third_number) {
        add(warnings, warning_kind::decimal_comma, vertex, vertex.line, number,
            ": text after the second number is ignored; is ',' a decimal separator here?");
    }
}

bool convex_and_filled(std::span<const vertex_line> vertices)
{
    const vertex_line& first = vertices.front();
    const vertex_line& last = vertices.back();
    if (vertices.size() < 4 || first.x != last.x || first.y != last.y) {
        return false;
    }
    std::span<const vertex_line> outline = vertices.first(vertices.size() - 1);
    double area = filled_area(outline);
    return area > 0.0 && find_convexity_break(outline, last.line, area).line == 0;
}

bool check_polygon(size_t number, size_t polygon_line, std::span<const vertex_line> vertices,
                   std::span<const edge_equation> edges, warning_list& warnings)
{
    // every problem is told at once: an open outline is looked at as if it were closed
    const vertex_line& first = vertices.front();
    const vertex_line& last = vertices.back();
    bool closed = first.x == last.x && first.y == last.y;
    std::span<const vertex_line> outline = closed ? vertices.first(vertices.size() - 1) : vertices;
    if (!closed) {
        add(warnings, warning_kind::not_closed, last, last.line, number,
            " is not closed: its last vertex " + point_text(last.x, last.y) + " does not repeat its first " +
                point_text(first.x, first.y) + ", so the closing edge is missing");
    }
    double area = filled_area(outline);
    if (area == 0.0 && distinct_points(outline) < 3) {
        add(warnings, warning_kind::no_area, first, polygon_line, number,
            " has fewer than three distinct vertices, so it has no area");
        return false;
    }
    if (area == 0.0 && all_on_one_line(outline)) {
        add(warnings, warning_kind::no_area, first, polygon_line, number,
            " has all its vertices on one line, so it has no area");
        return false;
    }
    if (area < 0.0) {
        add(warnings, warning_kind::clockwise, first, polygon_line, number,
            " runs clockwise on the picture, so it contains no point; reverse its vertices");
    }
    convexity_break found = find_convexity_break(outline, last.line, area);
    if (found.line != 0) {
        add(warnings, warning_kind::not_convex, vertex_on(vertices, found.line), found.line, number,
            found.winds_again ? " is not convex: its outline crosses itself and winds round again here, so the "
                                "stored shape is smaller than drawn"
                              : " is not convex: its outline turns the other way here, so the stored shape is "
                                "smaller than drawn");
    }
    if (!closed || area < 0.0 || found.line != 0) {
        return false;
    }
    if (!reaches_working_area(vertices, edges)) {
        add(warnings, warning_kind::outside_working_area, first, polygon_line, number,
            " contains no point of the working area (0..1599 in x and y)");
    }
    return true;
}
