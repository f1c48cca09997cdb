// Hostile inputs, unusable files and hostile surroundings for the built programs: each run ends with
// a clear last line and its exit status, never with a signal, and an output file is either complete
// and right or not touched at all.
#include "programs.h"
#include "random_polygons.h"
#include "square.h"
#include "support.h"

#include <cmath>
#include <cstring>
#include <fstream>
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
    return polygons_text({corners});
}

std::string reason(int error)
{
    return std::strerror(error);
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
        {"a NUL byte in a line", TARVEX, std::string("newpolygon\r\n0,\0,0\r\n", 19),
         "Line 2: NUL character in the line."},
        {"a line of 10,000 digits", TARVEX, open + std::string(10000, '7') + ",1\r\n",
         "Line 2: expected newpolygon, endpolygon or a vertex x,y."},
        {"a polygon of 9,000 edges", TARVEX, polygon_with_edges(9000),
         "Polygon 0 has 9000 edges, more than the 8190 that its size field can describe."},
        {"coordinates of 1e30", TARVEX, open + "1e30,1e30\r\n1e30,-1e30\r\n",
         "Line 3: edge too far from the origin to store."},
        {"a polygon without edges", TARVEX, open + "5,5\r\nendpolygon\r\n",
         "Line 1: polygon has no edges; it would contain every point."},
        {"an empty collision file", MIROLT, "", "input is empty."},
        {"binary garbage as a collision file", MIROLT, garbage(4096, 2), ""},
        {"a file cut inside a record", MIROLT, std::string(hex(SQUARE_FILE).size() - 10, '\0'),
         "input: polygon 0 has no polygon end marker."},
        {"a record without the data end marker after it", MIROLT,
         std::string("\x00\x08\xFF\xFF\x80\x80\x80\x80\x8F\x8F", 10), "input: no data end marker at byte 8."},
        {"a file without markers", MIROLT, std::string(64, '\x11'), "input: polygon 0 has no polygon end marker."},
        {"a record of more edges than its size field can describe", MIROLT,
         std::string(4, '\0') + std::string(8191 * 8, '\x01') + "\x80\x80\x80\x80\x8F\x8F\x8F\x8F",
         "Record 0: 8191 edges, more than the 8190 that its size field can describe."},
    };
    for (const hostile_case& test : cases) {
        SCOPED_TRACE(test.name);
        write_text(file("input"), test.input);
        fs::remove(file("output"));
        tool_run fresh = run_tool(test.program, {file("input"), file("output")});
        EXPECT_EQ(fresh.status, 1);
        if (!test.last_line.empty()) {
            std::string expected =
                test.last_line.starts_with("input") ? file("input") + test.last_line.substr(5) : test.last_line;
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
    write_text(file("noise.png"), "a picture in name only");
    struct file_case {
        const char* name;
        const std::string& program;
        std::vector<std::string> args;
        std::string last_line;
    };
    // clang-format off
    std::vector<file_case> cases = {
        {"a folder as the polygon text", TARVEX, {dir.string(), file("out")},
         "Couldn't read " + dir.string() + ": " + reason(EISDIR) + "."},
        {"a folder as the collision file", MIROLT, {dir.string(), file("out")},
         "Couldn't read " + dir.string() + ": " + reason(EISDIR) + "."},
        {"an output beneath a file", MIROLT, {file("square.col"), file("plain/out")},
         "Couldn't write " + file("plain/out") + ": " + reason(ENOTDIR) + "."},
        {"the input as the output", TARVEX, {file("square.txt"), file("square.txt")},
         "Couldn't write " + file("square.txt") + ": it is the input file."},
        {"the input as the output, spelled another way", MIROLT,
         {file("square.col"), (dir / "." / "square.col").string()},
         "Couldn't write " + (dir / "." / "square.col").string() + ": it is the input file."},
        {"the preview as the collision file that is yet to be", TARVEX,
         {file("square.txt"), file("out"), "--preview", (dir / "." / "out").string()},
         "Couldn't write " + (dir / "." / "out").string() + ": it is the collision file."},
        {"a picture that cannot be decoded", TARVEX, {file("noise.png"), file("out")},
         file("noise.png") + ": the picture cannot be decoded as PNG or TGA (unknown image type)."},
        {"the text and the preview as one file", TARVEX,
         {file("square.txt"), file("square.col"), "--text", file("out"), "--preview", file("out")},
         "Couldn't write " + file("out") + ": it is the text file."},
    };
#ifndef _WIN32
    cases.push_back({"a full disk for tarvex", TARVEX, {file("square.txt"), "/dev/full"},
                     "Couldn't write /dev/full: " + reason(ENOSPC) + "."});
    cases.push_back({"a full disk for sinetable", SINETABLE, {"/dev/full"},
                     "Couldn't write /dev/full: " + reason(ENOSPC) + "."});
#endif
    // clang-format on
    for (const file_case& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_tool(test.program, test.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.last_line + "\r\n");
        EXPECT_EQ(run.output.find("Finished normally."), std::string::npos);
        if (test.program == TARVEX && run.output.find("Couldn't write /dev/full") == std::string::npos) {
            EXPECT_EQ(run.output, test.last_line + "\r\n");  // refused before any work
        }
    }
    EXPECT_FALSE(fs::exists(file("out")));
    EXPECT_EQ(read_text(file("plain")), "a file, not a folder");
    EXPECT_EQ(read_text(file("square.txt")), SQUARE_TEXT);
    EXPECT_EQ(read_bytes(file("square.col")), hex(SQUARE_FILE));
}

TEST_F(BadInput, LargeButValidInputsAreProcessed)
{
    write_text(file("empty.txt"), "");
    EXPECT_EQ(run_tool(TARVEX, {file("empty.txt"), file("empty.col")}).status, 0);
    EXPECT_EQ(read_bytes(file("empty.col")), hex("8F8F8F8F"));

    write_text(file("spaces.txt"), "newpolygon\r\n" + std::string(10000, ' ') + "5,5\r\n5,9\r\nendpolygon\r\n");
    EXPECT_EQ(run_tool(TARVEX, {file("spaces.txt"), file("spaces.col")}).status, 0);
    EXPECT_EQ(fs::file_size(file("spaces.col")), 20u);

    write_text(file("map.txt"), random_map(3, 10000));
    tool_run run = run_tool(TARVEX, {file("map.txt"), file("map.col")});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.output.find("Encountered polygon 9999.\r\n"), std::string::npos);
    EXPECT_EQ(last_line(run.output), "Finished normally.\r\n");
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(run_tool(MIROLT, {file("map.col"), file("map.tga")}).status, 0);
    EXPECT_EQ(fs::file_size(file("map.tga")), 7680018u);
}

// What only a POSIX shell can set up: closed descriptors, descriptor names, limits, another user.
class HostileSurroundings : public ScratchTest {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "closed descriptors, /dev/fd, ulimit and users are set up by a POSIX shell";
#endif
        ScratchTest::SetUp();
        write_text(file("sq10.txt"), [] {
            std::string text;
            for (int i = 0; i < 10; ++i) {
                text += SQUARE_TEXT;
            }
            return text;
        }());
        write_bytes(file("sq.col"), hex(SQUARE_FILE));
    }

    std::string in_dir(const std::string& command)
    {
        return "cd " + quote(dir.string()) + " && " + command;
    }
};

TEST_F(HostileSurroundings, ClosedStandardStreamsLeaveTheOutputAlone)
{
    tool_run run = run_shell(in_dir(quote(TARVEX) + " sq10.txt out.col <&- >&- 2>&-"));
    EXPECT_EQ(run.status, 0);
    std::vector<uint8_t> expected;
    for (int i = 0; i < 10; ++i) {
        std::vector<uint8_t> record = hex(SQUARE_RECORD);
        expected.insert(expected.end(), record.begin(), record.end());
    }
    expected.insert(expected.end(), {0x8F, 0x8F, 0x8F, 0x8F});
    EXPECT_EQ(read_bytes(file("out.col")), expected);
}

TEST_F(HostileSurroundings, DescriptorNamesAreWrittenDirectly)
{
    const std::string table_and_log_size = std::to_string(512 + std::strlen("Finished normally.\r\n"));
    tool_run piped = run_shell(quote(SINETABLE) + " /dev/stdout | wc -c");
    EXPECT_EQ(piped.status, 0);
    EXPECT_EQ(piped.output.substr(piped.output.find_first_not_of(' ')), table_and_log_size + "\n");

    write_text(file("app.log"), "earlier\n");
    EXPECT_EQ(run_shell(in_dir(quote(SINETABLE) + " /dev/stdout >> app.log")).status, 0);
    std::string log = read_text(file("app.log"));
    EXPECT_TRUE(log.starts_with("earlier\n")) << "the earlier lines are kept";
    EXPECT_TRUE(log.ends_with("Finished normally.\r\n")) << "the log goes on after the table";
    EXPECT_EQ(log.size(), 8 + 512 + 20u);

    tool_run deleted = run_shell(in_dir("exec 3>x.bin; rm x.bin; " + quote(SINETABLE) + " /dev/fd/3 && ls -A"));
    EXPECT_EQ(deleted.status, 0);
    EXPECT_EQ(deleted.output, "Finished normally.\r\napp.log\nsq.col\nsq10.txt\n") << "nothing is created";

    // the descriptor is found however its folder is spelled, and through a link
    ASSERT_EQ(run_shell(in_dir("ln -s /dev//fd/1 to-stdout")).status, 0);
    for (const char* spelling : {"/dev//fd/1", "/dev/./fd/1", "/proc//self/fd/1", "/proc/self/fd//1",
                                 "/dev/../proc/self/fd/1", "/proc/thread-self/fd/1", "to-stdout"}) {
        SCOPED_TRACE(spelling);
        write_text(file("app.log"), "KEEP\n");
        EXPECT_EQ(run_shell(in_dir(quote(SINETABLE) + " " + spelling + " >> app.log")).status, 0);
        EXPECT_EQ(fs::file_size(file("app.log")), 5 + 512 + 20u);
        EXPECT_TRUE(read_text(file("app.log")).starts_with("KEEP\n"));
    }
}

// An output that is more than a plain file of the user's own is written as the shell writes it: its
// owner, group, other names and links stay, and the kernel's checks apply.
TEST_F(HostileSurroundings, TheWriterKeepsWhatTheShellKeeps)
{
    if (run_shell("test \"$(id -u)\" = 0 && command -v setpriv").status != 0) {
        GTEST_SKIP() << "needs root and setpriv, to set up files of other users";
    }
    const std::string as_user = "setpriv --reuid=1000 --regid=1000 --clear-groups ";
    const std::string as_other = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const std::string setup = "chmod 755 . && echo old > owned.bin && chown 65534:65534 owned.bin && "
                              "echo old > a.bin && ln a.bin b.bin && "
                              "mkdir ro && echo old > ro/out.bin && chmod 666 ro/out.bin && chmod 555 ro && "
                              "mkdir -m 1777 pub && " + as_other + "sh -c 'echo old > pub/theirs.bin' && "
                              "chmod 666 pub/theirs.bin && mkdir home && echo important > home/important.txt && "
                              "chmod 666 home/important.txt && " + as_other + "ln -s ../home/important.txt pub/out.bin";
    ASSERT_EQ(run_shell(in_dir(setup)).status, 0);
    struct writer_case {
        const char* name;
        std::string command;
        std::string written;  // the file that must now hold the table
        std::string owner;    // its owner and group afterwards, as stat says them
    };
    const writer_case cases[] = {
        {"another user's file keeps its owner", quote(SINETABLE) + " owned.bin", "owned.bin", "65534:65534"},
        {"a hard link keeps both names on one file", quote(SINETABLE) + " a.bin", "b.bin", "0:0"},
        {"a writable file in a folder the user can't change", as_user + quote(SINETABLE) + " ro/out.bin",
         "ro/out.bin", "0:0"},
        {"another user's writable file in a sticky folder", as_user + quote(SINETABLE) + " pub/theirs.bin",
         "pub/theirs.bin", "65534:65534"},
    };
    for (const writer_case& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_shell(in_dir(test.command));
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(fs::file_size(file(test.written)), 512u);
        EXPECT_EQ(run_shell(in_dir("stat -c %u:%g " + test.written)).output, test.owner + "\n");
    }
    if (read_text("/proc/sys/fs/protected_symlinks") != "1\n") {
        GTEST_SKIP() << "fs.protected_symlinks is off here, so the kernel follows a planted link";
    }
    tool_run planted = run_shell(in_dir(as_user + quote(SINETABLE) + " pub/out.bin"));
    EXPECT_EQ(planted.status, 1);
    EXPECT_EQ(last_line(planted.output), "Couldn't write pub/out.bin: " + reason(EACCES) + ".\r\n");
    EXPECT_EQ(read_text(file("home/important.txt")), "important\n");
}

TEST_F(HostileSurroundings, AFailedLogOrTheSameFifoTwiceFailsTheRun)
{
    write_text(file("sq.txt"), SQUARE_TEXT);
    const std::string runs[][2] = {
        {"tarvex", quote(TARVEX) + " sq.txt out.col > /dev/full"},
        {"mirolt", quote(MIROLT) + " sq.col out.tga > /dev/full"},
        {"sinetable", quote(SINETABLE) + " out.bin > /dev/full"},
    };
    for (const auto& [tool, command] : runs) {
        SCOPED_TRACE(tool);
        tool_run run = run_shell(in_dir(command));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.errors, tool + ": can't write the log: " + reason(ENOSPC) + "\r\n");
    }
    // lost warnings fail the run too, though the output is complete
    write_text(file("open.txt"), "newpolygon\r\n0,0\r\n0,10\r\n10,10\r\nendpolygon\r\n");
    EXPECT_EQ(run_shell(in_dir(quote(TARVEX) + " open.txt open.col 2> /dev/full")).status, 1);
    EXPECT_TRUE(fs::exists(file("open.col")));

    // a FIFO as both names is refused at once instead of waiting for itself
    ASSERT_EQ(run_shell(in_dir("mkfifo ff")).status, 0);
    for (const std::string& program : {TARVEX, MIROLT}) {
        tool_run run = run_shell(in_dir("timeout 20 " + quote(program) + " ff ff"));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), "Couldn't write ff: it is the input file.\r\n");
    }
}

TEST_F(HostileSurroundings, EndlessAndHugeInputsEndWithAMessage)
{
    struct input_case {
        const std::string& program;
        std::string input;
        std::string last_line;
    };
    std::ofstream(file("huge.col")).close();
    fs::resize_file(file("huge.col"), uint64_t(1) << 40);
    const input_case cases[] = {
        {TARVEX, "/dev/zero", "Line 1: NUL character in the line."},
        {MIROLT, "/dev/zero", "/dev/zero is too large: more than 67108864 bytes."},
        {TARVEX, file("huge.col"), "Line 1: NUL character in the line."},
        {MIROLT, file("huge.col"), file("huge.col") + " is too large: 1099511627776 bytes; at most 67108864."},
    };
    for (const input_case& test : cases) {
        SCOPED_TRACE(test.input);
        tool_run run = run_tool(test.program, {test.input, file("out")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.last_line + "\r\n");
    }
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit below allows";
#endif
    std::ofstream(file("big.col")).close();
    fs::resize_file(file("big.col"), 40 << 20);
    tool_run starved = run_shell("ulimit -v 40000; " + quote(MIROLT) + " " + quote(file("big.col")) + " out");
    EXPECT_EQ(starved.status, 1);
    EXPECT_EQ(last_line(starved.output), "Couldn't read " + file("big.col") + ": " + reason(ENOMEM) + ".\r\n");

    // memory that runs out while the PNG is encoded, the last thing to take memory: the largest limit
    // under which the run fails, and nothing left behind
    tool_run png = run_shell(in_dir("for limit in $(seq 40000 -1000 10000); do (ulimit -v $limit; " + quote(MIROLT) +
                                    " sq.col pic.png) || exit 0; done"));
    EXPECT_EQ(png.output.substr(png.output.rfind("Completed")), "Completed collision loops.\r\nOut of memory.\r\n");
    EXPECT_EQ(run_shell(in_dir("ls -A")).output, "big.col\nhuge.col\npic.png\nsq.col\nsq10.txt\n");
}

TEST_F(HostileSurroundings, AReadOnlyOutputIsRefusedAsTheShellRefusesIt)
{
    write_text(file("sq.txt"), SQUARE_TEXT);
    write_text(file("prot.col"), "protected");
    fs::permissions(file("prot.col"), fs::perms(0444));
    std::string as_user;
    if (run_shell("test \"$(id -u)\" = 0").status == 0) {
        // root may write anything, as in the shell: an ordinary user owns the file here
        if (run_shell("command -v setpriv").status != 0) {
            GTEST_SKIP() << "running as root without setpriv to become an ordinary user";
        }
        fs::permissions(dir, fs::perms(0777));
        ASSERT_EQ(run_shell("chown 65534 " + quote(file("prot.col"))).status, 0);
        as_user = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{TARVEX, "sq.txt", "prot.col"}, std::vector<std::string>{SINETABLE, "prot.col"}}) {
        std::string line = as_user;
        for (const std::string& word : command) {
            line += quote(word) + " ";
        }
        tool_run run = run_shell(in_dir(line));
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), "Couldn't write prot.col: " + reason(EACCES) + ".\r\n");
        EXPECT_EQ(read_text(file("prot.col")), "protected");
    }
}

TEST_F(HostileSurroundings, AWriteBeyondTheFileSizeLimitFailsAndLeavesNothing)
{
    write_text(file("pic.tga"), "old picture");
    tool_run run = run_shell(in_dir("ulimit -f 1000; " + quote(MIROLT) + " sq.col pic.tga"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(last_line(run.output), "Couldn't write pic.tga: " + reason(EFBIG) + ".\r\n");
    EXPECT_EQ(read_text(file("pic.tga")), "old picture");
    EXPECT_EQ(run_shell(in_dir("ls -A")).output, "pic.tga\nsq.col\nsq10.txt\n");
}

TEST_F(HostileSurroundings, AnOutputNameAtTheLengthLimitIsWritten)
{
    // a path of 4,094 bytes, as long as the system takes: no temporary name beside it may be longer
    fs::path deep = dir;
    while (deep.string().size() < 3800) {
        deep /= std::string(200, 'd');
    }
    fs::create_directories(deep);
    fs::path name = deep / std::string(4094 - deep.string().size() - 1, 'n');
    ASSERT_EQ(name.string().size(), 4094u);
    EXPECT_EQ(run_tool(SINETABLE, {name.string()}).status, 0);
    EXPECT_EQ(fs::file_size(name), 512u);
}

}  // namespace
