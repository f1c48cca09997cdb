// File reading and the replace-on-success output writer.
#include "file_io.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

bool read_file(std::FILE* file, std::vector<uint8_t>& bytes)
{
    constexpr size_t CHUNK_SIZE = 1 << 16;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode)) {
        bytes.reserve(bytes.size() + size_t(info.st_size) + CHUNK_SIZE);  // room for the last, short read
    }
    for (;;) {
        size_t start = bytes.size();
        bytes.resize(start + CHUNK_SIZE);
        size_t got = std::fread(bytes.data() + start, 1, CHUNK_SIZE, file);
        bytes.resize(start + got);
        if (got < CHUNK_SIZE) {
            return !std::ferror(file);
        }
    }
}

bool load_input(const char* path, std::vector<uint8_t>& bytes, std::FILE* log, int& status)
{
    std::FILE* input = std::fopen(path, "rb");
    if (!input) {
        std::fputs("Couldn't open.\r\n", log);
        status = -1;
        return false;
    }
    bool read = read_file(input, bytes);
    int read_error = errno;
    std::fclose(input);
    if (!read) {
        std::fprintf(log, "Couldn't read %s: %s.\r\n", path, std::strerror(read_error));
        status = 1;
        return false;
    }
    return true;
}

namespace {

constexpr int MAX_LINK_HOPS = 40;      // as the system's own limit for resolving a path
constexpr size_t MAX_TEMP_STEM = 200;  // keeps the temporary name within a file name's limit

// The path that really receives the data: symbolic links followed, even to a file not there yet.
std::string follow_links(std::string path)
{
    for (int hop = 0; hop < MAX_LINK_HOPS; ++hop) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string target(PATH_MAX, '\0');
        ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0) {
            return path;
        }
        target.resize(size_t(length));
        std::filesystem::path link_dir = std::filesystem::path(path).parent_path();
        path = target.front() == '/' || link_dir.empty() ? target : (link_dir / target).string();
    }
    return path;  // a loop: the open below reports it
}

int failure_errno()
{
    return errno != 0 ? errno : EIO;
}

// Opens a temporary file beside `path` with the permissions that the finished file should have.
bool open_beside(output_file& out, const struct stat* existing)
{
    std::filesystem::path target(out.path);
    std::filesystem::path dir = target.parent_path();
    std::string stem = target.filename().string().substr(0, MAX_TEMP_STEM);
    out.temp_path = (dir.empty() ? std::filesystem::path(".") : dir).string() + "/." + stem + ".XXXXXX";

    int fd = mkstemp(out.temp_path.data());
    if (fd < 0) {
        out.error = failure_errno();
        out.temp_path.clear();
        return false;
    }
    mode_t mode;
    if (existing) {
        mode = existing->st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    // mkstemp makes the file private; the output gets what a plain create or the old file would have
    if (fchmod(fd, mode) != 0 || !(out.file = fdopen(fd, "wb"))) {
        out.error = failure_errno();
        close(fd);
        unlink(out.temp_path.c_str());
        out.temp_path.clear();
        return false;
    }
    return true;
}

}  // namespace

bool open_output(const char* path, output_file& out)
{
    out = output_file{};
    if (*path == '\0') {
        out.error = ENOENT;
        return false;
    }
    out.path = follow_links(path);
    struct stat info;
    errno = 0;
    if (stat(out.path.c_str(), &info) == 0) {
        if (S_ISREG(info.st_mode)) {
            return open_beside(out, &info);
        }
    } else if (errno == ENOENT) {
        return open_beside(out, nullptr);
    } else {
        out.error = failure_errno();
        return false;
    }
    out.file = std::fopen(out.path.c_str(), "wb");
    if (!out.file) {
        out.error = failure_errno();
        return false;
    }
    return true;
}

bool write_output(output_file& out, const void* data, size_t size)
{
    errno = 0;
    if (std::fwrite(data, 1, size, out.file) != size) {
        out.error = failure_errno();
        return false;
    }
    return true;
}

bool finish_output(output_file& out)
{
    errno = 0;
    bool flushed = std::fflush(out.file) == 0 && !std::ferror(out.file);
    if (!flushed) {
        out.error = failure_errno();
    }
    errno = 0;
    bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    if (flushed && !closed) {
        out.error = failure_errno();
    }
    if (!flushed || !closed) {
        abandon_output(out);
        return false;
    }
    if (!out.temp_path.empty()) {
        if (std::rename(out.temp_path.c_str(), out.path.c_str()) != 0) {
            out.error = failure_errno();
            abandon_output(out);
            return false;
        }
        out.temp_path.clear();
    }
    return true;
}

void abandon_output(output_file& out)
{
    if (out.file) {
        std::fclose(out.file);
        out.file = nullptr;
    }
    if (!out.temp_path.empty()) {
        unlink(out.temp_path.c_str());
        out.temp_path.clear();
    }
}

bool write_output_file(const char* path, const void* data, size_t size, int& error)
{
    output_file out;
    if (!open_output(path, out)) {
        error = out.error;
        return false;
    }
    if (!write_output(out, data, size)) {
        error = out.error;
        abandon_output(out);
        return false;
    }
    if (!finish_output(out)) {
        error = out.error;
        return false;
    }
    return true;
}
