// The built programs end to end: command lines, messages, exit statuses and the files they leave.
#include "programs.h"
#include "support.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;


class Tools : public ScratchTest {};

TEST_F(Tools, AWrongArgumentCountPrintsTheUsageLine)
{
    struct usage_case {
        std::string program;
        std::vector<std::string> args;
        const char* usage;
    };
    const usage_case cases[] = {
        {TARVEX, {}, "Usage: tarvex.exe inputname outputname\r\n"},
        {TARVEX, {"a", "b", "c"}, "Usage: tarvex.exe inputname outputname\r\n"},
        {MIROLT, {"a"}, "Usage: mirolt.exe inputname outputname\r\n"},
        {SINETABLE, {}, "Usage: mirolt.exe outputname\r\n"},
        {SINETABLE, {"a", "b"}, "Usage: mirolt.exe outputname\r\n"},
    };
    for (const usage_case& test : cases) {
        SCOPED_TRACE(test.program);
        tool_run run = run_tool(test.program, test.args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.output, test.usage);
    }
}

TEST_F(Tools, AnInputThatCannotBeOpenedExitsWithMinusOne)
{
    for (const std::string& program : {TARVEX, MIROLT}) {
        tool_run run = run_tool(program, {file("missing"), file("out")});
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.output, "Couldn't open.\r\n");
        EXPECT_FALSE(fs::exists(file("out")));
    }
}

TEST_F(Tools, ThePipelineWritesTheCollisionFileAndItsPicture)
{
    write_text(file("square.txt"), SQUARE_TEXT);
    tool_run prepared = run_tool(TARVEX, {file("square.txt"), file("square.col")});
    EXPECT_EQ(prepared.status, 0);
    EXPECT_NE(prepared.output.find("Read: []\r\nStart of second pass.\r\nEncountered polygon 0.\r\n"), std::string::npos);
    EXPECT_TRUE(prepared.output.ends_with("Advancing 10 4-byte words to the next polygon.\r\n"
                                          "About to write.\r\nFinished normally.\r\n"));
    EXPECT_EQ(read_bytes(file("square.col")), hex(SQUARE_FILE));

    tool_run rendered = run_tool(MIROLT, {file("square.col"), file("square.tga")});
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.output,
              "Completed collision loops.\r\nWritten header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
    std::vector<uint8_t> picture = read_bytes(file("square.tga"));
    ASSERT_EQ(picture.size(), 7680018u);
    EXPECT_EQ(std::vector<uint8_t>(picture.begin(), picture.begin() + 18),
              hex("00 00 02 00 00 00 00 00 00 00 00 00 40 06 40 06 18 00"));
    // the square's corner (0, 0) is the first pixel of the last stored row
    size_t corner = 18 + 1599u * 1600u * 3u;
    EXPECT_EQ(std::vector<uint8_t>(picture.begin() + long(corner), picture.begin() + long(corner) + 6),
              hex("28 00 FF 28 00 FF"));
}

TEST_F(Tools, BadPolygonTextLeavesNoOutputAndNoIntermediateFile)
{
    fs::create_directory(dir / "tmp");
    const std::vector<std::string> private_tmp = {"TMPDIR=" + file("tmp")};
    write_text(file("bad.txt"), "newpolygon\r\n0,0\r\n0,0\r\nendpolygon\r\n");
    tool_run run = run_tool(TARVEX, {file("bad.txt"), file("out.col")}, private_tmp);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(last_line(run.output), "Line 3: two equal consecutive vertices.\r\n");
    EXPECT_FALSE(fs::exists(file("out.col")));

    write_text(file("out.col"), "precious");
    run = run_tool(TARVEX, {file("bad.txt"), file("out.col")}, private_tmp);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(read_text(file("out.col")), "precious");

    write_text(file("good.txt"), SQUARE_TEXT);
    EXPECT_EQ(run_tool(TARVEX, {file("good.txt"), file("out.col")}, private_tmp).status, 0);
    EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST_F(Tools, TheToolsReportFilesTheyCannotUse)
{
    write_text(file("square.txt"), SQUARE_TEXT);
    write_bytes(file("none.col"), hex("8F8F8F8F"));
    struct failure_case {
        const char* name;
        std::string program;
        std::vector<std::string> args;
        std::vector<std::string> environment;
        std::string message;
    };
    const failure_case cases[] = {
        {"a folder as the polygon text", TARVEX, {dir.string(), file("out")}, {},
         "Couldn't read " + dir.string() + ": Is a directory.\r\n"},
        {"no temporary folder", TARVEX, {file("square.txt"), file("out")}, {"TMPDIR=" + file("none")},
         "Couldn't create the intermediate file: No such file or directory.\r\n"},
        {"a full disk", TARVEX, {file("square.txt"), "/dev/full"}, {},
         "Couldn't write /dev/full: No space left on device.\r\n"},
        {"an output folder that does not exist", SINETABLE, {file("none/sine.bin")}, {},
         "Couldn't write " + file("none/sine.bin") + ": No such file or directory.\r\n"},
        {"a full disk for the table", SINETABLE, {"/dev/full"}, {},
         "Couldn't write /dev/full: No space left on device.\r\n"},
        {"a full disk for the picture", MIROLT, {file("none.col"), "/dev/full"}, {},
         "Couldn't write /dev/full: No space left on device.\r\n"},
    };
    for (const failure_case& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_tool(test.program, test.args, test.environment);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.message);
        EXPECT_EQ(run.output.find("Finished normally."), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(file("out")));
}

TEST_F(Tools, TheImagerReportsADamagedCollisionFile)
{
    struct damage_case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string message;
    };
    const damage_case cases[] = {
        {"an empty file", {}, " is empty.\r\n"},
        {"no data end marker", hex("0008FFFF 80808080 8F8F"), ": no data end marker at byte 8.\r\n"},
        {"a record without its end marker", hex("0008FFFF 80808080 00000000 00000000"),
         ": polygon 1 has no polygon end marker.\r\n"},
    };
    for (const damage_case& test : cases) {
        SCOPED_TRACE(test.name);
        write_bytes(file("bad.col"), test.bytes);
        tool_run run = run_tool(MIROLT, {file("bad.col"), file("out.tga")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, file("bad.col") + test.message);
        EXPECT_FALSE(fs::exists(file("out.tga")));
    }
}

TEST_F(Tools, TheImagerDrawsAFileWithoutPolygonsBlack)
{
    write_bytes(file("empty.col"), hex("8F8F8F8F"));
    tool_run run = run_tool(MIROLT, {file("empty.col"), file("black.tga")});
    EXPECT_EQ(run.status, 0);
    std::vector<uint8_t> picture = read_bytes(file("black.tga"));
    ASSERT_EQ(picture.size(), 7680018u);
    EXPECT_EQ(std::count(picture.begin() + 18, picture.end(), 0), 7680000);
}

TEST_F(Tools, TheSineTableIsWrittenWithOneMessage)
{
    tool_run run = run_tool(SINETABLE, {file("sine.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Finished normally.\r\n");
    std::vector<uint8_t> table = read_bytes(file("sine.bin"));
    ASSERT_EQ(table.size(), 512u);
    EXPECT_EQ(std::vector<uint8_t>(table.begin(), table.begin() + 6), hex("0000 0192 0323"));
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 128, table.begin() + 130), hex("4000"));
}

}  // namespace
