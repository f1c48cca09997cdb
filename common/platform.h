// What differs between operating systems, behind one small interface: the process set-up, file names,
// opening inputs and the output writer. Everything else in the project is standard C++.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The null device, for output that nobody reads.
extern const char* const NULL_DEVICE;

// Readies the process to run a tool and returns its arguments in UTF-8:
// - standard input, output and error are open, on the null device where they were closed, so that no
//   file the tool opens can take their place;
// - standard output and error are binary, so that CR LF reaches them as it stands, and both are
//   written in large blocks unless they are a terminal;
// - a write beyond the file size limit fails with EFBIG instead of ending the process;
// - a run ended by an interrupt, a hang-up, a termination request or a broken pipe first removes the
//   output file it has not finished.
std::vector<char*> start_tool(int argc, char** argv);

// A file name as given on the command line, in UTF-8.
std::filesystem::path path_of(const char* name);

// Opens a file for binary reading; null, with errno set, when it cannot.
std::FILE* open_input(const char* name);

// Whether two names lead to one existing file, by any spelling or link: a FIFO or a device too.
bool same_file(const char* a, const char* b);

// Whether two names lead to one file, whether or not it exists yet: by any spelling or link.
bool same_destination(const char* a, const char* b);

// The name as the system stores it: Windows drops dots and spaces at the end of a name.
std::string stored_name(const char* name);

// The ways an output reaches its file.
enum class output_way {
    direct,   // a device, a pipe or an open descriptor: written as the bytes come, never replaced
    replace,  // a new file, written beside the target and renamed over it once complete
    in_place, // an existing file that a rename would change in more than its contents: its owner,
              // group, links or extended attributes. The whole output is kept in memory, then
              // written over the old contents through the kernel's own checks, as the shell writes
};

// Why an output was refused beyond what errno can say; output_failure_text knows the words.
constexpr int DEVICE_NAME = -1;  // a name that Windows reserves for a device

struct output_file;
// Closes the output after a failure, or when it was never finished, and removes the temporary file.
void abandon_output(output_file& out);

// How many outputs may be open at once: a tool's run writes at most five files.
constexpr size_t MAX_OPEN_OUTPUTS = 5;

// An output on its way to its file (see output_way); a failed run leaves the old file as it was. An
// existing file that the user may not write is refused, as the shell refuses it. Up to
// MAX_OPEN_OUTPUTS are open at a time. It abandons itself when it goes out of scope unfinished, so no
// path can leave a temporary file behind.
struct output_file {
    std::FILE* file = nullptr;
    int error = 0;  // errno of the first failure, or DEVICE_NAME
    output_way way = output_way::direct;
    std::vector<unsigned char> pending;  // in place: the output so far
    std::string target;                  // replace: the file's name in its folder
    std::string temporary;               // replace: the temporary file's name while it has one
    int directory = -1;                  // the folder of both, where the platform works relative to a folder
    bool unnamed = false;                // the temporary file has no name until it is complete
    int cleanup_slot = -1;               // where a signal finds the temporary file's name, while it has one

    output_file() = default;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    ~output_file() { abandon_output(*this); }
};

// `out` must be fresh.
[[nodiscard]] bool open_output(const char* name, output_file& out);
[[nodiscard]] bool write_output(output_file& out, const void* data, size_t size);
// Flushes and closes the output and puts it in place: only now is an old file replaced or written.
[[nodiscard]] bool finish_output(output_file& out);
