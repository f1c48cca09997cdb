// Hostile inputs and unusable outputs for the built programs: each run ends with a clear last line
// and its exit status, and an output file is either complete and right or not touched at all.
#include "programs.h"
#include "support.h"

#include "random_polygons.h"

#include <cmath>
#include <random>

namespace {

namespace fs = std::filesystem;


class BadInput : public ScratchTest {};

std::string garbage(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = char(rng());
    }
    return bytes;
}

std::string polygon_with_edges(size_t edges)
{
    polygon corners;
    for (size_t i = 0; i < edges; ++i) {
        double angle = -2.0 * 3.14159265358979 * double(i) / double(edges);
        corners.push_back({float(800.0 + 700.0 * std::cos(angle)), float(800.0 + 700.0 * std::sin(angle))});
    }
    return polygon_text({corners});
}

struct hostile_case {
    const char* name;
    const std::string& program;
    std::string input;
    const char* expected_last_line;  // its text, or "" where only the status matters
    int status;
};

// Each hostile input runs twice: to a new output path, which must not appear, and over an existing
// file, which must stay as it was.
TEST_F(BadInput, HostileInputsAreRefusedWithoutTouchingTheOutput)
{
    const std::string open = "newpolygon\r\n";
    const hostile_case cases[] = {
        {"binary garbage as polygon text", TARVEX, garbage(4096, 1), "", 1},
        {"a NUL byte in a line", TARVEX, std::string("newpolygon\r\n0,\0,0\r\n", 19), "Line 2: NUL character in the line.\r\n", 1},
        {"a line of 10,000 digits", TARVEX, open + std::string(10000, '7') + ",1\r\n",
         "Line 2: expected newpolygon, endpolygon or a vertex x,y.\r\n", 1},
        {"a polygon of 9,000 edges", TARVEX, polygon_with_edges(9000),
         "Polygon 0 has 9000 edges, more than the 8190 that its size field can describe.\r\n", 1},
        {"coordinates of 1e30", TARVEX, open + "1e30,1e30\r\n1e30,-1e30\r\n", "Line 3: edge too far from the origin to store.\r\n", 1},
        {"a coordinate nan", TARVEX, open + "nan,0\r\n", "Line 2: coordinate is not finite.\r\n", 1},
        {"a coordinate inf", TARVEX, open + "0,inf\r\n", "Line 2: coordinate is not finite.\r\n", 1},
        {"an empty collision file", MIROLT, "", "", 1},
        {"binary garbage as a collision file", MIROLT, garbage(4096, 2), "", 1},
        {"a truncated collision file", MIROLT, std::string(30, '\0'), "", 1},
        {"a collision file without markers", MIROLT, std::string(64, '\x11'), "", 1},
    };
    for (const hostile_case& test : cases) {
        SCOPED_TRACE(test.name);
        write_text(file("input"), test.input);
        fs::remove(file("output"));
        tool_run fresh = run_tool(test.program, {file("input"), file("output")});
        EXPECT_EQ(fresh.status, test.status);
        if (*test.expected_last_line) {
            EXPECT_EQ(last_line(fresh.output), test.expected_last_line);
        }
        EXPECT_EQ(fresh.output.find("Finished normally."), std::string::npos);
        EXPECT_FALSE(fs::exists(file("output")));

        write_text(file("output"), "precious");
        tool_run over_existing = run_tool(test.program, {file("input"), file("output")});
        EXPECT_EQ(over_existing.status, test.status);
        EXPECT_EQ(read_text(file("output")), "precious");
    }
}

TEST_F(BadInput, LargeButValidInputsAreProcessed)
{
    write_text(file("empty.txt"), "");
    EXPECT_EQ(run_tool(TARVEX, {file("empty.txt"), file("empty.col")}).status, 0);
    EXPECT_EQ(read_bytes(file("empty.col")), hex("8F8F8F8F"));

    write_text(file("spaces.txt"), "newpolygon\r\n" + std::string(10000, ' ') + "5,5\r\nendpolygon\r\n");
    EXPECT_EQ(run_tool(TARVEX, {file("spaces.txt"), file("spaces.col")}).status, 0);
    EXPECT_EQ(read_bytes(file("spaces.col")), hex("0008 FFFF 80808080 8F8F8F8F"));

    write_text(file("map.txt"), random_map(3, 100000));
    tool_run run = run_tool(TARVEX, {file("map.txt"), file("map.col")});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.output.ends_with("Encountered polygon 99999.\r\n") == false);
    EXPECT_NE(run.output.find("Encountered polygon 99999.\r\n"), std::string::npos);
    EXPECT_EQ(last_line(run.output), "Finished normally.\r\n");
    EXPECT_EQ(run_tool(MIROLT, {file("map.col"), file("map.tga")}).status, 0);
    EXPECT_EQ(fs::file_size(file("map.tga")), 7680018u);
}

TEST_F(BadInput, OutputsThatCannotBeWrittenAreReported)
{
    write_text(file("square.txt"), SQUARE_TEXT);
    write_bytes(file("square.col"), hex(SQUARE_FILE));
    write_text(file("plain"), "a file, not a folder");
    struct output_case {
        const char* name;
        const std::string& program;
        std::vector<std::string> args;
        std::string last_line;
    };
    const std::string beneath_a_file = file("plain/out");
    const output_case cases[] = {
        {"a full disk for tarvex", TARVEX, {file("square.txt"), "/dev/full"},
         "Couldn't write /dev/full: No space left on device.\r\n"},
        {"a full disk for mirolt", MIROLT, {file("square.col"), "/dev/full"},
         "Couldn't write /dev/full: No space left on device.\r\n"},
        {"a full disk for sinetable", SINETABLE, {"/dev/full"}, "Couldn't write /dev/full: No space left on device.\r\n"},
        {"a path that cannot be created", TARVEX, {file("square.txt"), beneath_a_file},
         "Couldn't write " + beneath_a_file + ": Not a directory.\r\n"},
        {"a path that cannot be created for mirolt", MIROLT, {file("square.col"), beneath_a_file},
         "Couldn't write " + beneath_a_file + ": Not a directory.\r\n"},
        {"a path that cannot be created for sinetable", SINETABLE, {beneath_a_file},
         "Couldn't write " + beneath_a_file + ": Not a directory.\r\n"},
    };
    for (const output_case& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_tool(test.program, test.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.last_line);
    }
    EXPECT_EQ(read_text(file("plain")), "a file, not a folder");
}

TEST_F(BadInput, TheInputAsItsOwnOutputEndsCorrectOrUntouched)
{
    write_text(file("square"), SQUARE_TEXT);
    EXPECT_EQ(run_tool(TARVEX, {file("square"), file("square")}).status, 0);
    EXPECT_EQ(read_bytes(file("square")), hex(SQUARE_FILE));

    const std::string bad_text = "newpolygon\r\n0,0\r\n";
    write_text(file("bad"), bad_text);
    EXPECT_EQ(run_tool(TARVEX, {file("bad"), file("bad")}).status, 1);
    EXPECT_EQ(read_text(file("bad")), bad_text);

    EXPECT_EQ(run_tool(MIROLT, {file("square"), file("square")}).status, 0);
    EXPECT_EQ(fs::file_size(file("square")), 7680018u);
}

}  // namespace
