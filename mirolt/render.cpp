// Rendering by row spans: each polygon's inside points come from the exact span search, and a pixel
// keeps the first polygon that reaches it, as if every pixel walked the records in file order.
#include "mirolt.h"

#include "point_search.h"

#include <cassert>
#include <numeric>

namespace {

// The first pixel at or after x on its row that no polygon has painted yet. Links point forward past
// painted pixels and are shortened as they are followed, so each row costs little more than once.
int first_unpainted(uint16_t* links, int x)
{
    while (links[x] != x) {
        links[x] = links[links[x]];
        x = links[x];
    }
    return x;
}

}  // namespace

void render_picture(const uint8_t* data, std::span<const polygon_record> records, int side,
                    std::vector<uint8_t>& pixels)
{
    assert(side > 0 && side < UINT16_MAX);
    pixels.assign(size_t(side) * size_t(side) * PIXEL_SIZE, 0);

    // per row, side + 1 links; the last is a sentinel that is never painted
    size_t row_links = size_t(side) + 1;
    std::vector<uint16_t> links(size_t(side) * row_links);
    for (size_t row = 0; row < size_t(side); ++row) {
        std::iota(links.begin() + row * row_links, links.begin() + (row + 1) * row_links, uint16_t(0));
    }
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
            uint16_t* row = &links[size_t(span.y) * row_links];
            // rows are stored bottom-up: y = side - 1 comes first
            uint8_t* stored_row = &pixels[size_t(side - 1 - span.y) * size_t(side) * PIXEL_SIZE];
            for (int x = first_unpainted(row, span.x0); x <= span.x1; x = first_unpainted(row, x + 1)) {
                std::copy(colour, colour + PIXEL_SIZE, stored_row + size_t(x) * PIXEL_SIZE);
                row[x] = uint16_t(x + 1);
                --unpainted;
            }
        }
    }
}
