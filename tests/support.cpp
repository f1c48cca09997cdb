// Test helpers: processes, files and bytes.
#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

tool_run run_tool(const std::string& program, const std::vector<std::string>& args,
                  const std::vector<std::string>& environment)
{
    std::vector<std::string> words = {program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry; ++entry) {
        variables.push_back(*entry);  // earlier entries win in getenv
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_ends[0]);
    pid_t pid = 0;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_ends[1]);

    tool_run run;
    char chunk[1 << 16];
    for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;) {
        run.output.append(chunk, size_t(got));
    }
    close(pipe_ends[0]);
    if (spawned != 0) {
        ADD_FAILURE() << "could not start " << program;
        return run;
    }
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return run;
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

void ScratchTest::SetUp()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tools-test.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
}

void ScratchTest::TearDown()
{
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    std::filesystem::remove_all(dir);
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
