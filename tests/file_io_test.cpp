// Reading inputs and writing outputs: whole inputs within the limit, complete outputs or none, links
// followed, devices written in place.
#include "file_io.h"

#include "platform.h"
#include "support.h"

#include <cstring>

namespace {

namespace fs = std::filesystem;

class FileIo : public ScratchTest {};

bool write_text_output(const std::string& path, std::string_view text, int& error)
{
    return write_output_file(path.c_str(), text.data(), text.size(), error);
}

size_t entries_in(const fs::path& dir)
{
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST_F(FileIo, CreatesANewFileWithTheUsualPermissions)
{
    write_text(file("plain.bin"), "made the usual way");
    int error = 0;
    ASSERT_TRUE(write_text_output(file("new.bin"), "abc", error));
    EXPECT_EQ(read_text(file("new.bin")), "abc");
    EXPECT_EQ(fs::status(file("new.bin")).permissions(), fs::status(file("plain.bin")).permissions());
    EXPECT_EQ(entries_in(dir), 2u);
}

TEST_F(FileIo, ReplacesAnExistingFileOnlyWhenComplete)
{
    write_text(file("old.bin"), "old contents");
    output_file out;
    ASSERT_TRUE(open_output(file("old.bin").c_str(), out));
    ASSERT_TRUE(write_output(out, "new", 3));
    EXPECT_EQ(read_text(file("old.bin")), "old contents");  // nothing replaced while writing
    abandon_output(out);
    EXPECT_EQ(read_text(file("old.bin")), "old contents");
    EXPECT_EQ(entries_in(dir), 1u);

    int error = 0;
    ASSERT_TRUE(write_text_output(file("old.bin"), "new", error));
    EXPECT_EQ(read_text(file("old.bin")), "new");
    EXPECT_EQ(entries_in(dir), 1u);
}

TEST_F(FileIo, AReplacedFileKeepsItsMode)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows files have no mode bits beyond read-only";
#endif
    write_text(file("old.bin"), "old contents");
    fs::permissions(file("old.bin"), fs::perms(0640));
    int error = 0;
    ASSERT_TRUE(write_text_output(file("old.bin"), "new", error));
    EXPECT_EQ(fs::status(file("old.bin")).permissions(), fs::perms(0640));
}

TEST_F(FileIo, FollowsSymbolicLinksAndKeepsThem)
{
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links on Windows need a privilege that tests do not have";
#endif
    fs::create_directory(dir / "real");
    write_text(dir / "real" / "target.bin", "old");
    fs::create_symlink("real/target.bin", dir / "link.bin");
    fs::create_symlink("real/missing.bin", dir / "dangling.bin");
    int error = 0;
    ASSERT_TRUE(write_text_output(file("link.bin"), "new", error));
    ASSERT_TRUE(write_text_output(file("dangling.bin"), "created", error));
    EXPECT_TRUE(fs::is_symlink(dir / "link.bin"));
    EXPECT_EQ(read_text(dir / "real" / "target.bin"), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.bin"));
    EXPECT_EQ(read_text(dir / "real" / "missing.bin"), "created");
}

TEST_F(FileIo, WritesDevicesDirectlyAndReportsFailures)
{
    int error = 0;
    EXPECT_TRUE(write_text_output(NULL_DEVICE, "abc", error));

    struct failure_case {
        const char* name;
        std::string path;
        int error;
    };
    fs::create_directory(dir / "folder");
    std::vector<failure_case> cases = {
        {"a folder that does not exist", file("missing/out.bin"), ENOENT},
        {"a folder as the output", file("folder"), EISDIR},
        {"no name at all", "", ENOENT},
    };
#ifdef _WIN32
    // Windows sends these names to a device in any folder; NUL alone is the null device, as asked
    cases.push_back({"a device name with an extension", file("aux.png"), DEVICE_NAME});
    cases.push_back({"a serial port", file("com1"), DEVICE_NAME});
    cases.push_back({"a device name and a space", file("Lpt3 .bin"), DEVICE_NAME});
#endif
    for (const failure_case& test : cases) {
        SCOPED_TRACE(test.name);
        error = 0;
        EXPECT_FALSE(write_text_output(test.path, std::string(100000, 'x'), error));
        EXPECT_EQ(error, test.error);
    }
    EXPECT_EQ(entries_in(dir), 1u);
}

TEST(FileNames, TheFormatFollowsTheNameAsStored)
{
#ifdef _WIN32
    EXPECT_EQ(stored_name("pic.png."), "pic.png");
    EXPECT_EQ(stored_name("out\\pic.png . "), "out\\pic.png");
    EXPECT_EQ(stored_name("out/.."), "out/..");
#else
    EXPECT_EQ(stored_name("pic.png."), "pic.png.");
#endif
}

TEST_F(FileIo, ReadsWholeInputsWithinTheLimit)
{
    write_text(file("in.bin"), std::string(200000, 'z'));
    std::vector<uint8_t> bytes;
    EXPECT_EQ(read_input(file("in.bin").c_str(), bytes).error, input_error::none);
    EXPECT_EQ(bytes.size(), 200000u);

    input_result folder = read_input(dir.string().c_str(), bytes);
    EXPECT_EQ(folder.error, input_error::cannot_read);
    EXPECT_EQ(input_failure_text("in", folder), "Couldn't read in: " + std::string(std::strerror(EISDIR)) + ".");
    EXPECT_EQ(read_input(file("missing").c_str(), bytes).error, input_error::cannot_open);

    // a file one byte over the limit is refused by its size, before anything is read
    write_text(file("large.bin"), "");
    fs::resize_file(file("large.bin"), MAX_INPUT_SIZE + 1);
    std::vector<uint8_t> none;
    input_result large = read_input(file("large.bin").c_str(), none);
    EXPECT_EQ(large.error, input_error::too_large);
    EXPECT_EQ(input_failure_text("large.bin", large), "large.bin is too large: 67108865 bytes; at most 67108864.");
    EXPECT_TRUE(none.empty());
}

}  // namespace
