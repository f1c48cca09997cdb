// The preparer's entry: arguments, files, and the two passes in order.
#include "tarvex.h"

#include "file_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// An exclusive file with an unpredictable name in the temporary folder. The name is removed at once:
// the open stream keeps the file for the two passes, and nothing is left behind however the run ends.
std::FILE* create_intermediate()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/tarvex.XXXXXX";
    int fd = mkstemp(path.data());
    if (fd < 0) {
        return nullptr;
    }
    unlink(path.c_str());
    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        close(fd);
    }
    return file;
}

}  // namespace

int run_tarvex(int argc, char** argv, std::FILE* log)
{
    if (argc != 3) {
        std::fputs("Usage: tarvex.exe inputname outputname\r\n", log);
        return 0;
    }
    const char* input_name = argv[1];
    const char* output_name = argv[2];

    std::vector<uint8_t> text;
    int status = 0;
    if (!load_input(input_name, text, log, status)) {
        return status;
    }

    // pass one: the text, read whole, into a private intermediate file
    std::FILE* intermediate = create_intermediate();
    if (!intermediate) {
        std::fprintf(log, "Couldn't create the intermediate file: %s.\r\n", std::strerror(errno));
        return 1;
    }
    std::string error;
    std::string_view text_view(reinterpret_cast<const char*>(text.data()), text.size());
    if (!pass_one(text_view, log, intermediate, error)) {
        std::fclose(intermediate);
        std::fprintf(log, "%s\r\n", error.c_str());
        return 1;
    }
    errno = 0;
    if (std::fflush(intermediate) != 0 || std::ferror(intermediate)) {
        std::fprintf(log, "Couldn't write the intermediate file: %s.\r\n", std::strerror(errno ? errno : EIO));
        std::fclose(intermediate);
        return 1;
    }
    std::fputs("Start of second pass.\r\n", log);

    // pass two: the intermediate file's contents, filled in where they lie in memory
    std::vector<uint8_t> buffer;
    errno = 0;
    bool loaded = std::fseek(intermediate, 0, SEEK_SET) == 0 && read_file(intermediate, buffer);
    int load_error = errno ? errno : EIO;
    std::fclose(intermediate);
    if (!loaded) {
        std::fprintf(log, "Couldn't read the intermediate file: %s.\r\n", std::strerror(load_error));
        return 1;
    }
    if (!pass_two(buffer, log, error)) {
        std::fprintf(log, "%s\r\n", error.c_str());
        return 1;
    }

    // an existing output file is replaced only by a complete one
    std::fputs("About to write.\r\n", log);
    int write_error = 0;
    if (!write_output_file(output_name, buffer.data(), buffer.size(), write_error)) {
        std::fprintf(log, "Couldn't write %s: %s.\r\n", output_name, std::strerror(write_error));
        return 1;
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}
