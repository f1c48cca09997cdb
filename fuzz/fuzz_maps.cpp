// Fuzz target: any bytes as a Tiled map, TMX when the first byte is even and JSON when it is odd.
// Whatever the map holds, reading it and compiling the polygon text it becomes must end in a result
// or a refusal, never in undefined behaviour or a crash.
#include "tarvex.h"

#include "platform.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    static std::FILE* discard = std::fopen(NULL_DEVICE, "wb");
    std::string name = data[0] % 2 == 0 ? "fuzz.tmx" : "fuzz.tmj";
    std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string error;
    size_t error_line = 0;
    try {
        tiled_map map = parse_map(name, content, error, error_line);
        if (!error.empty()) {
            return 0;
        }
        map_result shapes = map_polygons(map, {});
        if (!shapes.error.empty()) {
            return 0;
        }
        made_text made = text_of_map(shapes.polygons);
        polygon_text text = text_from_memory(made.text);
        pass_one_result first;
        (void)pass_one(text, discard, first, true);
    } catch (const std::bad_alloc&) {
        // a map may ask for more memory than there is; the tool reports that as "Out of memory."
    }
    return 0;
}
