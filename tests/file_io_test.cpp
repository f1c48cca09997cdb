// The output writer: complete files or none, links followed, devices written in place.
#include "file_io.h"

#include "support.h"

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

class OutputFile : public ScratchTest {};

bool write_text_output(const std::string& path, std::string_view text, int& error)
{
    return write_output_file(path.c_str(), text.data(), text.size(), error);
}

size_t entries_in(const fs::path& dir)
{
    return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST_F(OutputFile, CreatesANewFileWithTheUsualPermissions)
{
    int error = 0;
    ASSERT_TRUE(write_text_output(file("new.bin"), "abc", error));
    EXPECT_EQ(read_text(file("new.bin")), "abc");
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(file("new.bin")).permissions(), fs::perms(0666 & ~mask));
    EXPECT_EQ(entries_in(dir), 1u);
}

TEST_F(OutputFile, ReplacesAnExistingFileOnlyWhenComplete)
{
    write_text(file("old.bin"), "old contents");
    fs::permissions(file("old.bin"), fs::perms(0640));

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
    EXPECT_EQ(fs::status(file("old.bin")).permissions(), fs::perms(0640));
    EXPECT_EQ(entries_in(dir), 1u);
}

TEST_F(OutputFile, FollowsSymbolicLinksAndKeepsThem)
{
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

TEST_F(OutputFile, WritesDevicesDirectlyAndReportsFailures)
{
    int error = 0;
    EXPECT_TRUE(write_text_output("/dev/null", "abc", error));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    struct failure_case {
        const char* name;
        std::string path;
        int error;
    };
    fs::create_directory(dir / "folder");
    const failure_case cases[] = {
        {"a folder that does not exist", file("missing/out.bin"), ENOENT},
        {"a folder as the output", file("folder"), EISDIR},
        {"no name at all", "", ENOENT},
    };
    for (const failure_case& test : cases) {
        SCOPED_TRACE(test.name);
        error = 0;
        EXPECT_FALSE(write_text_output(test.path, std::string(100000, 'x'), error));
        EXPECT_EQ(error, test.error);
    }
    EXPECT_EQ(entries_in(dir), 1u);
}

TEST_F(OutputFile, ReadsWholeFilesAndReportsReadErrors)
{
    write_text(file("in.bin"), std::string(200000, 'z'));
    std::FILE* in = std::fopen(file("in.bin").c_str(), "rb");
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(read_file(in, bytes));
    std::fclose(in);
    EXPECT_EQ(bytes.size(), 200000u);

    std::FILE* folder = std::fopen(dir.c_str(), "rb");  // opens, but cannot be read
    ASSERT_NE(folder, nullptr);
    EXPECT_FALSE(read_file(folder, bytes));
    EXPECT_EQ(errno, EISDIR);
    std::fclose(folder);
}

}  // namespace
