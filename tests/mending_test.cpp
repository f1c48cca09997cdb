// Mending polygons: what each kind of drawing becomes, and convex pieces checked point by point
// against the polygon they come from.
#include "geometry.h"
#include "mending.h"

#include "random_polygons.h"
#include "support.h"

#include <cmath>
#include <numbers>
#include <random>
#include <span>

namespace {

// A drawing of one shape, its vertices on lines 2 and on, as polygon text would have them.
drawing shape_of(const std::vector<std::pair<float, float>>& corners)
{
    drawing drawn;
    drawn.files.assign(1, "shape.txt");
    add_shape(drawn, {.line = 1});
    for (size_t i = 0; i < corners.size(); ++i) {
        add_vertex(drawn, {corners[i].first, corners[i].second}, uint32_t(i + 2));
    }
    return drawn;
}

// The mended drawing's pieces: one list of corners per shape, the closing repeat left out.
std::vector<std::vector<drawn_point>> pieces_of(const drawing& mended)
{
    std::vector<std::vector<drawn_point>> pieces;
    for (const drawn_shape& shape : mended.shapes) {
        std::span<const drawn_point> points = points_of(mended, shape);
        pieces.emplace_back(points.begin(), points.end() - 1);
    }
    return pieces;
}

// Mends one shape; false when it is refused.
struct mending_result {
    bool mended;
    drawing pieces;
    std::vector<note> notes;
    refusal refused;
};

mending_result mend(const std::vector<std::pair<float, float>>& corners)
{
    mending_result result;
    result.mended = mend_drawing(shape_of(corners), 0, result.pieces, result.notes, result.refused);
    return result;
}

// A disc of `count` corners, written with three decimals as an editor would.
std::vector<std::pair<float, float>> rounded_disc(int count)
{
    std::vector<std::pair<float, float>> corners;
    for (int k = 0; k < count; ++k) {
        double angle = 2.0 * std::numbers::pi * k / count;
        corners.push_back({float(std::round((800 + 700 * std::cos(angle)) * 1000) / 1000),
                           float(std::round((800 + 700 * std::sin(angle)) * 1000) / 1000)});
    }
    return corners;
}

TEST(Mending, EachKindOfDrawingBecomesConvexPiecesWithANote)
{
    struct mending_case {
        const char* name;
        std::vector<std::pair<float, float>> corners;
        size_t pieces;
        std::string note;  // the last note; empty for none
    };
    const std::string split = "polygon 0 is concave; stored as polygons 0 to ";
    // clang-format off
    const mending_case cases[] = {
        {"a convex square", {{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, 1, ""},
        {"an L", {{0, 0}, {0, 20}, {20, 20}, {20, 10}, {10, 10}, {10, 0}, {0, 0}}, 2, split + "1 (2 convex pieces)"},
        {"a U", {{0, 0}, {0, 30}, {30, 30}, {30, 0}, {20, 0}, {20, 20}, {10, 20}, {10, 0}, {0, 0}}, 3,
         split + "2 (3 convex pieces)"},
        {"a comb of three teeth",
         {{0, 0}, {0, 30}, {50, 30}, {50, 0}, {40, 0}, {40, 20}, {30, 20}, {30, 0}, {20, 0}, {20, 20}, {10, 20},
          {10, 0}, {0, 0}}, 4, split + "3 (4 convex pieces)"},
        {"a square spiral",
         {{0, 0}, {0, 50}, {50, 50}, {50, 10}, {20, 10}, {20, 30}, {30, 30}, {30, 20}, {40, 20}, {40, 40}, {10, 40},
          {10, 0}, {0, 0}}, 5, split + "4 (5 convex pieces)"},
        {"an open L, clockwise, with a repeat and a straight corner",
         {{0, 0}, {10, 0}, {10, 10}, {10, 10}, {20, 10}, {20, 20}, {10, 20}, {0, 20}}, 2,
         split + "1 (2 convex pieces)"},
        {"no area", {{0, 0}, {0, 10}, {0, 20}, {0, 0}}, 0, "polygon 0 has no area; dropped"},
        {"a dent finer than stored", {{0, 0}, {0, 10}, {5, 9.998f}, {10, 10}, {10, 0}}, 1,
         "polygon 0: 1 reflex corner within 1/256 unit of a straight line welded"},
        {"a dent deeper than stored", {{0, 0}, {0, 10}, {5, 9.99f}, {10, 10}, {10, 0}}, 2, split + "1 (2 convex pieces)"},
        {"a corner too sharp to blunt, far beyond its neighbours", {{0, 0}, {1e20f, 29}, {142, 0}, {0, 0}}, 1,
         ""},
        {"a rounded disc", rounded_disc(10000), 1, "polygon 0: 3452 reflex corners within 1/256 unit of a straight line welded"},
    };
    // clang-format on
    for (const mending_case& test : cases) {
        SCOPED_TRACE(test.name);
        mending_result mended = mend(test.corners);
        ASSERT_TRUE(mended.mended);
        EXPECT_EQ(pieces_of(mended.pieces).size(), test.pieces);
        EXPECT_EQ(mended.notes.empty() ? "" : mended.notes.back().text, test.note);
    }

    // the last case says everything that was mended, in order
    mending_result open = mend(cases[5].corners);
    ASSERT_TRUE(open.mended);
    ASSERT_EQ(open.notes.size(), 4u);
    EXPECT_EQ(open.notes[0].text, "polygon 0 is not closed; closed by repeating its first vertex");
    EXPECT_EQ(open.notes[1].text, "polygon 0: 1 repeated vertex and 1 vertex on a straight line dropped");
    EXPECT_EQ(open.notes[2].text, "polygon 0 runs clockwise on the picture; its vertices are reversed");

    // a star's outline crosses itself: its meaning cannot be known
    mending_result star = mend({{300, 200}, {119, 141}, {231, 295}, {231, 105}, {119, 259}, {300, 200}});
    EXPECT_FALSE(star.mended);
    EXPECT_EQ(star.refused.where.line, 2u);
    EXPECT_EQ(star.refused.problem, "polygon crosses itself");
    EXPECT_EQ(star.refused.detail, "polygon 0 crosses itself: its edges from lines 2 and 4 meet at (231,177.50829)");

    // a rectangle clicked in the wrong order is a bow tie whose area cancels: refused all the same
    mending_result bow_tie = mend({{0, 0}, {100, 100}, {100, 0}, {0, 100}, {0, 0}});
    EXPECT_FALSE(bow_tie.mended);
    EXPECT_EQ(bow_tie.refused.detail, "polygon 0 crosses itself: its edges from lines 2 and 4 meet at (50,50)");
}

// The turn's sign against exact arithmetic where rounded doubles lose it: corners on a grid of 1/1024,
// where 1024 times every float is an integer of int64, nearly straight; and a corner o so close to the
// origin that a - o rounds to a, with b = 2a, where the turn is exactly o.x a.y - o.y a.x.
TEST(Geometry, OrientationIsExactWhereRoundedProductsCancel)
{
    std::mt19937 rng(29);
    auto sign_of = [](auto value) { return value > 0 ? 1 : (value < 0 ? -1 : 0); };
    auto coordinate = [&] { return float(double(int64_t(rng() % (1u << 30)) - (1 << 29)) / 1024.0); };
    for (int round = 0; round < 100000; ++round) {
        drawn_point o = {coordinate(), coordinate()};
        drawn_point a = {coordinate(), coordinate()};
        double t = double(rng() % 4096) / 1024.0 - 2.0;  // b on the line through o and a, rounded to the grid
        drawn_point b = {float(std::round((o.x + t * (double(a.x) - o.x)) * 1024.0) / 1024.0),
                         float(std::round((o.y + t * (double(a.y) - o.y)) * 1024.0) / 1024.0)};
        // within 2^19 units, differences of scaled coordinates stay within 2^30, their products within 2^61
        auto scaled = [](float v) { return int64_t(double(v) * 1024.0); };
        int64_t exact = (scaled(a.y) - scaled(o.y)) * (scaled(b.x) - scaled(o.x)) -
                        (scaled(a.x) - scaled(o.x)) * (scaled(b.y) - scaled(o.y));
        ASSERT_EQ(orientation(o, a, b), sign_of(exact)) << "round " << round;
    }
    size_t misjudged = 0;
    std::uniform_real_distribution<float> tiny(-1e-20f, 1e-20f);
    std::uniform_real_distribution<float> large(-3000.0f, 3000.0f);
    for (int round = 0; round < 1000; ++round) {
        drawn_point o = {tiny(rng), tiny(rng)};
        drawn_point a = {large(rng), large(rng)};
        drawn_point b = {2.0f * a.x, 2.0f * a.y};
        int exact = sign_of(double(o.x) * a.y - double(o.y) * a.x);  // two exact products compared
        ASSERT_EQ(orientation(o, a, b), exact) << "round " << round;
        misjudged += sign_of(turn_size(o, a, b)) != exact;
    }
    EXPECT_GT(misjudged, 900u);  // the rounded turn is 0 for nearly all
}

// The crossing search by squares against every pair in order, on random outlines that cross, touch
// along lines of a coarse grid, or do neither.
TEST(Geometry, TheCrossingFoundIsTheFirstOfEveryPairInOrder)
{
    std::mt19937 rng(41);
    for (int round = 0; round < 3000; ++round) {
        size_t count = 4 + rng() % 60;
        std::vector<drawn_point> outline;
        int spread = round % 3 == 0 ? 8 : 1000;  // few places: many touches
        for (size_t i = 0; i < count; ++i) {
            outline.push_back({float(rng() % unsigned(spread)), float(rng() % unsigned(spread))});
        }
        polygon_crossing plain;
        for (size_t i = 0; i < count && !plain.found; ++i) {
            for (size_t j = i + 2; j < count && !plain.found; ++j) {
                if (i == 0 && j == count - 1) {
                    continue;
                }
                drawn_point at{};
                if (segments_meet(outline[i], outline[(i + 1) % count], outline[j], outline[(j + 1) % count], at)) {
                    plain = {true, i, j, at};
                }
            }
        }
        polygon_crossing found = find_crossing(outline);
        ASSERT_EQ(found.found, plain.found) << "round " << round;
        if (found.found) {
            ASSERT_EQ(found.first_edge, plain.first_edge) << "round " << round;
            ASSERT_EQ(found.second_edge, plain.second_edge) << "round " << round;
        }
    }
}

// Pieces are checked against their polygon exactly: any piece too few, too many, wound the other way
// or dented is found.
TEST(Geometry, ValidationFindsEveryUnsoundSplit)
{
    const std::vector<drawn_point> l_shape = {{0, 0}, {0, 20}, {20, 20}, {20, 10}, {10, 10}, {10, 0}};
    struct split_case {
        const char* name;
        std::vector<std::vector<drawn_point>> pieces;
        bool valid;
    };
    const split_case cases[] = {
        {"two rectangles", {{{0, 0}, {0, 20}, {10, 20}, {10, 0}}, {{10, 10}, {10, 20}, {20, 20}, {20, 10}}}, true},
        {"a rectangle missing", {{{0, 0}, {0, 20}, {10, 20}, {10, 0}}}, false},
        {"a rectangle twice",
         {{{0, 0}, {0, 20}, {10, 20}, {10, 0}}, {{10, 10}, {10, 20}, {20, 20}, {20, 10}},
          {{10, 10}, {10, 20}, {20, 20}, {20, 10}}},
         false},
        {"a piece wound the other way", {{{0, 0}, {0, 20}, {10, 20}, {10, 0}}, {{10, 10}, {20, 10}, {20, 20}, {10, 20}}},
         false},
        {"the whole L as one dented piece", {l_shape}, false},
        {"a sliver of two corners", {{{0, 0}, {0, 20}, {10, 20}, {10, 0}}, {{10, 10}, {20, 20}}}, false},
    };
    for (const split_case& test : cases) {
        EXPECT_EQ(validate_pieces(l_shape, test.pieces), test.valid) << test.name;
    }
}

// Whether the point lies inside the outline or on it, by counting crossings of a ray to the right.
bool outline_holds(std::span<const drawn_point> outline, double x, double y)
{
    bool inside = false;
    for (size_t i = 0; i < outline.size(); ++i) {
        const drawn_point& a = outline[i];
        const drawn_point& b = outline[(i + 1) % outline.size()];
        double cross = (x - a.x) * (double(b.y) - a.y) - (y - a.y) * (double(b.x) - a.x);
        if (cross == 0.0 && std::min(a.x, b.x) <= x && x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= y &&
            y <= std::max(a.y, b.y)) {
            return true;
        }
        if ((a.y > y) != (b.y > y) && x < a.x + (y - a.y) * (double(b.x) - a.x) / (double(b.y) - a.y)) {
            inside = !inside;
        }
    }
    return inside;
}

double distance_to_outline(std::span<const drawn_point> outline, double x, double y)
{
    double nearest = INFINITY;
    for (size_t i = 0; i < outline.size(); ++i) {
        const drawn_point& a = outline[i];
        const drawn_point& b = outline[(i + 1) % outline.size()];
        double dx = double(b.x) - a.x;
        double dy = double(b.y) - a.y;
        double t = std::clamp(((x - a.x) * dx + (y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        nearest = std::min(nearest, std::hypot(x - a.x - t * dx, y - a.y - t * dy));
    }
    return nearest;
}

// Random star-shaped outlines on the integer grid: concave, with repeats and straight runs from the
// rounding, in both windings, open or closed.
TEST(Mending, PiecesAreConvexAndCoverThePolygonPointForPoint)
{
    std::mt19937 rng(23);
    size_t checked = 0;
    for (int round = 0; round < 120; ++round) {
        int count = 3 + int(rng() % (round == 0 ? 500 : 40));
        std::vector<double> angles(static_cast<size_t>(count));
        for (double& angle : angles) {
            angle = std::uniform_real_distribution<double>(0.0, 2.0 * std::numbers::pi)(rng);
        }
        std::sort(angles.begin(), angles.end());
        std::vector<std::pair<float, float>> corners;
        for (double angle : angles) {
            double radius = std::uniform_real_distribution<double>(10.0, 120.0)(rng);
            corners.push_back({float(std::round(300 + radius * std::cos(angle))),
                               float(std::round(300 + radius * std::sin(angle)))});
        }
        if (rng() % 2) {
            std::reverse(corners.begin(), corners.end());
        }
        if (rng() % 2) {
            corners.push_back(corners.front());
        }
        mending_result mended = mend(corners);
        if (!mended.mended) {
            continue;  // rounding made the outline touch itself
        }
        std::vector<drawn_point> outline;
        for (const auto& [x, y] : corners) {
            if (outline.empty() || x != outline.back().x || y != outline.back().y) {
                outline.push_back({x, y});
            }
        }
        while (outline.front().x == outline.back().x && outline.front().y == outline.back().y) {
            outline.pop_back();
        }
        std::vector<std::vector<drawn_point>> pieces = pieces_of(mended.pieces);
        // corners that turn against the outline's own way: no split has fewer than r / 2 + 1 pieces, and
        // removing diagonals leaves at most 2r + 1
        double area = 0.0;
        for (size_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[i];
            const drawn_point& b = outline[(i + 1) % outline.size()];
            area += double(b.x) * a.y - double(a.x) * b.y;
        }
        size_t reflex = 0;
        for (size_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[(i + outline.size() - 1) % outline.size()];
            const drawn_point& b = outline[i];
            const drawn_point& c = outline[(i + 1) % outline.size()];
            double corner = (double(b.y) - a.y) * (double(c.x) - a.x) - (double(b.x) - a.x) * (double(c.y) - a.y);
            reflex += corner * area < 0.0;
        }
        EXPECT_LE(pieces.size(), 2 * reflex + 1) << "round " << round;
        for (const std::vector<drawn_point>& piece : pieces) {
            polygon corners_of_piece;
            for (const drawn_point& point : piece) {
                corners_of_piece.push_back({point.x, point.y});
            }
            for (size_t i = 0; i < piece.size(); ++i) {
                const drawn_point& a = piece[i];
                const drawn_point& b = piece[(i + 1) % piece.size()];
                const drawn_point& c = piece[(i + 2) % piece.size()];
                ASSERT_GE((double(b.y) - a.y) * (double(c.x) - a.x) - (double(b.x) - a.x) * (double(c.y) - a.y), 0.0)
                    << "round " << round << ": a piece is not convex in the filled order";
            }
        }
        for (int y = 170; y <= 430; ++y) {
            for (int x = 170; x <= 430; ++x) {
                bool in_polygon = outline_holds(outline, x, y);
                bool in_pieces = std::any_of(pieces.begin(), pieces.end(), [&](const auto& piece) {
                    return outline_holds(piece, x, y);
                });
                // every point of the polygon is in a piece; a piece reaches beyond it only beside a
                // sharp corner that is blunted, half a unit at the most
                if (in_polygon != in_pieces) {
                    ASSERT_TRUE(in_pieces) << "round " << round << " at " << x << "," << y;
                    ASSERT_LE(distance_to_outline(outline, x, y), 0.5) << "round " << round << " at " << x << "," << y;
                }
            }
        }
        ++checked;
    }
    EXPECT_GT(checked, 100u);
}

}  // namespace
