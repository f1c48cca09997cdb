// Fuzz target: any bytes as a mask to trace: its width, then the tolerance and least area, then its
// pixels, a bit each. Tracing must end in outlines of three corners or more, or a refusal, and mending
// must take every outline, as none crosses itself. The pictures' decoder is a library of its own, and
// is left to its makers' fuzzing.
#include "mending.h"
#include "passes.h"
#include "picture_tracing.h"
#include "platform.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) {
        return 0;
    }
    static std::FILE* discard = std::fopen(NULL_DEVICE, "wb");
    pixel_mask mask;
    mask.width = 1 + data[0] % 64;
    size_t bits = (size - 2) * 8;
    mask.height = int(bits / size_t(mask.width));
    if (mask.height == 0) {
        return 0;
    }
    mask.solid.resize(size_t(mask.width) * size_t(mask.height));
    for (size_t i = 0; i < mask.solid.size(); ++i) {
        mask.solid[i] = uint8_t(data[2 + i / 8] >> (i % 8) & 1);
    }
    trace_settings settings;
    settings.tolerance = (data[1] & 0x0F) / 4.0;  // 0 to 3.75 units
    settings.min_area = (data[1] >> 4) / 2.0;     // 0 to 7.5 square units
    tracing traced;
    std::string problem;
    if (!trace_mask(mask, settings, traced, problem)) {
        return 0;
    }
    [[maybe_unused]] bool cornered = std::all_of(traced.outlines.begin(), traced.outlines.end(),
                                                 [](const traced_outline& outline) { return outline.points.size() >= 3; });
    assert(cornered && "a traced outline has three corners or more");
    drawing drawn;
    drawn.files.assign(1, "fuzz.png");
    drawn.from_text = false;
    add_traced(traced, {}, drawn);
    std::vector<note> notes;
    refusal refused;
    drawing mended;
    // a traced outline never crosses itself, so mending takes every one, and checks its pieces exactly
    bool taken = mend_drawing(drawn, 0, mended, notes, refused);
    assert(taken && "mending takes every traced outline");
    if (taken) {
        pass_one_result first;
        (void)pass_one(mended, discard, first, true);
    }
    return 0;
}
