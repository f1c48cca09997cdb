// The command line that the tools share: options first, then names; "--" ends the options. Every
// tool takes -h or --help and --version besides its own options.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What a tool is called and takes.
struct tool_command {
    const char* name;                           // "tarvex"
    const char* usage;                          // its usage line, CR LF included
    const char* help;                           // the lines that --help adds to the usage line
    std::span<const std::string_view> options;  // its own options
    size_t names;                               // how many names it needs
};

// What the tool answers instead of running: its help or version, or a usage error.
struct command_answer {
    int status;
    std::string log;     // for standard output
    std::string errors;  // for standard error
};

struct command_line {
    std::vector<std::string_view> options;  // the tool's own options that were given
    std::vector<const char*> names;
    std::optional<command_answer> answer;  // set when the tool must answer and end
};

constexpr int USAGE_ERROR = 2;  // the exit status of a command line that cannot run

// Words before the names that start with '-' are options; "-" alone is a name.
command_line read_command_line(int argc, char** argv, const tool_command& tool);
