// The PNG file of a picture, compressed by libdeflate: the chunks are laid out here, big-endian, and
// libdeflate makes the zlib stream and the CRCs. A picture of at most 256 colours, as the exact
// picture always is, is stored with a palette, one byte a pixel; any other as 8-bit RGB. Every row is
// stored as its difference from the row above (filter Up), since polygons run on from row to row.
#include "picture.h"

#include "fixed_point.h"

#include <libdeflate.h>

#include <algorithm>
#include <map>
#include <memory>
#include <new>

namespace {

constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int COMPRESSION_LEVEL = 3;  // on these pictures as small as 6 within 2 %, and twice as fast
constexpr size_t MAX_PALETTE = 256;
constexpr uint8_t FILTER_UP = 2;
constexpr uint8_t COLOUR_TYPE_RGB = 2;
constexpr uint8_t COLOUR_TYPE_PALETTE = 3;

void append_chunk(std::vector<uint8_t>& file, const char* type, const uint8_t* data, size_t size)
{
    uint8_t word[4];
    put_be32(uint32_t(size), word);
    file.insert(file.end(), word, word + 4);
    size_t start = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data, data + size);
    put_be32(libdeflate_crc32(0, file.data() + start, file.size() - start), word);
    file.insert(file.end(), word, word + 4);
}

// Each picture colour's entry in a palette of the colours used, background included; empty when
// there are more than a palette holds.
std::vector<uint8_t> palette_entries(const picture& image, std::vector<colour>& palette)
{
    auto key = [](const colour& shade) { return uint32_t(shade.red) << 16 | uint32_t(shade.green) << 8 | shade.blue; };
    std::map<uint32_t, uint8_t> entry_of;
    std::vector<uint8_t> entries(image.palette.size() + 1);  // the last one for the background
    for (size_t i = 0; i <= image.palette.size(); ++i) {
        const colour& shade = i < image.palette.size() ? image.palette[i] : image.background;
        auto [found, added] = entry_of.try_emplace(key(shade), uint8_t(palette.size()));
        if (added) {
            if (palette.size() == MAX_PALETTE) {
                return {};
            }
            palette.push_back(shade);
        }
        entries[i] = found->second;
    }
    return entries;
}

// Filters the rows for PNG: each sample less the one above it, behind the row's filter byte. Rows
// are `stride` bytes apart, the filter byte first.
void filter_up(uint8_t* rows, size_t stride, size_t count)
{
    for (size_t row = count; row-- > 1;) {  // from the bottom, so each row still sees the one above
        uint8_t* out = &rows[row * stride + 1];
        const uint8_t* above = out - stride;
        for (size_t i = 0; i + 1 < stride; ++i) {
            out[i] = uint8_t(out[i] - above[i]);
        }
    }
    for (size_t row = 0; row < count; ++row) {
        rows[row * stride] = FILTER_UP;
    }
}

}  // namespace

void png_file(const picture& image, std::vector<uint8_t>& file)
{
    std::vector<colour> palette;
    std::vector<uint8_t> entries = palette_entries(image, palette);
    bool indexed = !entries.empty();
    size_t side = size_t(image.side);
    size_t row_size = side * (indexed ? 1 : PIXEL_SIZE);
    size_t stride = row_size + 1;
    size_t filtered_size = stride * side;
    // every byte is written below, so the buffer is not cleared first
    auto filtered = std::make_unique_for_overwrite<uint8_t[]>(filtered_size);
    if (indexed) {
        for (size_t row = 0; row < side; ++row) {
            const uint32_t* pixel = &image.pixels[row * side];
            uint8_t* out = &filtered[row * stride + 1];
            for (size_t x = 0; x < side; ++x) {
                out[x] = entries[std::min<size_t>(pixel[x], entries.size() - 1)];
            }
        }
    } else {
        std::vector<uint8_t> rgb;
        rgb_pixels(image, rgb);
        for (size_t row = 0; row < side; ++row) {
            std::copy_n(&rgb[row * row_size], row_size, &filtered[row * stride + 1]);
        }
    }
    filter_up(filtered.get(), stride, side);

    // libdeflate fails only to allocate, and its bound always holds the stream
    std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
        libdeflate_alloc_compressor(COMPRESSION_LEVEL), libdeflate_free_compressor);
    if (!compressor) {
        throw std::bad_alloc();
    }
    size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filtered_size);
    auto compressed = std::make_unique_for_overwrite<uint8_t[]>(bound);
    size_t size = libdeflate_zlib_compress(compressor.get(), filtered.get(), filtered_size, compressed.get(), bound);
    if (size == 0) {
        throw std::bad_alloc();
    }

    file.assign(std::begin(PNG_SIGNATURE), std::end(PNG_SIGNATURE));
    uint8_t header[13] = {};
    put_be32(uint32_t(side), header);
    put_be32(uint32_t(side), header + 4);
    header[8] = 8;  // bits per sample; compression, filter and interlace methods are all 0
    header[9] = indexed ? COLOUR_TYPE_PALETTE : COLOUR_TYPE_RGB;
    append_chunk(file, "IHDR", header, sizeof header);
    if (indexed) {
        std::vector<uint8_t> entries_rgb;
        for (const colour& shade : palette) {
            entries_rgb.insert(entries_rgb.end(), {shade.red, shade.green, shade.blue});
        }
        append_chunk(file, "PLTE", entries_rgb.data(), entries_rgb.size());
    }
    append_chunk(file, "IDAT", compressed.get(), size);
    append_chunk(file, "IEND", nullptr, 0);
}
