// In-memory runs of the preparer's passes.
#include "in_memory.h"

#include "tarvex.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

// A stream whose bytes end up in a string, so the passes can write without files.
struct memory_stream {
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file = open_memstream(&data, &size);
};

std::string close_stream(memory_stream& stream)
{
    std::fclose(stream.file);
    std::string bytes(stream.data, stream.size);
    std::free(stream.data);
    return bytes;
}

}  // namespace

pass_result run_pass_one(std::string_view text)
{
    memory_stream log;
    memory_stream intermediate;
    pass_result result;
    result.ok = pass_one(text, log.file, intermediate.file, result.error);
    result.log = close_stream(log);
    std::string bytes = close_stream(intermediate);
    result.bytes.assign(bytes.begin(), bytes.end());
    return result;
}

pass_result run_pass_two(std::vector<uint8_t> intermediate)
{
    memory_stream log;
    pass_result result;
    result.ok = pass_two(intermediate, log.file, result.error);
    result.log = close_stream(log);
    result.bytes = std::move(intermediate);
    return result;
}

std::vector<uint8_t> prepare(std::string_view text)
{
    pass_result first = run_pass_one(text);
    EXPECT_TRUE(first.ok) << first.error;
    pass_result second = run_pass_two(first.bytes);
    EXPECT_TRUE(second.ok) << second.error;
    return second.bytes;
}

