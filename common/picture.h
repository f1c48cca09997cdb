// Pictures of collision data: which polygon owns each pixel, the exact picture and the preview for
// people, and their PNG and TGA files. The imager draws them, and the preparer draws its preview with
// the same code.
#pragma once

#include "collision_file.h"
#include "platform.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

constexpr size_t PIXEL_SIZE = 3;  // bytes per pixel in a file
constexpr size_t TGA_HEADER_SIZE = 18;
constexpr uint32_t NO_POLYGON = UINT32_MAX;

// Polygon k, counted from 0 in file order, is drawn red 255, green 10 * k modulo 256, blue 40.
constexpr uint8_t POLYGON_RED = 255;
constexpr unsigned POLYGON_GREEN_STEP = 10;
constexpr uint8_t POLYGON_BLUE = 40;

// Which polygon owns each pixel of a picture of side x side pixels: the first in file order that
// contains its point, or NO_POLYGON. Row y = 0 comes first. `records` come from walk_records over
// `data`.
void render_owners(const uint8_t* data, std::span<const polygon_record> records, int side,
                   std::vector<uint32_t>& owners);

struct colour {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// A picture of side x side pixels, each an index into its palette, the top row (y = 0) first. An
// index beyond the palette, NO_POLYGON among them, is the background. The renderer's owners are such
// indices.
struct picture {
    int side = 0;
    std::vector<uint32_t> pixels;
    std::vector<colour> palette;
    colour background = {0, 0, 0};
};

// The exact picture of `polygons` polygons: each in its shade, black where none is.
picture plain_picture(std::vector<uint32_t> owners, int side, size_t polygons);

// What the preparer lays over its preview: the drawing it was given, to compare with what is stored.
struct picture_point {
    double x;
    double y;
};

struct drawing_layer {
    std::vector<std::vector<picture_point>> outlines;  // each outline as drawn, closed where it is
    std::vector<uint32_t> hues;                        // the polygon whose hue each outline takes, where
                                                       // that is not the polygon of its own number
    std::vector<bool> drawn;                           // per pixel: inside a drawn polygon
    std::vector<std::string> labels;                   // each polygon's label instead of its number
    std::vector<picture_point> marks;                  // the places that warnings name
    std::vector<std::vector<picture_point>> beneath;   // closed outlines that stored polygons were made
                                                       // of, such as tiles' shapes merged into pieces
};

// The preview for people, drawn from the owners of the pixels: each polygon in a hue far from its
// neighbours' in the file, with a darker outline and its number where it fits; the cells of the
// splitspace grid with their names; a dark background. With a drawing, the pixels that it holds and
// no polygon does are loud, those that a polygon holds and it does not are marked too, each drawn
// outline is a thin light line of its polygon's hue, and each warning's place is ringed.
picture preview_picture(std::span<const uint32_t> owners, int side, size_t polygons,
                        const drawing_layer* drawing = nullptr);

// The colour of a pixel's palette index: the background for any index beyond the palette.
inline const colour& colour_at(const picture& image, uint32_t index)
{
    return index < image.palette.size() ? image.palette[index] : image.background;
}

// The picture's pixels in red, green and blue, top row first.
void rgb_pixels(const picture& image, std::vector<uint8_t>& rgb);

// The PNG file of a picture, top row first: 8-bit RGB, or a palette where the encoder makes one.
// Running out of memory throws bad_alloc.
void png_file(const picture& image, std::vector<uint8_t>& file);
constexpr size_t PNG_HEADER_SIZE = 33;  // the signature and the IHDR chunk

// The TGA file of a picture: an uncompressed 24-bit header, then the pixels as blue, green, red, the
// rows from the bottom of the picture up; `stored` counts the rows in file order.
void tga_header(int side, uint8_t* header);
void tga_row(const picture& image, int stored, uint8_t* out);

// Whether the name, as the system stores it, asks for a PNG file: it ends in .png in any case.
bool names_png(const char* name);

// Writes the picture to an open output, as PNG or TGA, and finishes it; on failure out.error says why.
[[nodiscard]] bool write_picture_to(output_file& out, const picture& image, bool png, std::FILE* log);

// Writes the picture as a PNG file when the name, as the system stores it, ends in .png in any case,
// and as a TGA file otherwise, logging "Written header." and "Written imagedata." when `log` is set.
// On failure nothing is replaced and `error` holds errno; running out of memory throws bad_alloc.
[[nodiscard]] bool write_picture(const char* name, const picture& image, std::FILE* log, int& error);

