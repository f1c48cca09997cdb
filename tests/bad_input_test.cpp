// Hostile inputs and unusable files for the built programs: each run ends with a clear last line
// and its exit status, and an output file is either complete and right or not touched at all.
#include "programs.h"
#include "random_polygons.h"
#include "support.h"

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

// Each hostile input runs twice: to a new output path, which must not appear, and over an existing
// file, which must stay as it was.
TEST_F(BadInput, HostileInputsAreRefusedWithoutTouchingTheOutput)
{
    struct hostile_case {
        const char* name;
        const std::string& program;
        std::string input;
        std::string last_line;  // "input" stands for the input's path; empty: any message
    };
    const std::string open = "newpolygon\r\n";
    const hostile_case cases[] = {
        {"binary garbage as polygon text", TARVEX, garbage(4096, 1), ""},
        {"a NUL byte in a line", TARVEX, std::string("newpolygon\r\n0,\0,0\r\n", 19), "Line 2: NUL character in the line."},
        {"a line of 10,000 digits", TARVEX, open + std::string(10000, '7') + ",1\r\n",
         "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"a polygon of 9,000 edges", TARVEX, polygon_with_edges(9000),
         "Polygon 0 has 9000 edges, more than the 8190 that its size field can describe."},
        {"coordinates of 1e30", TARVEX, open + "1e30,1e30\r\n1e30,-1e30\r\n", "Line 3: edge too far from the origin to store."},
        {"a coordinate nan", TARVEX, open + "nan,0\r\n", "Line 2: coordinate is not finite."},
        {"a coordinate inf", TARVEX, open + "0,inf\r\n", "Line 2: coordinate is not finite."},
        {"an empty collision file", MIROLT, "", "input is empty."},
        {"binary garbage as a collision file", MIROLT, garbage(4096, 2), ""},
        {"a file cut inside a record", MIROLT, std::string(hex(SQUARE_FILE).size() - 10, '\0'),
         "input: polygon 0 has no polygon end marker."},
        {"a record without the data end marker after it", MIROLT, std::string("\x00\x08\xFF\xFF\x80\x80\x80\x80\x8F\x8F", 10),
         "input: no data end marker at byte 8."},
        {"a file without markers", MIROLT, std::string(64, '\x11'), "input: polygon 0 has no polygon end marker."},
    };
    for (const hostile_case& test : cases) {
        SCOPED_TRACE(test.name);
        write_text(file("input"), test.input);
        fs::remove(file("output"));
        tool_run fresh = run_tool(test.program, {file("input"), file("output")});
        EXPECT_EQ(fresh.status, 1);
        if (!test.last_line.empty()) {
            std::string expected = test.last_line.starts_with("input") ? file("input") + test.last_line.substr(5)
                                                                       : test.last_line;
            EXPECT_EQ(last_line(fresh.output), expected + "\r\n");
        }
        EXPECT_EQ(fresh.output.find("Finished normally."), std::string::npos);
        EXPECT_FALSE(fs::exists(file("output")));

        write_text(file("output"), "precious");
        EXPECT_EQ(run_tool(test.program, {file("input"), file("output")}).status, 1);
        EXPECT_EQ(read_text(file("output")), "precious");
    }
}

TEST_F(BadInput, FilesThatCannotBeUsedAreReported)
{
    write_text(file("square.txt"), SQUARE_TEXT);
    write_bytes(file("square.col"), hex(SQUARE_FILE));
    write_text(file("plain"), "a file, not a folder");
    struct file_case {
        const char* name;
        const std::string& program;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::string last_line;
    };
    const file_case cases[] = {
        {"a folder as the polygon text", TARVEX, {dir.string(), file("out")}, {},
         "Couldn't read " + dir.string() + ": Is a directory."},
        {"no temporary folder", TARVEX, {file("square.txt"), file("out")}, {"TMPDIR=" + file("none")},
         "Couldn't create the intermediate file: No such file or directory."},
        {"a full disk for tarvex", TARVEX, {file("square.txt"), "/dev/full"}, {},
         "Couldn't write /dev/full: No space left on device."},
        {"a full disk for mirolt", MIROLT, {file("square.col"), "/dev/full"}, {},
         "Couldn't write /dev/full: No space left on device."},
        {"a full disk for sinetable", SINETABLE, {"/dev/full"}, {}, "Couldn't write /dev/full: No space left on device."},
        {"an output beneath a file", MIROLT, {file("square.col"), file("plain/out")}, {},
         "Couldn't write " + file("plain/out") + ": Not a directory."},
    };
    for (const file_case& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_tool(test.program, test.args, test.environment);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.last_line + "\r\n");
        EXPECT_EQ(run.output.find("Finished normally."), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(file("out")));
    EXPECT_EQ(read_text(file("plain")), "a file, not a folder");
}

TEST_F(BadInput, NoIntermediateFileIsLeftBehind)
{
    fs::create_directory(dir / "tmp");
    const std::vector<std::string> private_tmp = {"TMPDIR=" + file("tmp")};
    write_text(file("bad.txt"), "newpolygon\r\n0,0\r\n0,0\r\nendpolygon\r\n");
    write_text(file("good.txt"), SQUARE_TEXT);
    EXPECT_EQ(run_tool(TARVEX, {file("bad.txt"), file("out.col")}, private_tmp).status, 1);
    EXPECT_EQ(run_tool(TARVEX, {file("good.txt"), file("out.col")}, private_tmp).status, 0);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
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
    EXPECT_NE(run.output.find("Encountered polygon 99999.\r\n"), std::string::npos);
    EXPECT_EQ(last_line(run.output), "Finished normally.\r\n");
    EXPECT_EQ(run_tool(MIROLT, {file("map.col"), file("map.tga")}).status, 0);
    EXPECT_EQ(fs::file_size(file("map.tga")), 7680018u);
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
