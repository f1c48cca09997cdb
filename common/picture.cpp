// The imager's pictures: the exact picture's palette, and any picture's pixels as colours.
#include "picture.h"

picture plain_picture(std::vector<uint32_t> owners, int side, size_t polygons)
{
    picture image;
    image.side = side;
    image.pixels = std::move(owners);
    image.palette.resize(polygons);
    for (size_t k = 0; k < polygons; ++k) {
        image.palette[k] = {POLYGON_RED, uint8_t(POLYGON_GREEN_STEP * k), POLYGON_BLUE};  // wraps after 26
    }
    return image;
}

void rgb_pixels(const picture& image, std::vector<uint8_t>& rgb)
{
    rgb.resize(image.pixels.size() * PIXEL_SIZE);
    uint8_t* out = rgb.data();
    for (uint32_t index : image.pixels) {
        const colour& shade = colour_at(image, index);
        out[0] = shade.red;
        out[1] = shade.green;
        out[2] = shade.blue;
        out += PIXEL_SIZE;
    }
}
