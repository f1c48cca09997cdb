// Rendering by row spans: each polygon's inside points come from the exact span search, and a pixel
// keeps the first polygon that reaches it, as if every pixel walked the records in file order.
#include "mirolt.h"

#include "point_search.h"

#include <algorithm>
#include <bit>

namespace {

constexpr int WORD_BITS = 64;

// Paints the pixels of the span that no earlier polygon has painted, one bit per pixel telling
// which are taken. Returns how many it painted.
size_t paint_span(uint64_t* painted, uint8_t* row_pixels, int x0, int x1, const uint8_t* colour)
{
    size_t count = 0;
    for (int word = x0 / WORD_BITS; word <= x1 / WORD_BITS; ++word) {
        int first = std::max(x0 - word * WORD_BITS, 0);
        int last = std::min(x1 - word * WORD_BITS, WORD_BITS - 1);
        uint64_t span_bits = (~uint64_t(0) >> (WORD_BITS - 1 - last)) & (~uint64_t(0) << first);
        uint64_t fresh = span_bits & ~painted[word];
        painted[word] |= fresh;
        count += size_t(std::popcount(fresh));
        for (; fresh != 0; fresh &= fresh - 1) {
            int x = word * WORD_BITS + std::countr_zero(fresh);
            std::copy(colour, colour + PIXEL_SIZE, row_pixels + size_t(x) * PIXEL_SIZE);
        }
    }
    return count;
}

}  // namespace

void render_picture(const uint8_t* data, std::span<const polygon_record> records, int side,
                    std::vector<uint8_t>& pixels)
{
    pixels.assign(size_t(side) * size_t(side) * PIXEL_SIZE, 0);
    size_t row_words = (size_t(side) + WORD_BITS - 1) / WORD_BITS;
    std::vector<uint64_t> painted(size_t(side) * row_words, 0);
    size_t unpainted = size_t(side) * size_t(side);

    std::vector<edge_equation> edges;
    std::vector<row_span> spans;
    const point_box picture = {0, 0, side - 1, side - 1};
    for (size_t k = 0; k < records.size() && unpainted > 0; ++k) {
        decode_edges(data, records[k], edges);
        spans.clear();
        inside_spans(edges, picture, spans);
        const uint8_t colour[PIXEL_SIZE] = {POLYGON_BLUE, uint8_t(POLYGON_GREEN_STEP * k), POLYGON_RED};
        for (const row_span& span : spans) {
            // rows are stored bottom-up: y = side - 1 comes first
            uint8_t* row_pixels = &pixels[size_t(side - 1 - span.y) * size_t(side) * PIXEL_SIZE];
            unpainted -= paint_span(&painted[size_t(span.y) * row_words], row_pixels, span.x0, span.x1, colour);
        }
    }
}
