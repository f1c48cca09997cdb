// Reading the tools' command lines, and ending their runs.
#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

const char* const VERSION = COLLISION_TOOLS_VERSION;

command_answer usage_error(const tool_command& tool, const std::string& reason)
{
    return {USAGE_ERROR, tool.usage, std::string(tool.name) + ": " + reason + "\r\n"};
}

// Flushes a stream and says whether everything written to it arrived; `error` gets the reason.
bool flushed(std::FILE* stream, int& error)
{
    errno = 0;
    bool done = std::fflush(stream) == 0 && !std::ferror(stream);
    if (!done) {
        error = errno != 0 ? errno : EIO;
    }
    return done;
}

}  // namespace

command_line read_command_line(int argc, char** argv, const tool_command& tool)
{
    command_line command;
    bool options_end = false;
    for (int at = 1; at < argc; ++at) {
        std::string_view word = argv[at];
        if (options_end || word.size() < 2 || word[0] != '-') {
            command.names.push_back(argv[at]);
        } else if (word == "--") {
            options_end = true;
        } else if (word == "-h" || word == "--help") {
            command.answer = {SUCCEEDED, tool.help, ""};
            return command;
        } else if (word == "--version") {
            command.answer = {SUCCEEDED, std::string(tool.name) + " " + VERSION + "\r\n", ""};
            return command;
        } else if (word.back() != '=' && std::find(tool.options.begin(), tool.options.end(), word) != tool.options.end()) {
            command.options.push_back({word, {}});
        } else {
            // an option with a value: "--text F" or "--text=F"
            std::string_view name = word.substr(0, word.find('='));
            std::string with_value = std::string(name) + "=";
            if (std::find(tool.options.begin(), tool.options.end(), with_value) == tool.options.end()) {
                command.answer = usage_error(tool, "unknown option " + std::string(word));
                return command;
            }
            std::string_view value;
            if (name.size() < word.size()) {
                value = word.substr(name.size() + 1);
            } else if (at + 1 < argc) {
                value = argv[++at];
            }
            if (value.empty()) {
                // an empty value names nothing: "--text=" is a mistake, never a file
                command.answer = usage_error(tool, "option " + std::string(name) + " needs a value");
                return command;
            }
            command.options.push_back({name, value});
        }
    }
    if (command.names.size() != tool.name_count) {
        command.answer = usage_error(tool, "expected " + std::to_string(tool.name_count) + " name" +
                                               (tool.name_count == 1 ? "" : "s") + ", got " +
                                               std::to_string(command.names.size()));
    }
    return command;
}

bool has_option(const command_line& command, std::string_view option)
{
    return std::any_of(command.options.begin(), command.options.end(),
                       [&](const given_option& given) { return given.name == option; });
}

std::string_view option_value(const command_line& command, std::string_view option)
{
    std::string_view value;
    for (const given_option& given : command.options) {
        if (given.name == option) {
            value = given.value;
        }
    }
    return value;
}

int report_failure(const char* tool, std::FILE* log, std::FILE* errors, const std::string& reason)
{
    std::fprintf(log, "%s\r\n", reason.c_str());
    std::fprintf(errors, "%s: %s\r\n", tool, reason.c_str());
    return FAILED;
}

int answer_command(const command_answer& answer, std::FILE* log, std::FILE* errors)
{
    std::fputs(answer.log.c_str(), log);
    std::fputs(answer.errors.c_str(), errors);
    return answer.status;
}

int finish_tool(const char* name, int status, std::FILE* log, std::FILE* errors)
{
    int error = 0;
    if (!flushed(log, error)) {
        std::fprintf(errors, "%s: can't write the log: %s\r\n", name, std::strerror(error));
        status = status == SUCCEEDED ? FAILED : status;
    }
    if (!flushed(errors, error)) {
        status = status == SUCCEEDED ? FAILED : status;
    }
    return status;
}
