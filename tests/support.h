// Helpers shared by the tests: the built programs run as processes, files, scratch folders and bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A program's exit status as a POSIX shell sees it (255 for exit(-1)), and what it wrote on standard
// output and standard error, byte for byte.
struct tool_run {
    int status = -1;
    std::string output;
    std::string errors;
};

// Runs a built program with the arguments.
tool_run run_tool(const std::string& program, const std::vector<std::string>& args);

// Runs a command line of the system's shell, for what only a shell can set up: closed descriptors,
// limits, another user. `quote` makes a word safe to put in one.
tool_run run_shell(const std::string& command);
std::string quote(const std::string& word);

// The last CR LF line of a tool's output, its terminator included.
std::string last_line(const std::string& output);

std::string read_text(const std::filesystem::path& path);
std::vector<uint8_t> read_bytes(const std::filesystem::path& path);
void write_text(const std::filesystem::path& path, std::string_view text);
void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh file name in the temporary folder.
std::filesystem::path scratch_path(const std::string& stem);

// A stream whose bytes can be read back: what a tool or a pass wrote on it.
struct captured_stream {
    captured_stream();
    ~captured_stream();
    std::string text();  // everything written so far
    std::filesystem::path path;
    std::FILE* file;
};

// A test with a fresh folder of its own, removed afterwards.
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string file(const std::string& name) const { return (dir / name).string(); }
    std::filesystem::path dir;
};

// Bytes spelled in hexadecimal pairs, spaces ignored: "00 28 80 80".
std::vector<uint8_t> hex(std::string_view pairs);
