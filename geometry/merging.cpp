// Merging with Boost.Polygon, whose booleans on integer polygons are exact: the shapes' corners are
// put on the grid of 1/256 that stored edges keep, united, and the regions with holes cut apart.
#include "merging.h"

#include "geometry.h"

#include <boost/polygon/polygon.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

namespace bp = boost::polygon;
using coordinate = long long;
using grid_point = bp::point_data<coordinate>;
using grid_polygon = bp::polygon_data<coordinate>;
using grid_region = bp::polygon_with_holes_data<coordinate>;
using grid_set = bp::polygon_set_data<coordinate>;

constexpr double GRID = 256.0;  // the stored edges' 8 fraction bits

grid_point on_grid(drawn_point point)
{
    return {coordinate(std::llround(double(point.x) * GRID)), coordinate(std::llround(double(point.y) * GRID))};
}

drawn_point off_grid(const grid_point& point)
{
    return {float(double(point.x()) / GRID), float(double(point.y()) / GRID)};
}

// A region's boundary, its closing point dropped, split where it touches itself at a corner: a point
// met twice closes a loop of its own.
void add_outlines(const grid_polygon& boundary, std::vector<std::vector<drawn_point>>& out)
{
    std::vector<grid_point> points(boundary.begin(), boundary.end());
    if (points.size() >= 2 && points.front() == points.back()) {
        points.pop_back();
    }
    std::vector<grid_point> path;
    std::map<std::pair<coordinate, coordinate>, size_t> seen;  // where each point stands in `path`
    // the loop from path[from] round to the end: it keeps path[from], where it touches the rest
    auto close_loop = [&](size_t from) {
        std::vector<drawn_point> loop;
        for (size_t i = from; i < path.size(); ++i) {
            if (i != from) {
                seen.erase({path[i].x(), path[i].y()});
            }
            loop.push_back(off_grid(path[i]));
        }
        path.resize(from + 1);
        if (loop.size() >= 3) {
            out.push_back(std::move(loop));
        }
    };
    for (const grid_point& point : points) {
        auto found = seen.find({point.x(), point.y()});
        if (found != seen.end()) {
            close_loop(found->second);
            continue;
        }
        seen[{point.x(), point.y()}] = path.size();
        path.push_back(point);
    }
    if (!path.empty()) {
        close_loop(0);
    }
}

// Cuts a region through one of its holes, along the hole's flat top or else by a vertical line
// through its middle, until no hole is left, and adds the outlines. False when the cuts run out. Of
// many holes the one in the middle across is cut first, so that each side keeps about half of them
// and a region of many holes costs a few rounds over it, not one per hole.
bool add_region(const grid_region& region, int& cuts_left, std::vector<std::vector<drawn_point>>& out)
{
    constexpr size_t FEW_HOLES = 4;
    if (region.begin_holes() == region.end_holes()) {
        add_outlines(grid_polygon(region.begin(), region.end()), out);
        return true;
    }
    if (cuts_left-- == 0) {
        return false;
    }
    std::vector<std::pair<coordinate, const grid_polygon*>> holes;  // by their left ends
    for (auto hole = region.begin_holes(); hole != region.end_holes(); ++hole) {
        bp::rectangle_data<coordinate> box;
        bp::extents(box, *hole);
        holes.emplace_back(bp::xl(box), &*hole);
    }
    auto middle = holes.begin() + long(holes.size() <= FEW_HOLES ? 0 : holes.size() / 2);
    if (holes.size() > FEW_HOLES) {
        std::nth_element(holes.begin(), middle, holes.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    const grid_polygon& cut_hole = *middle->second;
    bp::rectangle_data<coordinate> hole_box;
    bp::extents(hole_box, cut_hole);
    coordinate x0 = bp::xl(hole_box);
    coordinate x1 = bp::xh(hole_box);
    bool across = x1 - x0 < 2;  // a hole one step of the grid wide is cut across its height instead
    coordinate y0 = bp::yl(hole_box);
    coordinate y1 = bp::yh(hole_box);
    coordinate cut = across ? y0 + (y1 - y0) / 2 : x0 + (x1 - x0) / 2;
    // A hole with a flat top, as a walled room has, is cut along it: the part above is a bar and the
    // part below takes the hole into its outline, so a room's walls are four pieces, not six. A hole
    // that only touches the line at a point is cut through its middle instead, as that would leave it
    // closed at the point.
    coordinate top_from = x1;
    coordinate top_to = x0;
    for (const grid_point& point : cut_hole) {
        if (point.y() == y0) {
            top_from = std::min(top_from, point.x());
            top_to = std::max(top_to, point.x());
        }
    }
    if (top_from < top_to && y1 > y0) {
        across = true;
        cut = y0;
    }
    bp::rectangle_data<coordinate> box;
    bp::extents(box, region);
    coordinate left = bp::xl(box) - 1;
    coordinate top = bp::yl(box) - 1;
    coordinate right = bp::xh(box) + 1;
    coordinate bottom = bp::yh(box) + 1;
    grid_set whole;
    whole.insert(region);
    using namespace bp::operators;
    const bp::rectangle_data<coordinate> sides[] = {
        across ? bp::rectangle_data<coordinate>(left, top, right, cut) : bp::rectangle_data<coordinate>(left, top, cut, bottom),
        across ? bp::rectangle_data<coordinate>(left, cut, right, bottom) : bp::rectangle_data<coordinate>(cut, top, right, bottom)};
    for (const auto& side : sides) {
        grid_set part = whole & side;
        std::vector<grid_region> pieces;
        part.get(pieces);
        for (const grid_region& piece : pieces) {
            if (!add_region(piece, cuts_left, out)) {
                return false;
            }
        }
    }
    return true;
}


// A shape's corners on the grid, in the winding Boost.Polygon takes as filled.
grid_polygon on_grid_filled(const std::vector<drawn_point>& shape)
{
    std::vector<grid_point> corners;
    for (const drawn_point& point : shape) {
        corners.push_back(on_grid(point));
    }
    grid_polygon polygon;
    polygon.set(corners.begin(), corners.end());
    if (bp::area(polygon) < 0) {
        std::reverse(corners.begin(), corners.end());
        polygon.set(corners.begin(), corners.end());
    }
    return polygon;
}

// The regions' outlines, cut through their holes, in the filled order on the picture, where y grows
// downward.
bool outlines_of(const grid_set& set, size_t max_corners, std::vector<std::vector<drawn_point>>& outlines)
{
    std::vector<grid_region> regions;
    set.get(regions);
    outlines.clear();
    int cuts_left = MAX_MERGED_HOLES;
    for (const grid_region& region : regions) {
        if (!add_region(region, cuts_left, outlines)) {
            return false;
        }
    }
    for (std::vector<drawn_point>& outline : outlines) {
        if (outline.size() > max_corners) {
            return false;
        }
        if (twice_area(outline) < 0.0) {
            std::reverse(outline.begin(), outline.end());
        }
    }
    return true;
}

}  // namespace

bool merged_outlines(std::span<const std::vector<drawn_point>> shapes, std::vector<std::vector<drawn_point>>& outlines)
{
    // either winding fills: the union takes every shape as the area it encloses
    grid_set united;
    for (const std::vector<drawn_point>& shape : shapes) {
        united.insert(on_grid_filled(shape));
    }
    return outlines_of(united, MAX_MERGED_CORNERS, outlines);
}

bool holed_outlines(const std::vector<drawn_point>& outer, std::span<const std::vector<drawn_point>> holes,
                    std::vector<std::vector<drawn_point>>& outlines)
{
    grid_set region;
    region.insert(on_grid_filled(outer));
    for (const std::vector<drawn_point>& hole : holes) {
        region.insert(on_grid_filled(hole), true);
    }
    return outlines_of(region, SIZE_MAX, outlines);
}
