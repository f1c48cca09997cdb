// The collision file's inside test and its record walks.
#include "collision_file.h"

#include "square.h"
#include "support.h"

namespace {

const std::vector<uint8_t> SQUARE = hex(SQUARE_RECORD);

// The same square listed the other way round: every edge keeps the outside.
const std::vector<uint8_t> REVERSED_SQUARE = hex("0000 0000"
                                                 "00000000 FF00 0000"
                                                 "FFFFF600 0000 0100"
                                                 "FFFFF600 0100 0000"
                                                 "00000000 0000 FF00"
                                                 "80808080");

const std::vector<uint8_t> NO_EDGES = hex("0008 FFFF 80808080");

// An edge whose second half reads as the polygon end marker: only 8-byte steps see the real one.
const std::vector<uint8_t> MARKER_IN_EDGE = hex("0000 0000"
                                                "00000000 8080 8080"
                                                "80808080");

TEST(InsideTest, PointsOnTheEdgesCountAsInside)
{
    struct point_case {
        int x;
        int y;
        bool inside;
    };
    const point_case cases[] = {{5, 5, true},   {0, 0, true},   {10, 5, true},  {10, 10, true},
                                {11, 5, false}, {5, -1, false}, {-1, 5, false}, {5, 11, false}};
    for (const point_case& test : cases) {
        EXPECT_EQ(point_in_polygon(SQUARE.data(), test.x, test.y), test.inside) << test.x << "," << test.y;
    }
}

TEST(InsideTest, AReversedSquareContainsNothingAndNoEdgesContainEverything)
{
    for (int y = -3; y <= 13; ++y) {
        for (int x = -3; x <= 13; ++x) {
            ASSERT_FALSE(point_in_polygon(REVERSED_SQUARE.data(), x, y)) << x << "," << y;
        }
    }
    for (int point : {-2147483647, -10, 0, 1599, 2147483647}) {
        EXPECT_TRUE(point_in_polygon(NO_EDGES.data(), point, -point));
    }
}

TEST(InsideTest, EdgeDistanceIsTheSignedDistanceInWorldUnits)
{
    const uint8_t* second_edge = SQUARE.data() + 4 + 8;  // from (0,10) to (10,10): y <= 10 is inside
    EXPECT_EQ(edge_distance(second_edge, 3, 7), 3.0f);
    EXPECT_EQ(edge_distance(second_edge, 3, 12), -2.0f);
    edge_equation decoded = decode_edge(second_edge);
    EXPECT_EQ(decoded.c1, 10.0f);
    EXPECT_EQ(decoded.c2, -1.0f);
    EXPECT_EQ(decoded.c3, 0.0f);
}

TEST(InsideTest, ProductsRoundToSingleAndTheSumToDouble)
{
    // 100001 * 127.99609375 = 12799737.37109375 needs more than 24 bits: the product rounds first
    edge_equation wide = {0.0f, 127.99609375f, 0.0f};
    EXPECT_EQ(edge_distance(wide, 0, 100001), 12799737.0f);
    // 2^24 + 1 + 1 summed in single would lose both ones; in double only the final rounding counts
    edge_equation large = {16777216.0f, 1.0f, 1.0f};
    EXPECT_EQ(edge_distance(large, 1, 1), 16777218.0f);
}

TEST(RecordWalk, FindsTheEndOfARecordByItsMarker)
{
    EXPECT_EQ(record_end(SQUARE.data()), SQUARE.data() + 36);
    EXPECT_EQ(record_end(NO_EDGES.data()), NO_EDGES.data() + 4);
    EXPECT_EQ(record_end(MARKER_IN_EDGE.data()), MARKER_IN_EDGE.data() + 12);
}

TEST(RecordWalk, BoundedWalkReportsWhereTheLayoutBreaks)
{
    struct walk_case {
        const char* name;
        std::vector<uint8_t> bytes;
        walk_error error;
        std::vector<size_t> edge_counts;
    };
    std::vector<uint8_t> two_records = SQUARE;
    two_records.insert(two_records.end(), NO_EDGES.begin(), NO_EDGES.end());
    two_records.insert(two_records.end(), {0x8F, 0x8F, 0x8F, 0x8F});
    std::vector<uint8_t> cut_in_edge(SQUARE.begin(), SQUARE.begin() + 17);
    std::vector<uint8_t> no_data_end = SQUARE;
    std::vector<uint8_t> trailing = two_records;
    trailing.insert(trailing.end(), {1, 2, 3});
    const walk_case cases[] = {
        {"an empty file has no data end marker", {}, walk_error::missing_data_end, {}},
        {"three bytes are not a marker", hex("8F8F8F"), walk_error::missing_data_end, {}},
        {"the data end marker alone is a file without polygons", hex("8F8F8F8F"), walk_error::none, {}},
        {"records are walked in order", two_records, walk_error::none, {4, 0}},
        {"edges are stepped over whole", hex("0000 0000 00000000 8080 8080 80808080 8F8F8F8F"), walk_error::none, {1}},
        {"bytes after the data end marker are not read", trailing, walk_error::none, {4, 0}},
        {"a record cut inside an edge", cut_in_edge, walk_error::missing_polygon_end, {}},
        {"a header word alone", hex("0000 0000"), walk_error::missing_polygon_end, {}},
        {"a record without the data end marker after it", no_data_end, walk_error::missing_data_end, {4}},
        {"a marker off the 8-byte steps", hex("0000 0000 0000 8080 8080 8F8F"), walk_error::missing_polygon_end, {}},
    };
    for (const walk_case& test : cases) {
        SCOPED_TRACE(test.name);
        record_walk walk = walk_records(test.bytes);
        EXPECT_EQ(walk.error, test.error);
        std::vector<size_t> edge_counts;
        for (const polygon_record& record : walk.records) {
            edge_counts.push_back(record.edge_count);
        }
        EXPECT_EQ(edge_counts, test.edge_counts);
    }
}

}  // namespace
