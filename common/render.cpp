// Rendering by claims: each polygon in file order claims the free points inside it, so a pixel keeps
// the first polygon that contains it, as if every pixel walked the records in file order.
#include "picture.h"

#include "point_search.h"

#include <algorithm>

void render_owners(const uint8_t* data, std::span<const polygon_record> records, int side,
                   std::vector<uint32_t>& owners)
{
    owners.assign(size_t(side) * size_t(side), NO_POLYGON);
    point_claims claims;
    start_claims(claims, {0, 0, side - 1, side - 1});
    std::vector<edge_equation> edges;
    std::vector<row_span> spans;
    for (size_t k = 0; k < records.size() && !all_claimed(claims); ++k) {
        decode_edges(data, records[k], edges);
        drop_repeated_edges(edges);
        spans.clear();
        claim_inside(edges, claims, spans);
        for (const row_span& span : spans) {
            uint32_t* row = &owners[size_t(span.y) * size_t(side)];
            std::fill(row + span.x0, row + span.x1 + 1, uint32_t(k));
        }
    }
}
