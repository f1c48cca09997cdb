// Fuzz target: any bytes as polygon text, through both passes. Text that is accepted must become a
// collision file that the bounded walk accepts, with each record's size in its header word and
// masks equal to those of the brute-force search; mended, its pieces must cover each outline exactly.
#include "fixed_point.h"
#include "mending.h"
#include "passes.h"
#include "platform.h"
#include "reference.h"

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
    static std::FILE* null_device = std::fopen(NULL_DEVICE, "wb");
    return null_device;
}

void require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}

// Mends the text's polygons: the pieces of each must cover its outline exactly, which mending checks
// and, in this build, asserts.
void mend_text(std::string_view bytes)
{
    polygon_text text = text_from_memory(bytes);
    drawing drawn;
    drawn.files.assign(1, "fuzz.txt");
    warning_list warnings;
    refusal refused;
    if (!read_drawing(text, drawn, warnings, refused)) {
        return;
    }
    drawing mended;
    std::vector<note> notes;
    if (mend_drawing(drawn, 0, mended, notes, refused)) {
        pass_one_result first;
        (void)pass_one(mended, discard(), first, true);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    polygon_text text = text_from_memory(bytes);
    pass_one_result first;
    bool accepted = pass_one(text, discard(), first);
    require(accepted == first.refused.problem.empty());
    mend_text(bytes);
    if (!accepted) {
        return 0;
    }
    record_walk before = walk_records(first.records);
    require(before.error == walk_error::none);

    refusal refused;
    bool too_large = false;
    for (const polygon_record& record : before.records) {
        too_large = too_large || record_size(record) > MAX_RECORD_SIZE;
        require(record.edge_count > 0);  // a polygon without edges is refused
    }
    require(pass_two(first.records, discard(), refused) == !too_large);
    if (too_large) {
        return 0;
    }

    record_walk after = walk_records(first.records);
    require(after.error == walk_error::none && after.records.size() == before.records.size());
    int cell = int(std::hash<std::string_view>{}(bytes) % CELLS);
    for (size_t number = 0; number < after.records.size(); ++number) {
        const uint8_t* header = first.records.data() + after.records[number].offset;
        require(get_be16(header) == record_size(after.records[number]));
        if (number < CHECKED_POLYGONS) {
            bool reached = (get_be16(header + 2) >> cell & 1) != 0;
            require(reached == reference_cell_reached(header, cell % 4, cell / 4));
        }
    }
    return 0;
}
