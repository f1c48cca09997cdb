// The point search and the claims against testing every point of the box, on polygons of every kind
// and on arbitrary stored edges whose float steps round.
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
    if (corners.size() < 2) {
        return {};  // a single corner stores a record without edges, which the preparer refuses
    }
    pass_result pass = run_pass_one(polygons_text({corners}));
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

using polygon_edges = std::vector<std::vector<edge_equation>>;

// Lets the polygons claim the box in turn and compares every point's claimant with the first polygon
// that contains it; and the first polygon's any_point_inside with whether it contains a point, and
// its inside_bounds with where its points are.
void expect_same_as_every_point(const polygon_edges& polygons, const point_box& box)
{
    size_t width = size_t(int64_t(box.x1) - box.x0 + 1);
    size_t height = size_t(int64_t(box.y1) - box.y0 + 1);
    std::vector<int> claimant(width * height, -1);
    point_claims claims;
    start_claims(claims, box);
    std::vector<row_span> spans;
    for (size_t k = 0; k < polygons.size(); ++k) {
        spans.clear();
        claim_inside(polygons[k], claims, spans);
        for (const row_span& span : spans) {
            ASSERT_TRUE(span.y >= box.y0 && span.y <= box.y1 && span.x0 >= box.x0 && span.x0 <= span.x1 &&
                        span.x1 <= box.x1);
            for (int64_t x = span.x0; x <= span.x1; ++x) {
                int& point = claimant[size_t(span.y - int64_t(box.y0)) * width + size_t(x - box.x0)];
                ASSERT_EQ(point, -1) << "claimed twice: " << x << "," << span.y;
                point = int(k);
            }
        }
    }
    bool first_has_any = false;
    bool all_taken = true;
    point_box bounds = inside_bounds(polygons.empty() ? std::vector<edge_equation>{} : polygons[0], box);
    for (size_t row = 0; row < height; ++row) {
        for (size_t column = 0; column < width; ++column) {
            int x = int(box.x0 + int64_t(column));
            int y = int(box.y0 + int64_t(row));
            int expected = -1;
            for (size_t k = 0; k < polygons.size() && expected < 0; ++k) {
                expected = is_inside_all(polygons[k], x, y) ? int(k) : -1;
            }
            bool in_first = !polygons.empty() && is_inside_all(polygons[0], x, y);
            first_has_any = first_has_any || in_first;
            ASSERT_TRUE(!in_first || (x >= bounds.x0 && x <= bounds.x1 && y >= bounds.y0 && y <= bounds.y1))
                << "point " << x << "," << y << " outside the bounds";
            all_taken = all_taken && expected >= 0;
            ASSERT_EQ(claimant[row * width + column], expected) << "point " << x << "," << y;
        }
    }
    EXPECT_EQ(all_claimed(claims), all_taken);
    if (!polygons.empty()) {
        EXPECT_EQ(any_point_inside(polygons[0], box), first_has_any);
    }
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
        polygon_edges polygons(1 + rng() % 3);
        for (std::vector<edge_equation>& edges : polygons) {
            edges = edges_of(random_test_polygon(rng, -20.0, 120.0, true));
        }
        point_box box = random_box(rng, -60, 140, 64);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        expect_same_as_every_point(polygons, box);
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
        polygon_edges polygons(1 + rng() % 2);
        for (std::vector<edge_equation>& edges : polygons) {
            edges.resize(rng() % 7);
            for (edge_equation& edge : edges) {
                uint8_t record[EDGE_RECORD_SIZE];
                put_be32(uint32_t(rng() % 2 ? any_c1(rng) : small(rng)), record);
                put_be16(unsigned(rng() % 2 ? any_c23(rng) : unit_c23(rng)), record + 4);
                put_be16(unsigned(rng() % 2 ? any_c23(rng) : unit_c23(rng)), record + 6);
                edge = decode_edge(record);
            }
        }
        point_box box = rng() % 2 ? random_box(rng, -40, 40, 48) : random_box(rng, -200000, 200000, 48);
        SCOPED_TRACE(::testing::Message() << "round " << round);
        expect_same_as_every_point(polygons, box);
    }
}

TEST(PointSearch, BoxesAtTheEndsOfTheIntegerRange)
{
    const std::vector<edge_equation> half_plane = {{0.0f, 0.0f, 1.0f}};               // x >= 0
    const std::vector<edge_equation> diagonal = {{0.0f, -0.70703125f, 0.70703125f}};  // x >= y
    const point_box boxes[] = {
        {INT_MAX - 20, INT_MAX - 20, INT_MAX, INT_MAX},
        {INT_MIN, INT_MIN, INT_MIN + 20, INT_MIN + 20},
        {-10, INT_MAX - 9, 10, INT_MAX},
    };
    for (const point_box& box : boxes) {
        expect_same_as_every_point({diagonal, half_plane, {}}, box);
    }
    EXPECT_FALSE(any_point_inside({}, {5, 0, 4, 10}));  // an empty box has no points
}

}  // namespace
