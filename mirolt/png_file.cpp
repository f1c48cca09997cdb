// The PNG file of a picture, encoded by stb_image_write: 8-bit RGB, the top row first, so every
// viewer shows y = 0 at the top.
#include "mirolt.h"

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

bool png_file(const picture& image, std::vector<uint8_t>& file)
{
    std::vector<uint8_t> rgb;
    rgb_pixels(image, rgb);
    file.clear();
    int stride = image.side * int(PIXEL_SIZE);
    int written =
        stbi_write_png_to_func(append_bytes, &file, image.side, image.side, int(PIXEL_SIZE), rgb.data(), stride);
    return written != 0;
}
