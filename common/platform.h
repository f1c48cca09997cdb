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
// - standard output and error are binary, so that CR LF reaches them as it stands, and standard
//   output is written in large blocks unless it is a terminal;
// - a write beyond the file size limit fails with EFBIG instead of ending the process;
// - a run ended by an interrupt, a hang-up, a termination request or a broken pipe first removes the
//   output file it has not finished.
std::vector<char*> start_tool(int argc, char** argv);

// A file name as given on the command line, in UTF-8.
std::filesystem::path path_of(const char* name);

// Opens a file for binary reading; null, with errno set, when it cannot.
std::FILE* open_input(const char* name);

// An output on its way to its file. A regular file, or one that does not exist yet, is written as a
// temporary file beside it and put in its place once complete, so a failed run leaves the old file as
// it was; a symbolic link is followed and the file it names is replaced, the link stays. An existing
// file that the user may not write is refused, as the shell refuses it. Anything else, a device, a
// pipe or an open descriptor named like /dev/fd/3 or /dev/stdout, is written directly and never
// replaced. One output is open at a time.
struct output_file {
    std::FILE* file = nullptr;
    int error = 0;          // errno of the first failure
    std::string target;     // the file to replace, or empty when writing directly
    std::string temporary;  // the temporary file's name while it has one
    int directory = -1;     // the folder of both, where the platform works relative to a folder
    bool unnamed = false;   // the temporary file has no name until it is complete
};

bool open_output(const char* name, output_file& out);
bool write_output(output_file& out, const void* data, size_t size);
// Flushes and closes the output and puts it in place: only now is an old file replaced.
bool finish_output(output_file& out);
// Closes the output after a failure and removes the temporary file.
void abandon_output(output_file& out);
