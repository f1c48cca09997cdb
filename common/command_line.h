// What the tools share around their work: the command line, the exit statuses, and the end of a run.
// Options may stand anywhere among the names, as in GNU tools, and "--" ends them. Every tool takes
// -h or --help and --version besides its own options.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The exit statuses of every tool.
constexpr int SUCCEEDED = 0;
constexpr int FAILED = 1;       // refused or failed; the log's last line says why
constexpr int USAGE_ERROR = 2;  // the command line cannot run
constexpr int NOT_OPENED = -1;  // the input cannot be opened; a POSIX shell sees 255

// What a tool is called and takes.
struct tool_command {
    const char* name;                           // "tarvex"
    const char* usage;                          // its usage line, CR LF included
    const char* help;                           // what --help prints, from a usage line that names the options
    std::span<const std::string_view> options;  // its own options; "--text=" takes a value: "--text F" or "--text=F"
    size_t name_count;                          // how many names it needs
};

// What the tool answers instead of running: its help or version, or a usage error.
struct command_answer {
    int status;
    std::string log;     // for standard output
    std::string errors;  // for standard error
};

struct given_option {
    std::string_view name;   // "--text"
    std::string_view value;  // empty for an option without one
};

struct command_line {
    std::vector<given_option> options;  // the tool's own options that were given, in order
    std::vector<const char*> names;
    std::optional<command_answer> answer;  // set when the tool must answer and end
};

// Words that start with '-' are options, up to "--"; "-" alone is a name.
command_line read_command_line(int argc, char** argv, const tool_command& tool);

// Whether the command line gave the option.
bool has_option(const command_line& command, std::string_view option);
// The value of the option's last use; empty when it was not given.
std::string_view option_value(const command_line& command, std::string_view option);

// A run that fails: the reason is the log's last line, and standard error says it too, as
// "tool: reason". Returns FAILED.
int report_failure(const char* tool, std::FILE* log, std::FILE* errors, const std::string& reason);

// Prints the answer and returns its status.
int answer_command(const command_answer& answer, std::FILE* log, std::FILE* errors);

// The end of every run: the log and the messages are flushed, and a run whose log or messages could
// not be written fails, as standard tools do when they close their output, with the reason on
// standard error. Returns the exit status.
int finish_tool(const char* name, int status, std::FILE* log, std::FILE* errors);
