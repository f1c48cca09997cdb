// The preparer's passes, run in memory: bytes, log lines, line reading, input errors and masks.
#include "tarvex.h"

#include "fixed_point.h"
#include "in_memory.h"
#include "random_polygons.h"
#include "reference.h"
#include "support.h"

#include <random>

namespace {

const std::string SQUARE_TEXT = "newpolygon\r\n0,0\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon\r\n";

const std::vector<uint8_t> SQUARE_INTERMEDIATE = hex("00000000"
                                                     "00000000 0000 0100"
                                                     "00000A00 FF00 0000"
                                                     "00000A00 0000 FF00"
                                                     "00000000 0100 0000"
                                                     "80808080 8F8F8F8F");

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
    EXPECT_EQ(pass.bytes, SQUARE_INTERMEDIATE);
    EXPECT_EQ(std::vector<uint8_t>(pass.bytes.begin() + 12, pass.bytes.begin() + 20), hex("00 00 0A 00 FF 00 00 00"));
}

TEST(PassOne, LogsEveryReadAndEveryEdge)
{
    // per edge: the vertex line that ends it, then A, B, B', C1, C2 and C3 as logged
    const char* const edges[][7] = {
        {"0,10", "(0.000000,0.000000)", "(0.000000,10.000000)", "(0.000000,1.000000)", "0.000000", "0.000000",
         "1.000000"},
        {"10,10", "(0.000000,10.000000)", "(10.000000,10.000000)", "(1.000000,10.000000)", "10.000000",
         "-1.000000", "0.000000"},
        {"10,0", "(10.000000,10.000000)", "(10.000000,0.000000)", "(10.000000,9.000000)", "10.000000", "0.000000",
         "-1.000000"},
        {"0,0", "(10.000000,0.000000)", "(0.000000,0.000000)", "(9.000000,0.000000)", "0.000000", "1.000000",
         "0.000000"},
    };
    std::string expected = "Read: [newpolygon\r\n]\r\nRead: [0,0\r\n]\r\n";
    for (const auto& edge : edges) {
        expected += std::string("Read: [") + edge[0] + "\r\n]\r\n";
        expected += std::string("A  = ") + edge[1] + "\r\nB  = " + edge[2] + "\r\nA  = " + edge[1] + "\r\nB' = " +
                    edge[3] + "\r\nABlength = 10.000000\r\nC1 = " + edge[4] + "\r\nC2 = " + edge[5] +
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

TEST(PassOne, ReadsLinesAsTheLineReaderDoes)
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
        {"LF lines give the same file as CR LF lines", square_with_lines_ending("\n"), SQUARE_INTERMEDIATE,
         "Read: [endpolygon\n]\r\nRead: []\r\n"},
        {"a last endpolygon without terminator needs no empty read", SQUARE_TEXT.substr(0, SQUARE_TEXT.size() - 2),
         SQUARE_INTERMEDIATE, "C3 = 0.000000\r\nRead: [endpolygon]\r\n"},
        {"a last endpolygon may end in CR", SQUARE_TEXT.substr(0, SQUARE_TEXT.size() - 1), SQUARE_INTERMEDIATE,
         "Read: [endpolygon\r]\r\n"},
        {"one vertex line makes a polygon without edges", "newpolygon\r\n5,5\r\nendpolygon\r\n",
         hex("00000000 80808080 8F8F8F8F"), "Read: []\r\n"},
        {"lines under two characters are ignored", "\n" + SQUARE_TEXT + "7", SQUARE_INTERMEDIATE, "Read: [7]\r\n"},
        {"blank lines are skipped, not scanned",
         "\r\nnewpolygon\r\n0,0\r\n \t\r\n0,10\r\n10,10\r\n10,0\r\n0,0\r\nendpolygon\r\n\r\n", SQUARE_INTERMEDIATE,
         "Read: [\r\n]\r\nRead: []\r\n"},
        {"a long line arrives in 199-character reads", "newpolygon\r\n0,0\r\n0,10\r\n" + long_blank + "10,10\r\n10,0\r\n0,0\r\nendpolygon",
         SQUARE_INTERMEDIATE, "Read: [endpolygon]\r\n"},
        {"a read that fills 199 characters at the end is followed by an empty one", SQUARE_TEXT + long_blank,
         SQUARE_INTERMEDIATE, "Read: [" + long_blank + "]\r\nRead: []\r\n"},
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
        {"a vertex after endpolygon", open + "0,0\r\n" + close + "1,1\r\n",
         "Line 4: vertex outside newpolygon and endpolygon."},
        {"newpolygon inside a polygon", open + "0,0\r\n" + open, "Line 1: newpolygon without endpolygon."},
        {"a polygon still open at the end", "\r\n" + open + "0,0\r\n0,1\r\n", "Line 2: newpolygon without endpolygon."},
        {"endpolygon without newpolygon", close, "Line 1: endpolygon without newpolygon."},
        {"a lone number is not a vertex", open + "1,2\r\n7\r\n", "Line 3: expected newpolygon, endpolygon or a vertex x,y."},
        {"a word is not a number", open + "abc,5\r\n", "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"no white space before the comma", open + "1 ,2\r\n", "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"a keyword with trailing spaces", "newpolygon \r\n", "Line 1: expected newpolygon, endpolygon or a vertex x,y."},
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

TEST(PassOne, AcceptsEdgesUpToTheLimitOfTheC1Field)
{
    pass_result pass = run_pass_one("newpolygon\r\n8355711,0\r\n8355711,1\r\nendpolygon\r\n");
    ASSERT_TRUE(pass.ok) << pass.error;
    EXPECT_EQ(decode_fixed32(pass.bytes.data() + 4, 2), -8355711.0f);
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
        {"a polygon without edges reaches every cell", "newpolygon\r\n5,5\r\nendpolygon\r\n", "0008 FFFF"},
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
}

TEST(PassTwo, LogsEachPolygonItsCellsAndItsSize)
{
    pass_result pass = run_pass_two(run_pass_one(SQUARE_TEXT + "newpolygon\r\n800,1200\r\nendpolygon\r\n").bytes);
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

TEST(PassTwo, RejectsADamagedIntermediateFile)
{
    pass_result pass = run_pass_two(hex("00000000 00000000"));
    EXPECT_FALSE(pass.ok);
    EXPECT_EQ(pass.error, "The intermediate file is damaged.");
}

// The fast search against the point-by-point search over each cell's whole square.
TEST(PassTwo, MasksEqualTheBruteForceSearch)
{
    std::mt19937 rng(1600);
    std::vector<polygon> polygons;
    for (int i = 0; i < 24; ++i) {
        polygons.push_back(random_test_polygon(rng, -60.0, 1660.0, true));
    }
    std::vector<uint8_t> file = prepare(polygon_text(polygons));
    record_walk walk = walk_records(file);
    ASSERT_EQ(walk.records.size(), polygons.size());
    for (const polygon_record& record : walk.records) {
        const uint8_t* header = file.data() + record.offset;
        ASSERT_EQ(get_be16(header + 2), reference_splitspace_mask(header)) << "record at " << record.offset;
    }
}

}  // namespace
