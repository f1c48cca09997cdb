// Splitting the tools' command lines.
#include "command_line.h"

const char* const TOOLS_VERSION = COLLISION_TOOLS_VERSION;

command_line split_command_line(int argc, char** argv)
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
        command.options.push_back(word);
    }
    for (; at < argc; ++at) {
        command.names.push_back(argv[at]);
    }
    return command;
}
