// Fuzz target: any bytes as a collision file. A file that the bounded walk accepts must render, on a
// small picture, exactly as the pixel-by-pixel walk renders it; AddressSanitizer catches any read
// outside the file.
#include "mirolt.h"
#include "reference.h"

#include <cstdlib>

namespace {

constexpr int SIDE = 48;  // small enough for the walk, large enough for many boxes and spans

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    record_walk walk = walk_records({data, size});
    if (walk.error != walk_error::none) {
        return 0;
    }
    std::vector<uint32_t> owners;
    render_owners(data, walk.records, SIDE, owners);
    picture image = plain_picture(std::move(owners), SIDE, walk.records.size());
    std::vector<uint8_t> fast(size_t(SIDE) * SIDE * PIXEL_SIZE);
    for (int stored = 0; stored < SIDE; ++stored) {
        tga_row(image, stored, &fast[size_t(stored) * SIDE * PIXEL_SIZE]);
    }
    std::vector<uint8_t> plain;
    reference_picture(data, SIDE, plain);
    if (fast != plain) {
        std::abort();
    }
    return 0;
}
