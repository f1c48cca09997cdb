// Whole inputs and outputs, and their failures in words, on top of the platform's files.
#include "file_io.h"

#include "platform.h"

#include <cerrno>
#include <cstring>
#include <new>

input_result read_stream(std::FILE* file, std::vector<uint8_t>& bytes, uint64_t limit)
{
    constexpr size_t CHUNK_SIZE = size_t(1) << 16;
    try {
        // read into a chunk of its own, so that a buffer of the exact size grows only when more comes
        std::vector<uint8_t> chunk(CHUNK_SIZE);
        for (uint64_t total = 0;;) {
            errno = 0;
            size_t got = std::fread(chunk.data(), 1, CHUNK_SIZE, file);
            bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + long(got));
            total += got;
            if (total > limit) {
                return {input_error::too_large, 0, 0};
            }
            if (got < CHUNK_SIZE) {
                if (std::ferror(file)) {
                    return {input_error::cannot_read, errno != 0 ? errno : EIO, 0};
                }
                return {};
            }
        }
    } catch (const std::bad_alloc&) {
        return {input_error::cannot_read, ENOMEM, 0};
    }
}

std::FILE* open_tool_input(const char* name, input_result& result)
{
    std::error_code unknown;
    if (std::filesystem::is_directory(path_of(name), unknown)) {
        result = {input_error::cannot_read, EISDIR, 0};
        return nullptr;
    }
    std::FILE* file = open_input(name);
    result = file ? input_result{} : input_result{input_error::cannot_open, errno, 0};
    return file;
}

input_result read_input(const char* name, std::vector<uint8_t>& bytes)
{
    input_result result;
    std::FILE* file = open_tool_input(name, result);
    if (!file) {
        return result;
    }
    std::error_code unknown;
    std::filesystem::path path = path_of(name);
    uint64_t size = std::filesystem::is_regular_file(path, unknown) ? std::filesystem::file_size(path, unknown) : 0;
    if (unknown) {
        size = 0;
    }
    if (size > MAX_INPUT_SIZE) {
        result = {input_error::too_large, 0, size};
    } else {
        try {
            // a file of known size is read into a buffer of that size; a stream, or a file that
            // grows meanwhile, goes on in chunks
            size_t start = bytes.size();
            bytes.resize(start + size_t(size));
            size_t got = size == 0 ? 0 : std::fread(bytes.data() + start, 1, size_t(size), file);
            bytes.resize(start + got);
            result = read_stream(file, bytes, MAX_INPUT_SIZE - got);
        } catch (const std::bad_alloc&) {
            result = {input_error::cannot_read, ENOMEM, 0};
        }
    }
    std::fclose(file);
    return result;
}

std::string input_failure_text(const char* name, const input_result& result)
{
    char text[256];
    switch (result.error) {
    case input_error::too_large:
        if (result.size != 0) {
            std::snprintf(text, sizeof text, "is too large: %llu bytes; at most %llu.",
                          static_cast<unsigned long long>(result.size),
                          static_cast<unsigned long long>(MAX_INPUT_SIZE));
        } else {
            std::snprintf(text, sizeof text, "is too large: more than %llu bytes.",
                          static_cast<unsigned long long>(MAX_INPUT_SIZE));
        }
        return std::string(name) + " " + text;
    case input_error::cannot_open:
    case input_error::cannot_read:
        return std::string("Couldn't read ") + name + ": " + std::strerror(result.reason) + ".";
    case input_error::none:
        break;
    }
    return {};
}

std::string output_failure_text(const char* name, int error)
{
    const char* reason = error == DEVICE_NAME ? "a device name on Windows" : std::strerror(error);
    return std::string("Couldn't write ") + name + ": " + reason + ".";
}

bool write_output(output_file& out, const void* data, size_t size)
{
    if (out.way == output_way::in_place) {
        try {
            const auto* bytes = static_cast<const unsigned char*>(data);
            out.pending.insert(out.pending.end(), bytes, bytes + size);
            return true;
        } catch (const std::bad_alloc&) {
            out.error = ENOMEM;
            return false;
        }
    }
    errno = 0;
    if (std::fwrite(data, 1, size, out.file) != size) {
        out.error = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool write_output_file(const char* name, const void* data, size_t size, int& error)
{
    output_file out;
    if (!open_output(name, out) || !write_output(out, data, size) || !finish_output(out)) {
        error = out.error;
        return false;
    }
    return true;
}
