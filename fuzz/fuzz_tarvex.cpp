// Fuzz target: any bytes as polygon text, through both passes. Text that is accepted must become a
// collision file that the bounded walk accepts, with each record's size in its header word and
// masks equal to those of the brute-force search.
#include "fixed_point.h"
#include "reference.h"
#include "tarvex.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// The brute-force search costs tens of milliseconds a polygon. Each input checks one cell, chosen by
// its bytes, of its first polygons against it; over many inputs every cell gets checked.
constexpr size_t CHECKED_POLYGONS = 2;
constexpr int CELLS = 16;

std::FILE* discard()
{
    static std::FILE* null_device = std::fopen("/dev/null", "wb");
    return null_device;
}

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

std::vector<uint8_t> run_pass_one(std::string_view text, bool& accepted)
{
    char* bytes = nullptr;
    size_t length = 0;
    std::FILE* intermediate = open_memstream(&bytes, &length);
    std::string error;
    accepted = pass_one(text, discard(), intermediate, error);
    std::fclose(intermediate);
    std::vector<uint8_t> buffer(bytes, bytes + length);
    std::free(bytes);
    require(accepted == error.empty());
    return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    bool accepted = false;
    std::vector<uint8_t> buffer = run_pass_one(text, accepted);
    if (!accepted) {
        return 0;
    }
    record_walk before = walk_records(buffer);
    require(before.error == walk_error::none);

    std::string error;
    bool too_large = false;
    for (const polygon_record& record : before.records) {
        too_large = too_large || record_size(record) > MAX_RECORD_SIZE;
    }
    require(pass_two(buffer, discard(), error) == !too_large);
    if (too_large) {
        return 0;
    }

    record_walk after = walk_records(buffer);
    require(after.error == walk_error::none && after.records.size() == before.records.size());
    int cell = int(std::hash<std::string_view>{}(text) % CELLS);
    for (size_t number = 0; number < after.records.size(); ++number) {
        const uint8_t* header = buffer.data() + after.records[number].offset;
        require(get_be16(header) == record_size(after.records[number]));
        if (number < CHECKED_POLYGONS) {
            bool reached = (get_be16(header + 2) >> cell & 1) != 0;
            require(reached == reference_cell_reached(header, cell % 4, cell / 4));
        }
    }
    return 0;
}
