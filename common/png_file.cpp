// The PNG file of a picture, encoded by stb_image_write: 8-bit RGB, the top row first, so every
// viewer shows y = 0 at the top.
#include "picture.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

// stb's buffers, through hooks that fail cleanly: a failed allocation throws instead of handing stb
// a null pointer it would write through, and the blocks stb holds then are freed by png_file.
std::vector<void*> stb_blocks;

void* stb_realloc(void* block, size_t size)
{
    stb_blocks.reserve(stb_blocks.size() + 1);  // may throw before anything changes
    auto known = std::find(stb_blocks.begin(), stb_blocks.end(), block);
    void* moved = std::realloc(block, size);
    if (!moved) {
        throw std::bad_alloc();
    }
    if (known != stb_blocks.end()) {
        *known = moved;
    } else {
        stb_blocks.push_back(moved);
    }
    return moved;
}

void stb_free(void* block)
{
    auto known = std::find(stb_blocks.begin(), stb_blocks.end(), block);
    if (known != stb_blocks.end()) {
        stb_blocks.erase(known);
    }
    std::free(block);
}

}  // namespace

#define STBIW_MALLOC(size) stb_realloc(nullptr, size)
#define STBIW_REALLOC(block, size) stb_realloc(block, size)
#define STBIW_FREE(block) stb_free(block)
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>

namespace {

void append_bytes(void* context, void* data, int size)
{
    auto* bytes = static_cast<std::vector<uint8_t>*>(context);
    bytes->insert(bytes->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

void png_file(const picture& image, std::vector<uint8_t>& file)
{
    try {
        std::vector<uint8_t> rgb;
        rgb_pixels(image, rgb);
        file.clear();
        int stride = image.side * int(PIXEL_SIZE);
        // stb fails only where an allocation failed, and the hooks throw then
        (void)stbi_write_png_to_func(append_bytes, &file, image.side, image.side, int(PIXEL_SIZE), rgb.data(),
                                     stride);
    } catch (const std::bad_alloc&) {
        for (void* block : stb_blocks) {
            std::free(block);
        }
        stb_blocks.clear();
        throw;
    }
}
