// Reading a tool's input whole within a size limit, writing a whole output at once, and the words
// for what went wrong, which the tools print.
//
// How the library reports: a function that can fail returns a [[nodiscard]] bool, or a result whose
// `error` says what failed, with errno as the reason where the system gave one (output_file.error,
// input_result, record_walk.error); a *_text function turns it into the words the tools print. Only a
// tool's entry prints and chooses the exit status. Memory that runs out while a file is read, or an
// output is held, is that file's failure, ENOMEM; anywhere else bad_alloc goes up to the tool's
// entry, which catches it once and says "Out of memory.".
#pragma once

#include "platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// No input of a tool may be larger: 64 MiB hold a million polygons, far beyond any map of the
// 1600 x 1600 working area, and a stream such as /dev/zero is cut off here instead of filling memory.
constexpr uint64_t MAX_INPUT_SIZE = uint64_t(64) << 20;

enum class input_error {
    none,
    cannot_open,  // the tools answer "Couldn't open." and exit with -1
    cannot_read,
    too_large,
};

struct input_result {
    input_error error = input_error::none;
    int reason = 0;     // errno for cannot_open and cannot_read
    uint64_t size = 0;  // for too_large: the file's size, or 0 for a stream that goes on
};

// Reads from the stream's position to its end, appending to `bytes`; stops with too_large once more
// than `limit` bytes came. Works on pipes as well as on files.
input_result read_stream(std::FILE* file, std::vector<uint8_t>& bytes, uint64_t limit);

// Opens a tool's input for reading. A folder is a read error on every system.
std::FILE* open_tool_input(const char* name, input_result& result);

// Opens, reads and closes a tool's input; a regular file over the limit is refused before anything
// is read.
input_result read_input(const char* name, std::vector<uint8_t>& bytes);

// "Couldn't read NAME: REASON." or "NAME is too large: ...", without the line end.
std::string input_failure_text(const char* name, const input_result& result);

// "Couldn't write NAME: REASON.", without the line end.
std::string output_failure_text(const char* name, int error);

// The whole output in one write; on failure nothing is replaced and `error` holds errno.
[[nodiscard]] bool write_output_file(const char* name, const void* data, size_t size, int& error);
