// The command line that the tools share: options first, then names; "--" ends the options.
#pragma once

#include <string_view>
#include <vector>

// The project's version, as CMake's project() gives it.
extern const char* const TOOLS_VERSION;

struct command_line {
    std::vector<std::string_view> options;  // every word before the names that starts with '-', "--" left out
    std::vector<const char*> names;         // the rest; "-" alone is a name
};

command_line split_command_line(int argc, char** argv);

inline bool is_help_option(std::string_view option)
{
    return option == "-h" || option == "--help";
}
