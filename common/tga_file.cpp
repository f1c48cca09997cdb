// The TGA file's bytes: the header, and the pixels row by row.
#include "picture.h"

#include "fixed_point.h"

#include <algorithm>
#include <cstring>

void tga_header(int side, uint8_t* header)
{
    std::fill(header, header + TGA_HEADER_SIZE, 0);
    header[2] = 2;  // uncompressed true-colour, no image ID, no colour map
    // width and height are the only 16-bit fields that are not 0; TGA stores them little-endian
    put_le16(unsigned(side), header + 12);
    put_le16(unsigned(side), header + 14);
    header[16] = 24;  // bits per pixel; the descriptor byte 0 means no alpha and the origin bottom left
}

void tga_row(const picture& image, int stored, uint8_t* out)
{
    // the origin is at the bottom left: the last row of the picture is stored first
    const uint32_t* row = &image.pixels[size_t(image.side - 1 - stored) * size_t(image.side)];
    const uint32_t* end = row + image.side;
    // a row is a few runs of one index: the colour is looked up once a run
    while (row != end) {
        uint32_t index = *row;
        const colour& shade = colour_at(image, index);
        const uint8_t pixel[PIXEL_SIZE] = {shade.blue, shade.green, shade.red};
        for (; row != end && *row == index; ++row) {
            std::memcpy(out, pixel, PIXEL_SIZE);
            out += PIXEL_SIZE;
        }
    }
}
