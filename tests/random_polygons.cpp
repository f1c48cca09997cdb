// Random convex polygons as polygon text.
#include "random_polygons.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

polygon ellipse_polygon(std::mt19937& rng, double cx, double cy, double rx, double ry, double turn, int count,
                        double grid)
{
    std::uniform_real_distribution<double> any_angle(0.0, 2.0 * std::numbers::pi);
    std::vector<double> angles(static_cast<size_t>(count));
    for (double& angle : angles) {
        angle = any_angle(rng);
    }
    // with y growing downward, falling angles run counter-clockwise on the picture: the filled order
    std::sort(angles.begin(), angles.end(), std::greater<>());

    polygon corners;
    for (double angle : angles) {
        double ex = rx * std::cos(angle);
        double ey = ry * std::sin(angle);
        double x = cx + ex * std::cos(turn) - ey * std::sin(turn);
        double y = cy + ex * std::sin(turn) + ey * std::cos(turn);
        if (grid > 0.0) {
            x = std::round(x / grid) * grid;
            y = std::round(y / grid) * grid;
        }
        vertex corner = {float(x), float(y)};
        if (corners.empty() || corner.x != corners.back().x || corner.y != corners.back().y) {
            corners.push_back(corner);
        }
    }
    while (corners.size() > 1 && corners.back().x == corners.front().x && corners.back().y == corners.front().y) {
        corners.pop_back();
    }
    return corners;
}

polygon random_test_polygon(std::mt19937& rng, double lo, double hi, bool allow_empty)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    auto between = [&](double a, double b) { return a + (b - a) * unit(rng); };
    const double grids[] = {0.0, 1.0, 1.0, 0.5, 0.125};
    double grid = grids[rng() % std::size(grids)];
    double turn = between(0.0, 2.0 * std::numbers::pi);
    int count = 3 + int(rng() % 6);
    double cx = between(lo, hi);
    double cy = between(lo, hi);

    switch (rng() % 6) {
    case 0:  // tiny, maybe between the integer points
        return ellipse_polygon(rng, cx, cy, between(0.2, 3.0), between(0.2, 3.0), turn, count, grid);
    case 1:  // a sliver, thinner than a unit
        return ellipse_polygon(rng, cx, cy, between(5.0, 300.0), between(0.05, 0.8), turn, count, 0.0);
    case 2: {  // hugging a cell border: a multiple of 400, give or take the search margin
        double border = 400.0 * double(rng() % 5) + between(-22.0, 22.0);
        (rng() % 2 ? cx : cy) = border;
        return ellipse_polygon(rng, cx, cy, between(1.0, 30.0), between(1.0, 30.0), turn, count, grid);
    }
    case 3: {  // listed backwards
        polygon backwards = ellipse_polygon(rng, cx, cy, between(2.0, 80.0), between(2.0, 80.0), turn, count, grid);
        std::reverse(backwards.begin(), backwards.end());
        return backwards;
    }
    case 4:
        if (allow_empty) {
            return polygon{{float(cx), float(cy)}};
        }
        [[fallthrough]];
    default:
        return ellipse_polygon(rng, cx, cy, between(2.0, 120.0), between(2.0, 120.0), turn, count, grid);
    }
}

std::vector<polygon> tiled_rectangle(uint32_t seed, int nx, int ny)
{
    constexpr double LEFT = 100.0;
    constexpr double TOP = 150.0;
    constexpr double WIDTH = 1400.0;
    constexpr double HEIGHT = 1300.0;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    std::vector<vertex> grid;
    for (int j = 0; j <= ny; ++j) {
        for (int i = 0; i <= nx; ++i) {
            double x = LEFT + WIDTH * i / nx + (i > 0 && i < nx ? jitter(rng) * WIDTH / nx : 0.0);
            double y = TOP + HEIGHT * j / ny + (j > 0 && j < ny ? jitter(rng) * HEIGHT / ny : 0.0);
            grid.push_back({float(std::round(x * 1000.0) / 1000.0), float(std::round(y * 1000.0) / 1000.0)});
        }
    }
    auto at = [&](int i, int j) { return grid[size_t(j * (nx + 1) + i)]; };
    std::bernoulli_distribution split(0.4);
    std::vector<polygon> tiles;
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            // down the left side, then along the bottom: counter-clockwise on the picture
            vertex a = at(i, j), b = at(i, j + 1), c = at(i + 1, j + 1), d = at(i + 1, j);
            if (split(rng)) {
                tiles.push_back({a, b, c});
                tiles.push_back({a, c, d});
            } else {
                tiles.push_back({a, b, c, d});
            }
        }
    }
    return tiles;
}

bool drawn_polygon_holds(const polygon& corners, double x, double y)
{
    for (size_t i = 0; i < corners.size(); ++i) {
        const vertex& a = corners[i];
        const vertex& b = corners[(i + 1) % corners.size()];
        if ((x - a.x) * (double(b.y) - a.y) - (y - a.y) * (double(b.x) - a.x) < 0.0) {
            return false;
        }
    }
    return true;
}

std::string polygons_text(const std::vector<polygon>& polygons)
{
    std::string text;
    char line[64];
    for (const polygon& corners : polygons) {
        text += "newpolygon\r\n";
        for (size_t i = 0; i <= corners.size(); ++i) {
            if (i == corners.size() && corners.size() < 2) {
                break;  // a single corner is not repeated: it makes no edge
            }
            const vertex& corner = corners[i % corners.size()];
            std::snprintf(line, sizeof line, "%.9g,%.9g\r\n", double(corner.x), double(corner.y));
            text += line;
        }
        text += "endpolygon\r\n";
    }
    return text;
}

// Snapping an ellipse's corners to a grid can leave a dent or turn a thin one around.
polygon convex_hull(polygon corners)
{
    auto turn = [](const vertex& o, const vertex& a, const vertex& b) {
        return (double(a.x) - o.x) * (double(b.y) - o.y) - (double(a.y) - o.y) * (double(b.x) - o.x);
    };
    std::sort(corners.begin(), corners.end(),
              [](const vertex& a, const vertex& b) { return a.x < b.x || (a.x == b.x && a.y < b.y); });
    polygon hull;
    for (int pass = 0; pass < 2; ++pass) {
        size_t start = hull.size();
        for (const vertex& corner : corners) {
            while (hull.size() >= start + 2 && turn(hull[hull.size() - 2], hull.back(), corner) <= 0.0) {
                hull.pop_back();
            }
            hull.push_back(corner);
        }
        hull.pop_back();  // the last corner of one chain starts the other
        std::reverse(corners.begin(), corners.end());
    }
    std::reverse(hull.begin(), hull.end());
    return hull;
}

// Whether a disc of the radius around (cx, cy) lies inside the filled polygon.
static bool holds_disc(const polygon& corners, double cx, double cy, double radius)
{
    for (size_t i = 0; i < corners.size(); ++i) {
        const vertex& a = corners[i];
        const vertex& b = corners[(i + 1) % corners.size()];
        double dx = double(b.x) - a.x;
        double dy = double(b.y) - a.y;
        double inside = ((cx - a.x) * dy - (cy - a.y) * dx) / std::hypot(dx, dy);  // the inside is positive
        if (!(inside >= radius)) {
            return false;
        }
    }
    return true;
}

std::string random_map(uint32_t seed, size_t count)
{
    // A stored edge may stand up to (1 + 1599 + 1599) / 256 units off the drawn one, as its values
    // keep 8 fraction bits; a disc this wide keeps an integer point in every stored polygon, so no
    // polygon of a map vanishes.
    constexpr double HELD_RADIUS = 14.0;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> position(0.0, 1600.0);
    std::uniform_real_distribution<double> radius(4.0, 40.0);
    std::uniform_real_distribution<double> turn(0.0, 2.0 * std::numbers::pi);
    std::vector<polygon> polygons;
    polygons.reserve(count);
    while (polygons.size() < count) {
        double cx = position(rng);
        double cy = position(rng);
        polygon corners =
            convex_hull(ellipse_polygon(rng, cx, cy, radius(rng), radius(rng), turn(rng), 3 + int(rng() % 6), 1.0));
        if (corners.size() >= 3 && holds_disc(corners, cx, cy, HELD_RADIUS)) {
            polygons.push_back(std::move(corners));
        }
    }
    return polygons_text(polygons);
}
