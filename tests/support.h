// Helpers shared by the tests: the built programs run as processes, files, scratch folders and bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A program's exit status (as a shell sees it) and what it printed on standard output.
struct tool_run {
    int status = -1;
    std::string output;
};

// Runs a built program with the arguments; `environment` adds NAME=value entries.
tool_run run_tool(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment = {});

// The last CR LF line of a tool's output, its terminator included.
std::string last_line(const std::string& output);

std::string read_text(const std::filesystem::path& path);
std::vector<uint8_t> read_bytes(const std::filesystem::path& path);
void write_text(const std::filesystem::path& path, std::string_view text);
void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

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
