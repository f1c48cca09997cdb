// Reading whole files, and writing outputs that are never left half-written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Reads from the stream's position to its end, appending to `bytes`. False on a read error, with
// errno telling which. Works on pipes as well as on files.
bool read_file(std::FILE* file, std::vector<uint8_t>& bytes);

// Reads a tool's whole input. When it cannot, it reports so on `log` as every tool does:
// "Couldn't open." for exit status -1, or "Couldn't read NAME: REASON." for exit status 1. Then it
// returns false with that status in `status`.
bool load_input(const char* path, std::vector<uint8_t>& bytes, std::FILE* log, int& status);

// An output on its way to its file. A regular file, or one that does not exist yet, is written as a
// temporary file beside it and renamed into place once complete, so a failed run leaves the old file
// as it was; a symbolic link is followed and the file it names is replaced, the link stays. Anything
// else, a device such as /dev/null or a pipe, is written directly and never replaced.
struct output_file {
    std::FILE* file = nullptr;
    std::string path;       // the file that receives the data, links followed
    std::string temp_path;  // empty when writing directly
    int error = 0;          // errno of the first failure
};

bool open_output(const char* path, output_file& out);
bool write_output(output_file& out, const void* data, size_t size);
// Flushes and closes the output and renames it into place: only now is the old file replaced.
bool finish_output(output_file& out);
// Closes the output after a failure and removes the temporary file.
void abandon_output(output_file& out);

// The whole output in one write; on failure nothing is replaced and `error` holds errno.
bool write_output_file(const char* path, const void* data, size_t size, int& error);
