// The preparer's passes, run in memory: bytes, log lines, line reading, input errors, masks and cracks.
#include "passes.h"

#include "fixed_point.h"
#include "in_memory.h"
#include "picture.h"
#include "random_polygons.h"
#include "reference.h"
#include "square.h"
#include "support.h"
#include "watertight.h"

#include <bit>
#include <charconv>
#include <random>

namespace {

const std::vector<uint8_t> SQUARE_PASS_ONE = hex(SQUARE_RECORDS);

std::string square_with_lines_ending(const std::string& terminator)
{
    std::string text;
    for (const char* line : {"newpolygon", "0,0", "0,10", "10,10", "10,0", "0,0", "endpolygon"}) {
        text += std::string(line) + terminator;
    }
    return text;
}

TEST(PassOne, TheSquareGivesItsFourEdgeRecordsAndBothMarkers)
{
    pass_result pass = run_pass_one(SQUARE_TEXT);
    ASSERT_TRUE(pass.ok) << pass.error;
    EXPECT_EQ(pass.bytes, SQUARE_PASS_ONE);
    EXPECT_EQ(std::vector<uint8_t>(pass.bytes.begin() + 12, pass.bytes.begin() + 20), hex("00 00 0A 00 FF 00 00 00"));
}

TEST(PassOne, LogsEveryReadAndEveryEdge)
{
    // per edge: the vertex line that ends it, then A, B, B', C1, C2 and C3 as logged
    const char* const edges[][7] = {
        {"0,10", "(0.000000,0.000000)", "(0.000000,10.000000)", "(0.000000,1.000000)", "0.000000", "0.000000",
         "1.000000"},
        {"10,10", "(0.000000,10.000000)", "(10.000000,10.000000)", "(1.000000,10.000000)", "10.000000", "-1.000000",
         "0.000000"},
        {"10,0", "(10.000000,10.000000)", "(10.000000,0.000000)", "(10.000000,9.000000)", "10.000000", "0.000000",
         "-1.000000"},
        {"0,0", "(10.000000,0.000000)", "(0.000000,0.000000)", "(9.000000,0.000000)", "0.000000", "1.000000",
         "0.000000"},
    };
    std::string expected = "Read: [newpolygon\r\n]\r\nRead: [0,0\r\n]\r\n";
    for (const auto& edge : edges) {
        expected += std::string("Read: [") + edge[0] + "\r\n]\r\n";
        expected += std::string("A  = ") + edge[1] + "\r\nB  = " + edge[2] + "\r\nA  = " + edge[1] +
                    "\r\nB' = " + edge[3] + "\r\nABlength = 10.000000\r\nC1 = " + edge[4] + "\r\nC2 = " + edge[5] +
                    "\r\nC3 = " + edge[6] + "\r\n";
    }
    expected += "Read: [endpolygon\r\n]\r\nRead: []\r\n";
    EXPECT_EQ(run_pass_one(SQUARE_TEXT).log, expected);
}

TEST(PassOne, EdgesFollowTheRoundingOfTheirSteps)
{
    // B' rounded to single carries into all three values: from the unrounded unit vector C1 would
    // store 7128, not 7103
    pass_result pass = run_pass_one("newpolygon\r\n1275.5,1519.5\r\n1313.5,1563.5\r\nendpolygon\r\n");
    ASSERT_TRUE(pass.ok) << pass.error;
    EXPECT_NE(pass.log.find("B' = (1276.153564,1520.256836)\r\nABlength = 58.137768\r\n"
                            "C1 = 27.746948\r\nC2 = -0.653564\r\nC3 = 0.756836\r\n"),
              std::string::npos)
        << pass.log;
    EXPECT_EQ(pass.bytes, hex("00000000 00001BBF FF59 00C1 80808080 8F8F8F8F"));
}

TEST(PassOne, ReadsEachLineThroughItsLineFeedInPiecesOf199)
{
    const std::string long_blank(199, ' ');
    struct reading_case {
        const char* name;
        std::string text;
        std::vector<uint8_t> bytes;
        std::string log_end;
    };
    const reading_case cases[] = {
        {"an empty input has only the data end marker", "", hex("8F8F8F8F"), "Read: []\r\n"},
        {"LF lines give the same file as CR LF lines", square_with_lines_ending("\n"), SQUARE_PASS_ONE,
         "Read: [endpolygon\n]\r\nRead: []\r\n"},
        {"a last endpolygon without terminator needs no empty read", SQUARE_TEXT.substr(0, SQUARE_TEXT.size() - 2),
         SQUARE_PASS_ONE, "C3 = 0.000000\r\nRead: [endpolygon]\r\n"},
        {"a last endpolygon may end in CR", SQUARE_TEXT.substr(0, SQUARE_TEXT.size() - 1), SQUARE_PASS_ONE,
         "Read: [endpolygon\r]\r\n"},
        {"lines under two characters are ignored", "\n" + SQUARE_TEXT + "7", SQUARE_PASS_ONE, "Read: [7]\r\n"},
        {"blank lines are skipped, not scanned",
         "\r\nnewpolygon\r\n0,0\r\n \t\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon\r\n\r\n", SQUARE_PASS_ONE,
         "Read: [\r\n]\r\nRead: []\r\n"},
        {"a long line arrives in 199-character reads",
         "newpolygon\r\n0,0\r\n0,10\r\n" + long_blank + "10,10\r\n10,0\r\n0,0\r\nendpolygon", SQUARE_PASS_ONE,
         "Read: [endpolygon]\r\n"},
        {"a read that fills 199 characters at the end is followed by an empty one", SQUARE_TEXT + long_blank,
         SQUARE_PASS_ONE, "Read: [" + long_blank + "]\r\nRead: []\r\n"},
        {"a comment is its whole line, however many reads it takes",
         "newpolygon\r\n0,0\r\n# " + std::string(197, 'x') + "500,500\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon",
         SQUARE_PASS_ONE, "Read: [endpolygon]\r\n"},
    };
    for (const reading_case& test : cases) {
        SCOPED_TRACE(test.name);
        pass_result pass = run_pass_one(test.text);
        ASSERT_TRUE(pass.ok) << pass.error;
        EXPECT_EQ(pass.bytes, test.bytes);
        ASSERT_GE(pass.log.size(), test.log_end.size());
        EXPECT_EQ(pass.log.substr(pass.log.size() - test.log_end.size()), test.log_end);
    }
    std::string split_log = run_pass_one("newpolygon\r\n0,0\r\n0,10\r\n" + long_blank + "10,10\r\n").log;
    EXPECT_NE(split_log.find("Read: [" + long_blank + "]\r\nRead: [10,10\r\n]\r\n"), std::string::npos);
}

// Vertex lines are read by a fast path for plain decimals and by the scanner for every other form;
// both must give the scanner's own floats.
TEST(PassOne, VertexLinesReadAsTheScannerReadsThem)
{
    std::mt19937 rng(31);
    const std::string alphabet = "0123456789.-+eE, \txp";
    std::vector<std::string> lines = {"850,5",     "-0.0,1e-3",  "1e39,5",   "0x1p3,2",  "+5,6",       " 5, -6",
                                      "5 ,6",      "1.,.5",      "1e,5",     "1e+,5",    "nan,inf",    "1e-45,3",
                                      "7",         "3.4028235e38,1", "00012.5000,-0", "1.5e5x,2", "1,2,3"};
    for (int i = 0; i < 20000; ++i) {
        std::string line;
        for (size_t length = rng() % 14; length > 0; --length) {
            line += alphabet[rng() % alphabet.size()];
        }
        lines.push_back(line);
    }
    for (const std::string& line : lines) {
        float x = 0.0f;
        float y = 0.0f;
        bool scanned = std::sscanf(line.c_str(), "%f,%f", &x, &y) == 2;
        text_line read = classify_line(line + "\r\n");
        if (line.size() < 2 || line.find_first_not_of(" \t") == std::string::npos || line.find('#') == 0) {
            continue;
        }
        EXPECT_EQ(read.kind == line_kind::vertex, scanned) << line;
        if (scanned && read.kind == line_kind::vertex) {
            EXPECT_EQ(std::bit_cast<uint32_t>(read.x), std::bit_cast<uint32_t>(x)) << line;
            EXPECT_EQ(std::bit_cast<uint32_t>(read.y), std::bit_cast<uint32_t>(y)) << line;
        }
    }
}

TEST(PassOne, RejectsInputThatWouldCorruptTheFile)
{
    struct error_case {
        const char* name;
        std::string text;
        const char* error;
    };
    const std::string open = "newpolygon\r\n";
    const std::string close = "endpolygon\r\n";
    const error_case cases[] = {
        {"a vertex before any polygon", "0,0\r\n", "Line 1: vertex outside newpolygon and endpolygon."},
        {"a vertex after endpolygon", open + "0,0\r\n0,1\r\n" + close + "1,1\r\n",
         "Line 5: vertex outside newpolygon and endpolygon."},
        {"newpolygon inside a polygon", open + "0,0\r\n" + open, "Line 1: newpolygon without endpolygon."},
        {"a polygon still open at the end", "\r\n" + open + "0,0\r\n0,1\r\n", "Line 2: newpolygon without endpolygon."},
        {"endpolygon without newpolygon", close, "Line 1: endpolygon without newpolygon."},
        {"a lone number is not a vertex", open + "1,2\r\n7\r\n",
         "Line 3: expected newpolygon, endpolygon or a vertex x,y."},
        {"a word is not a number", open + "abc,5\r\n", "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"no white space before the comma", open + "1 ,2\r\n",
         "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"a keyword with trailing spaces", "newpolygon \r\n",
         "Line 1: expected newpolygon, endpolygon or a vertex x,y."},
        {"NaN", open + "nan,0\r\n", "Line 2: coordinate is not finite."},
        {"infinity", open + "0,-inf\r\n", "Line 2: coordinate is not finite."},
        {"a number beyond single precision", open + "1e39,0\r\n", "Line 2: coordinate is not finite."},
        {"a repeated vertex", open + "0,0\r\n5,5\r\n5,5\r\n", "Line 4: two equal consecutive vertices."},
        {"minus zero equals zero", open + "0,0\r\n-0,0\r\n", "Line 3: two equal consecutive vertices."},
        {"a line too far from the origin for C1", open + "9000000,0\r\n9000000,1\r\n",
         "Line 3: edge too far from the origin to store."},
        {"an edge that loses its direction far out", open + "20000000,20000000\r\n20000100,20000100\r\n",
         "Line 3: edge too far from the origin to store."},
        {"a NUL character", std::string("newpolygon\r\n0,0\0garbage\r\n", 25), "Line 2: NUL character in the line."},
        {"a C1 that would read as the polygon end marker", open + "8355711.5,0\r\n8355711.5,1\r\n",
         "Line 3: edge too far from the origin to store."},
        {"a polygon of one vertex has no edges", "\r\n" + open + "5,5\r\n" + close,
         "Line 2: polygon has no edges; it would contain every point."},
        {"a polygon without vertices", open + close, "Line 1: polygon has no edges; it would contain every point."},
        {"vertices separated by CR alone", "newpolygon\n0,0\r0,10\r10,10\r10,0\r0,0\nendpolygon\n",
         "Line 2: CR inside the line; lines end in LF or CR LF."},
        {"lines count whole, not by the reads", std::string(300, ' ') + "\r\nx,y\r\n",
         "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
    };
    for (const error_case& test : cases) {
        SCOPED_TRACE(test.name);
        pass_result pass = run_pass_one(test.text);
        EXPECT_FALSE(pass.ok);
        EXPECT_EQ(pass.error, test.error);
    }
}

TEST(PassOne, AcceptsEdgesUpToTheLimitsOfTheEdgeRecord)
{
    pass_result largest_c1 = run_pass_one("newpolygon\r\n8355711,0\r\n8355711,1\r\nendpolygon\r\n");
    ASSERT_TRUE(largest_c1.ok) << largest_c1.error;
    EXPECT_EQ(decode_fixed32(largest_c1.bytes.data() + 4, 2), -8355711.0f);

    // far out in y, B' rounds back onto A's y: the direction rests on a C2 of exactly -1/256
    pass_result smallest_c = run_pass_one("newpolygon\r\n0,16777216\r\n0.0078125596,16777218\r\nendpolygon\r\n");
    ASSERT_TRUE(smallest_c.ok) << smallest_c.error;
    EXPECT_EQ(std::vector<uint8_t>(smallest_c.bytes.begin() + 4, smallest_c.bytes.begin() + 12),
              hex("01000000 FFFF 0000"));
}

std::string polygon_lines(std::initializer_list<const char*> vertices)
{
    std::string text = "newpolygon\r\n";
    for (const char* vertex : vertices) {
        text += std::string(vertex) + "\r\n";
    }
    return text + "endpolygon\r\n";
}

// A vertex's text is the shortest that reads back the same: the quick way for whole numbers against
// the general one, over every whole number it takes and those beside it.
TEST(PassOne, VertexTextIsTheShortestForEveryWholeNumber)
{
    auto general = [](float x, float y) {
        char digits[64];
        char* end = std::to_chars(digits, digits + 32, x).ptr;
        *end++ = ',';
        return std::string(digits, std::to_chars(end, digits + sizeof digits, y).ptr);
    };
    for (int whole = -100001; whole <= 100001; ++whole) {
        float value = float(whole);
        std::string made;
        append_vertex_text(made, {value, -0.0f});
        ASSERT_EQ(made, general(value, -0.0f)) << whole;
    }
}

TEST(PolygonChecks, WarnAboutShapesThatAreAlmostCertainlyMistakes)
{
    struct warning_case {
        const char* name;
        std::string text;
        std::vector<std::string> warnings;  // "LINE: TEXT"
    };
    const std::string not_convex = "is not convex: its outline turns the other way here, so the stored shape is "
                                   "smaller than drawn";
    // clang-format off
    const warning_case cases[] = {
        {"a convex polygon listed counter-clockwise on the picture", SQUARE_TEXT, {}},
        {"a polygon partly outside the working area", polygon_lines({"1590,0", "1590,9", "1610,9", "1610,0", "1590,0"}),
         {}},
        {"a comment after the numbers", polygon_lines({"0,0 # corner", "0,10", "10,10", "10,0", "0,0"}), {}},
        {"clockwise", SQUARE_TEXT + polygon_lines({"0,0", "10,0", "10,10", "0,10", "0,0"}),
         {"8: polygon 1 runs clockwise on the picture, so it contains no point; reverse its vertices"}},
        {"an L shape", polygon_lines({"0,0", "0,20", "20,20", "20,10", "10,10", "10,0", "0,0"}),
         {"6: polygon 0 " + not_convex}},
        {"a dent at the closing vertex", polygon_lines({"12,12", "0,20", "20,20", "20,0", "12,12"}),
         {"6: polygon 0 " + not_convex}},
        {"a corner that goes straight back", polygon_lines({"0,0", "0,10", "10,10", "10,0", "10,5", "0,0"}),
         {"5: polygon 0 " + not_convex}},
        {"a star", polygon_lines({"300,200", "119,141", "231,295", "231,105", "119,259", "300,200"}),
         {"5: polygon 0 is not convex: its outline crosses itself and winds round again here, so the stored "
          "shape is smaller than drawn"}},
        {"not closed", polygon_lines({"0,0", "0,10", "10,10", "10,0.5"}),
         {"5: polygon 0 is not closed: its last vertex (10,0.5) does not repeat its first (0,0), so the closing "
          "edge is missing"}},
        {"open and clockwise", polygon_lines({"0,0", "10,0", "10,10", "0,10"}),
         {"5: polygon 0 is not closed: its last vertex (0,10) does not repeat its first (0,0), so the closing "
          "edge is missing",
          "1: polygon 0 runs clockwise on the picture, so it contains no point; reverse its vertices"}},
        {"clockwise and not convex", polygon_lines({"0,0", "10,0", "10,10", "5,5", "0,10", "0,0"}),
         {"1: polygon 0 runs clockwise on the picture, so it contains no point; reverse its vertices",
          "5: polygon 0 " + not_convex}},
        {"two vertices", polygon_lines({"0,0", "0,10", "0,0"}),
         {"1: polygon 0 has fewer than three distinct vertices, so it has no area"}},
        {"three on one line", polygon_lines({"0,0", "0,10", "0,20", "0,0"}),
         {"1: polygon 0 has all its vertices on one line, so it has no area"}},
        {"wholly outside the working area", polygon_lines({"1700,0", "1700,9", "1709,9", "1709,0", "1700,0"}),
         {"1: polygon 0 contains no point of the working area (0..1599 in x and y)"}},
        {"a sliver between the integer points", polygon_lines({"5.2,5.2", "5.2,5.8", "5.8,5.2", "5.2,5.2"}),
         {"1: polygon 0 contains no point of the working area (0..1599 in x and y)"}},
        {"a word after the numbers", polygon_lines({"0,0", "0,10 x5", "10,10", "10,0", "0,0"}), {}},
        {"a decimal comma", polygon_lines({"0,0", "0,10,5", "10,10", "10,0", "0,0"}),
         {"3: polygon 0: text after the second number is ignored; is ',' a decimal separator here?"}},
    };
    // clang-format on
    for (const warning_case& test : cases) {
        SCOPED_TRACE(test.name);
        pass_result pass = run_pass_one(test.text);
        ASSERT_TRUE(pass.ok) << pass.error;
        std::vector<std::string> warnings;
        for (const warning& found : pass.warnings) {
            warnings.push_back(std::to_string(found.where.line) + ": " + found.text);
        }
        EXPECT_EQ(warnings, test.warnings);
    }
}

// Every vertex on the inner side of every watertight edge, checked in integers: the corners lie on a
// grid of 1/1024, so 1024 times each coordinate is exact.
TEST(Watertight, EveryEdgeHoldsEveryDrawnVertexAndStaysCloseToIt)
{
    constexpr double GRID = 1.0 / 1024.0;
    std::mt19937 rng(17);
    std::vector<std::pair<std::string, polygon>> cases = {
        {"the first of two triangles that share an edge", {{200, 1400}, {1400, 300}, {100, 100}}},
        {"an upright square", {{0, 0}, {0, 10}, {10, 10}, {10, 0}}},
        {"a sliver far from the origin", {{1590.5f, 1590.25f}, {1599, 1599.5f}, {1599.25f, 1598}}},
        {"a triangle with fractions", {{10.125f, 20.5f}, {700.0009765625f, 900.75f}, {1200.5f, 3.25f}}},
    };
    for (int i = 0; i < 300; ++i) {
        double rx = 2.0 + double(rng() % 400);
        double ry = 2.0 + double(rng() % 400);
        cases.push_back({"random " + std::to_string(i),
                         convex_hull(ellipse_polygon(rng, double(400 + rng() % 800), double(400 + rng() % 800), rx, ry,
                                                     double(rng() % 628) / 100.0, 3 + int(rng() % 12), GRID))});
    }
    for (const auto& [name, corners] : cases) {
        SCOPED_TRACE(name);
        if (corners.size() < 3) {
            continue;
        }
        std::vector<drawn_point> outline;
        for (const vertex& corner : corners) {
            outline.push_back({corner.x, corner.y});
        }
        std::vector<double> sines;
        corner_sines(outline, sines);
        for (size_t e = 0; e < outline.size(); ++e) {
            const drawn_point& a = outline[e];
            const drawn_point& b = outline[(e + 1) % outline.size()];
            uint8_t stored[8];
            encode_edge(contained_edge(outline, e, computed_edge(a.x, a.y, b.x, b.y), sines), stored);
            int64_t c1 = int32_t(get_be32(stored));
            int64_t c2 = int16_t(get_be16(stored + 4));
            int64_t c3 = int16_t(get_be16(stored + 6));
            for (const drawn_point& v : outline) {
                EXPECT_GE(c1 * 1024 + int64_t(v.y * 1024.0) * c2 + int64_t(v.x * 1024.0) * c3, 0);
            }
            double length = std::hypot(double(c2), double(c3));
            EXPECT_NEAR(length / 256.0, 1.0, 0.01);
            // normals in steps of 1/256 turn the line of an edge over a thousand units long by more
            if (std::hypot(double(b.x) - a.x, double(b.y) - a.y) < 500.0) {
                for (const drawn_point& end : {a, b}) {
                    EXPECT_LE((double(c1) + end.y * double(c2) + end.x * double(c3)) / length, 1.0);
                }
            }
        }
    }
}

// The crack check's total against a plain count on random tilings: every point that the imager leaves
// to no polygon, whose first polygon to hold it as drawn has an edge it shares with another polygon,
// whose stored copies in both leave the point out.
TEST(Cracks, TheirTotalIsThePlainCountOfPointsLostBetweenNeighbours)
{
    for (uint32_t seed : {3u, 5u, 8u}) {
        SCOPED_TRACE(seed);
        std::vector<polygon> tiles = tiled_rectangle(seed, 8, 6);
        captured_stream log;
        polygon_text text = text_from_memory(polygons_text(tiles));
        pass_one_result first;
        ASSERT_TRUE(pass_one(text, log.file, first));
        find_cracks(view_of(first), first.warnings);

        record_walk walk = walk_records(first.records);
        std::vector<uint32_t> owners;
        render_owners(first.records.data(), walk.records, WORKING_SIDE, owners);
        auto stored_edge = [&](size_t k, size_t e) {
            return first.records.data() + walk.records[k].offset + HEADER_WORD_SIZE + e * EDGE_RECORD_SIZE;
        };
        size_t lost = 0;
        for (int y = 0; y < WORKING_SIDE; ++y) {
            for (int x = 0; x < WORKING_SIDE; ++x) {
                if (owners[size_t(y) * WORKING_SIDE + size_t(x)] != NO_POLYGON) {
                    continue;
                }
                auto holder = std::find_if(tiles.begin(), tiles.end(),
                                           [&](const polygon& tile) { return drawn_polygon_holds(tile, x, y); });
                if (holder == tiles.end()) {
                    continue;
                }
                size_t k = size_t(holder - tiles.begin());
                bool in_a_gap = false;
                for (size_t e = 0; e < holder->size() && !in_a_gap; ++e) {
                    vertex a = (*holder)[e];
                    vertex b = (*holder)[(e + 1) % holder->size()];
                    for (size_t other = 0; other < tiles.size() && !in_a_gap; ++other) {
                        const polygon& tile = tiles[other];
                        for (size_t f = 0; f < tile.size() && other != k; ++f) {
                            bool shared = tile[f].x == b.x && tile[f].y == b.y && tile[(f + 1) % tile.size()].x == a.x &&
                                          tile[(f + 1) % tile.size()].y == a.y;
                            if (shared && edge_distance(stored_edge(k, e), x, y) < 0.0f &&
                                edge_distance(stored_edge(other, f), x, y) < 0.0f) {
                                in_a_gap = true;
                            }
                        }
                    }
                }
                lost += in_a_gap;
            }
        }
        EXPECT_GT(lost, 0u);
        EXPECT_EQ(first.warnings.points_in_cracks, lost);
    }
}

// The format's limit, which --fix exists for: a record holds the intersection of its edges' inner
// sides, so an L is stored as its corner square alone.
TEST(PolygonChecks, AConcavePolygonKeepsOnlyTheInnerSidesOfItsEdges)
{
    std::vector<uint8_t> stored = prepare(polygon_lines({"0,0", "0,20", "20,20", "20,10", "10,10", "10,0", "0,0"}));
    EXPECT_TRUE(point_in_polygon(stored.data(), 5, 15));    // the corner square
    EXPECT_FALSE(point_in_polygon(stored.data(), 5, 5));    // the upright arm, drawn but lost
    EXPECT_FALSE(point_in_polygon(stored.data(), 15, 15));  // the other arm
}

std::vector<uint8_t> header_word(const std::string& text)
{
    std::vector<uint8_t> file = prepare(text);
    return std::vector<uint8_t>(file.begin(), file.begin() + 4);
}

TEST(PassTwo, FillsInSizeAndSplitspaceMask)
{
    struct mask_case {
        const char* name;
        std::string text;
        const char* header;
    };
    const mask_case cases[] = {
        {"the 10 x 10 square reaches cell (0,0) only", SQUARE_TEXT, "0028 0001"},
        {"cell (0,0) is searched up to x = 410",
         "newpolygon\r\n402,40\r\n402,60\r\n408,60\r\n408,40\r\n402,40\r\nendpolygon\r\n", "0028 0003"},
        {"the bound x = 410 is inclusive",
         "newpolygon\r\n410,40\r\n410,60\r\n420,60\r\n420,40\r\n410,40\r\nendpolygon\r\n", "0028 0003"},
        {"x = 411 is beyond it", "newpolygon\r\n411,40\r\n411,60\r\n420,60\r\n420,40\r\n411,40\r\nendpolygon\r\n",
         "0028 0002"},
        {"a triangle between integer points reaches none",
         "newpolygon\r\n100.2,100.2\r\n100.2,100.8\r\n100.8,100.2\r\n100.2,100.2\r\nendpolygon\r\n", "0020 0000"},
        {"a square outside the searched area reaches none",
         "newpolygon\r\n1611,0\r\n1611,10\r\n1620,10\r\n1620,0\r\n1611,0\r\nendpolygon\r\n", "0028 0000"},
        {"rows are the outer loop of the bit order",
         "newpolygon\r\n395,395\r\n395,405\r\n405,405\r\n405,395\r\n395,395\r\nendpolygon\r\n", "0028 0033"},
    };
    for (const mask_case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(header_word(test.text), hex(test.header));
    }
    // a record without edges, which only other writers make, reaches every cell
    EXPECT_EQ(run_pass_two(hex("00000000 80808080 8F8F8F8F")).bytes, hex("0008 FFFF 80808080 8F8F8F8F"));
}

TEST(PassTwo, LogsEachPolygonItsCellsAndItsSize)
{
    pass_result pass = run_pass_two(hex("00000000" + SQUARE_EDGES + "80808080" + "00000000 80808080 8F8F8F8F"));
    ASSERT_TRUE(pass.ok);
    std::string expected = "Encountered polygon 0.\r\n"
                           "size_of_this_polygon_data = 10.\r\n"
                           "This polygon affects cell (0,0). ORing contribution of 0001 to splitspace bitmask.\r\n"
                           "Advancing 10 4-byte words to the next polygon.\r\n"
                           "Encountered polygon 1.\r\n"
                           "size_of_this_polygon_data = 2.\r\n";
    for (int bit = 0; bit < 16; ++bit) {
        char line[120];
        std::snprintf(line, sizeof line,
                      "This polygon affects cell (%d,%d). ORing contribution of %04X to splitspace bitmask.\r\n",
                      bit % 4, bit / 4, 1u << bit);
        expected += line;
    }
    expected += "Advancing 2 4-byte words to the next polygon.\r\n";
    EXPECT_EQ(pass.log, expected);
}

TEST(PassTwo, AFileWithoutPolygonsStaysAsItIs)
{
    pass_result pass = run_pass_two(hex("8F8F8F8F"));
    EXPECT_TRUE(pass.ok);
    EXPECT_EQ(pass.bytes, hex("8F8F8F8F"));
    EXPECT_EQ(pass.log, "");
}

TEST(PassTwo, RejectsARecordTooLongForItsSizeField)
{
    auto record_with_edges = [](size_t edges) {
        std::vector<uint8_t> bytes = hex("00000000");
        for (size_t i = 0; i < edges; ++i) {
            bytes.insert(bytes.end(), {0, 0, 0, 0, 0, 0, 1, 0});
        }
        std::vector<uint8_t> end = hex("80808080 8F8F8F8F");
        bytes.insert(bytes.end(), end.begin(), end.end());
        return bytes;
    };
    pass_result largest = run_pass_two(record_with_edges(8190));
    ASSERT_TRUE(largest.ok);
    EXPECT_EQ(std::vector<uint8_t>(largest.bytes.begin(), largest.bytes.begin() + 2), hex("FFF8"));

    std::vector<uint8_t> two = record_with_edges(0);
    std::vector<uint8_t> too_large = record_with_edges(8191);
    two.insert(two.end() - 4, too_large.begin(), too_large.end() - 4);
    pass_result rejected = run_pass_two(two);
    EXPECT_FALSE(rejected.ok);
    EXPECT_EQ(rejected.error, "Polygon 1 has 8191 edges, more than the 8190 that its size field can describe.");
    EXPECT_EQ(rejected.log, "");
}

TEST(PassTwo, RejectsDamagedRecords)
{
    pass_result pass = run_pass_two(hex("00000000 00000000"));
    EXPECT_FALSE(pass.ok);
    EXPECT_EQ(pass.error, "The collision data is damaged.");
}

// The fast search against the point-by-point search over each cell's whole square.
TEST(PassTwo, MasksEqualTheBruteForceSearch)
{
    std::mt19937 rng(1600);
    std::vector<polygon> polygons;
    for (int i = 0; i < 24; ++i) {
        polygons.push_back(random_test_polygon(rng, -60.0, 1660.0, false));
    }
    std::vector<uint8_t> file = prepare(polygons_text(polygons));
    record_walk walk = walk_records(file);
    ASSERT_EQ(walk.records.size(), polygons.size());
    for (const polygon_record& record : walk.records) {
        const uint8_t* header = file.data() + record.offset;
        ASSERT_EQ(get_be16(header + 2), reference_splitspace_mask(header)) << "record at " << record.offset;
    }
}

}  // namespace
