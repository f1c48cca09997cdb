// The built programs end to end on good input: command lines, messages, exit statuses and files.
#include "programs.h"
#include "support.h"

namespace {

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
        EXPECT_FALSE(std::filesystem::exists(file("out")));
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

TEST_F(Tools, AFileWithoutPolygonsDrawsABlackPicture)
{
    write_bytes(file("none.col"), hex("8F8F8F8F"));
    tool_run run = run_tool(MIROLT, {file("none.col"), file("black.tga")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Completed collision loops.\r\nWritten header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
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
