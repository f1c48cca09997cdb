// Fuzz target: any bytes as a Tiled map, TMX when the first byte is even and JSON when it is odd.
// Whatever the map holds, reading it into a drawing, mending it and compiling it must end in a result
// or a refusal, never in undefined behaviour or a crash.
#include "map_model.h"
#include "mending.h"
#include "passes.h"
#include "platform.h"

#include <cstdio>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    static std::FILE* discard = std::fopen(NULL_DEVICE, "wb");
    drawing drawn;
    drawn.files.assign(1, data[0] % 2 == 0 ? "fuzz.tmx" : "fuzz.tmj");
    std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    try {
        tiled_map map;
        refusal refused;
        std::vector<note> notes;
        map_settings merging;  // as maps are read by default: the tiles' shapes united per class
        merging.merge = true;
        if (!parse_map(content, drawn.files, map, refused) || !map_drawing(map, merging, drawn, notes, refused)) {
            return 0;
        }
        pass_one_result first;
        (void)pass_one(drawn, discard, first, true);
        // mending checks its pieces against each outline exactly, and asserts it in this build
        drawing mended;
        if (mend_drawing(drawn, 8, mended, notes, refused)) {  // pieces of at most 8 corners, as physics engines take
            pass_one_result fixed;
            (void)pass_one(mended, discard, fixed, true);
        }
    } catch (const std::bad_alloc&) {
        // a map may ask for more memory than there is; the tool reports that as "Out of memory."
    }
    return 0;
}
