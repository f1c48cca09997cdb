// Test helpers: processes through the system's shell, files and bytes, in standard C++ alone.
#include "support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace {

// What std::system returns, as a shell's exit status: a wait status on POSIX systems, the exit code
// itself on Windows.
int exit_status(int result)
{
#ifdef _WIN32
    return result & 0xFF;
#else
    int signal = result & 0x7F;
    return signal == 0 ? (result >> 8) & 0xFF : 128 + signal;
#endif
}

}  // namespace

std::string quote(const std::string& word)
{
#ifdef _WIN32
    return "\"" + word + "\"";
#else
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

tool_run run_shell(const std::string& command)
{
    std::filesystem::path out = scratch_path("out");
    std::filesystem::path err = scratch_path("err");
    std::string capture = " >" + quote(out.string()) + " 2>" + quote(err.string());
#ifdef _WIN32
    // cmd.exe drops the outermost quotes of the line
    std::string line = "\"" + command + capture + "\"";
#else
    // the command's own redirections stand inside the group, the capture outside
    std::string line = "(" + command + ")" + capture;
#endif
    std::fflush(nullptr);
    tool_run run;
    run.status = exit_status(std::system(line.c_str()));
    run.output = read_text(out);
    run.errors = read_text(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

tool_run run_tool(const std::string& program, const std::vector<std::string>& args)
{
    std::string command = quote(program);
    for (const std::string& arg : args) {
        command += ' ';
        command += quote(arg);
    }
    return run_shell(command);
}

std::string last_line(const std::string& output)
{
    size_t start = output.rfind("\r\n", output.size() < 3 ? 0 : output.size() - 3);
    return output.substr(start == std::string::npos ? 0 : start + 2);
}

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> read_bytes(const std::filesystem::path& path)
{
    std::string text = read_text(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void write_text(const std::filesystem::path& path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), std::streamsize(text.size()));
}

void write_bytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    write_text(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::filesystem::path scratch_path(const std::string& stem)
{
    static std::mt19937_64 rng{std::random_device{}()};
    for (;;) {
        std::filesystem::path path = std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(rng()));
        if (!std::filesystem::exists(path)) {
            return path;
        }
    }
}

captured_stream::captured_stream() : path(scratch_path("stream")), file(std::fopen(path.string().c_str(), "w+b")) {}

captured_stream::~captured_stream()
{
    if (file) {
        std::fclose(file);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

std::string captured_stream::text()
{
    std::fflush(file);
    return read_text(path);
}

void ScratchTest::SetUp()
{
    dir = scratch_path("tools-test");
    ASSERT_TRUE(std::filesystem::create_directory(dir));
}

void ScratchTest::TearDown()
{
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ignored)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(dir, ignored);
}

std::vector<uint8_t> hex(std::string_view pairs)
{
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : pairs) {
        if (c != ' ') {
            digits += c;
        }
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}
