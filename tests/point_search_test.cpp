// The point search against testing every point of the box, on polygons of every kind and on
// arbitrary stored edges whose float steps round.
#include "point_search.h"

#include "fixed_point.h"
#include "in_memory.h"
#include "random_polygons.h"
#include "support.h"

#include <climits>
#include <random>

namespace {

std::vector<edge_equation> edges_of(const polygon& corners)
{
    pass_result pass = run_pass_one(polygon_text({corners}));
    EXPECT_TRUE(pass.ok) << pass.error;
    record_walk walk = walk_records(pass.bytes);
    EXPECT_EQ(walk.records.size(), 1u);
    std::vector<edge_equation> edges;
    decode_edges(pass.bytes.data(), walk.records.at(0), edges);
    return edges;
}

bool is_inside_all(const std::vector<edge_equation>& edges, int x, int y)
{
    for (const edge_equation& edge : edges) {
        if (0.0f > edge_distance(edge, x, y)) {
            return false;
        }
    }
    return true;
}

// Compares both searches with the point-by-point answer over the box.
void expect_same_as_every_point(const std::vector<edge_equation>& edges, const point_box& box)
{
    size_t width = size_t(int64_t(box.x1) - box.x0 + 1);
    size_t height = size_t(int64_t(box.y1) - box.y0 + 1);
    std::vector<int> covered(width * height, 0);
    std::vector<row_span> spans;
    inside_spans(edges, box, spans);
    for (const row_span& span : spans) {
        ASSERT_TRUE(span.y >= box.y0 && span.y <= box.y1 && span.x0 >= box.x0 && span.x0 <= span.x1 &&
                    span.x1 <= box.x1);
        for (int64_t x = span.x0; x <= span.x1; ++x) {
            ++covered[size_t(span.y - int64_t(box.y0)) * width + size_t(x - box.x0)];
        }
    }
    bool any = false;
    for (size_t row = 0; row < height; ++row) {
        for (size_t column = 0; column < width; ++column) {
            int x = int(box.x0 + int64_t(column));
            int y = int(box.y0 + int64_t(row));
            bool inside = is_inside_all(edges, x, y);
            any = any || inside;
            ASSERT_EQ(covered[row * width + column], inside ? 1 : 0) << "point " << x << "," << y;
        }
    }
    EXPECT_EQ(any_point_inside(edges, box), any);
}

point_box random_box(std::mt19937& rng, int lo, int hi, int largest)
{
    std::uniform_int_distribution<int> position(lo, hi);
    std::uniform_int_distribution<int> size(1, largest);
    int x0 = position(rng);
    int y0 = position(rng);
    return {x0, y0, x0 + size(rng) - 1, y0 + size(rng) - 1};
}

TEST(PointSearch, AgreesWithEveryPointOnPolygonsOfEveryKind)
{
    std::mt19937 rng(20261208);
    for (int round = 0; round < 1500; ++round) {
        polygon corners = random_test_polygon(rng, -20.0, 120.0, true);
        std::vector<edge_equation> edges = edges_of(corners);
        point_box box = random_box(rng, -60, 140, 64);
        SCOPED_TRACE(::testing::Message() << "round " << round << ", " << edges.size() << " edges");
        expect_same_as_every_point(edges, box);
    }
}

// Stored values far beyond what the preparer writes: products and sums round, and the search must
// still follow the exact function, not the real-valued line.
TEST(PointSearch, AgreesWithEveryPointOnArbitraryStoredEdges)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> any_c1(INT32_MIN, INT32_MAX);
    std::uniform_int_distribution<int32_t> small(-4096, 4096);
    std::uniform_int_distribution<int> any_c23(-32768, 32767);
    std::uniform_int_distribution<int> unit_c23(-300, 300);
    for (int round = 0; round < 1500; ++round) {
        std::vector<edge_equation> edges(rng() % 7);
        for (edge_equation& edge : edges) {
            uint8_t record[EDGE_RECORD_SIZE];
            uint32_t c1 = uint32_t(rng() % 2 ? any_c1(rng) : small(rng));
            record[0] = uint8_t(c1 >> 24);
            record[1] = uint8_t(c1 >> 16);
            record[2] = uint8_t(c1 >> 8);
            record[3] = uint8_t(c1);
            put_be16(unsigned(rng() % 2 ? any_c23(rng) : unit_c23(rng)), record + 4);
            put_be16(unsigned(rng() % 2 ? any_c23(rng) : unit_c23(rng)), record + 6);
            edge = decode_edge(record);
        }
        point_box box = rng() % 2 ? random_box(rng, -40, 40, 48) : random_box(rng, -200000, 200000, 48);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        expect_same_as_every_point(edges, box);
    }
}

TEST(PointSearch, BoxesAtTheEndsOfTheIntegerRange)
{
    const std::vector<edge_equation> half_plane = {{0.0f, 0.0f, 1.0f}};         // x >= 0
    const std::vector<edge_equation> diagonal = {{0.0f, -0.70703125f, 0.70703125f}};  // x >= y
    const point_box boxes[] = {
        {INT_MAX - 20, INT_MAX - 20, INT_MAX, INT_MAX},
        {INT_MIN, INT_MIN, INT_MIN + 20, INT_MIN + 20},
        {-10, INT_MAX - 9, 10, INT_MAX},
    };
    for (const point_box& box : boxes) {
        expect_same_as_every_point(half_plane, box);
        expect_same_as_every_point(diagonal, box);
        expect_same_as_every_point({}, box);
    }
    EXPECT_FALSE(any_point_inside({}, {5, 0, 4, 10}));  // an empty box has no points
}

}  // namespace
