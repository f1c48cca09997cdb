// Reading the tools' command lines.
#include "command_line.h"

#include <algorithm>

namespace {

const char* const VERSION = COLLISION_TOOLS_VERSION;

}  // namespace

command_line read_command_line(int argc, char** argv, const tool_command& tool)
{
    command_line command;
    int at = 1;
    for (; at < argc; ++at) {
        std::string_view word = argv[at];
        if (word == "--") {
            ++at;
            break;
        }
        if (word.size() < 2 || word[0] != '-') {
            break;
        }
        if (word == "-h" || word == "--help") {
            command.answer = {0, std::string(tool.usage) + tool.help, ""};
            return command;
        }
        if (word == "--version") {
            command.answer = {0, std::string(tool.name) + " " + VERSION + "\r\n", ""};
            return command;
        }
        if (std::find(tool.options.begin(), tool.options.end(), word) == tool.options.end()) {
            std::string errors = std::string(tool.name) + ": unknown option " + std::string(word) + "\r\n";
            command.answer = {USAGE_ERROR, tool.usage, errors};
            return command;
        }
        command.options.push_back(word);
    }
    for (; at < argc; ++at) {
        command.names.push_back(argv[at]);
    }
    if (command.names.size() != tool.names) {
        command.answer = {USAGE_ERROR, tool.usage, ""};
    }
    return command;
}
