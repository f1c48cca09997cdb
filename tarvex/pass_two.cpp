// Pass two: each record's size and splitspace mask, filled in where pass one left zero header words.
#include "passes.h"

#include "point_search.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

std::string_view decimal_text(size_t value, char (&digits)[24])
{
    char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return {digits, size_t(end - digits)};
}

// The log line of a cell that the polygon affects, by the cell's bit number.
const std::string& cell_line(int cell)
{
    static const std::array<std::string, CELL_GRID * CELL_GRID> LINES = [] {
        std::array<std::string, CELL_GRID * CELL_GRID> lines;
        for (int cy = 0; cy < CELL_GRID; ++cy) {
            for (int cx = 0; cx < CELL_GRID; ++cx) {
                char text[128];
                std::snprintf(text, sizeof text,
                              "This polygon affects cell (%d,%d). ORing contribution of %04X to splitspace bitmask.\r\n",
                              cx, cy, cell_bit(cx, cy));
                lines[size_t(CELL_GRID * cy + cx)] = text;
            }
        }
        return lines;
    }();
    return LINES[size_t(cell)];
}

// The splitspace mask of a polygon's edges: every cell whose box holds a point inside them.
// `edges` are the record's, repeats dropped; `middle` tells whether the point (x, y), found from the
// edges in their stored order, where consecutive edges meet, is inside them.
unsigned splitspace_mask(std::span<const edge_equation> edges, bool middle, int x, int y,
                         std::vector<edge_equation>& scratch)
{
    // a point inside near the polygon's middle settles most cells without a search: where the polygon
    // reaches into a cell, the cell's point nearest to it is usually inside too
    // and no cell is searched beyond the bounds of the polygon's points
    const point_box grid = {cell_box(0, 0).x0, cell_box(0, 0).y0, cell_box(CELL_GRID - 1, CELL_GRID - 1).x1,
                            cell_box(CELL_GRID - 1, CELL_GRID - 1).y1};
    point_box bounds = inside_bounds(edges, grid);
    scratch.assign(edges.begin(), edges.end());
    unsigned mask = 0;
    for (int cy = 0; cy < CELL_GRID; ++cy) {
        for (int cx = 0; cx < CELL_GRID; ++cx) {
            point_box cell = cell_box(cx, cy);
            point_box box = {std::max(cell.x0, bounds.x0), std::max(cell.y0, bounds.y0), std::min(cell.x1, bounds.x1),
                             std::min(cell.y1, bounds.y1)};
            if (box.x0 > box.x1 || box.y0 > box.y1) {
                continue;
            }
            bool nearest_inside =
                middle && point_inside(scratch, std::clamp(x, box.x0, box.x1), std::clamp(y, box.y0, box.y1));
            if (nearest_inside || any_point_inside_in_place(scratch, box)) {
                mask |= cell_bit(cx, cy);
            }
        }
    }
    return mask;
}

}  // namespace

bool pass_two(std::vector<uint8_t>& records, std::FILE* log, refusal& refused)
{
    // every record must fit its size field before any of them is filled in
    record_walk walk = walk_records(records);
    if (walk.error != walk_error::none) {
        refused = refusal_without_place("The collision data is damaged.");
        return false;
    }
    for (size_t number = 0; number < walk.records.size(); ++number) {
        if (record_size(walk.records[number]) > MAX_RECORD_SIZE) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "Polygon %zu has %zu edges, more than the %zu that its size field can describe.", number,
                          walk.records[number].edge_count, MAX_EDGES);
            refused = refusal_without_place(text);
            return false;
        }
    }

    std::vector<edge_equation> edges;
    std::vector<edge_equation> scratch;
    std::string text;
    for (size_t number = 0; number < walk.records.size(); ++number) {
        const polygon_record& record = walk.records[number];
        size_t words = record_size(record) / WORD_SIZE;
        char digits[2][24];
        std::string_view polygon = decimal_text(number, digits[0]);
        std::string_view size = decimal_text(words, digits[1]);
        text.append("Encountered polygon ").append(polygon).append(".\r\nsize_of_this_polygon_data = ");
        text.append(size).append(".\r\n");

        decode_edges(records.data(), record, edges);
        // the middle is found from the edges in their order, where neighbours meet: the sort that
        // finds repeats would pair edges that do not meet
        int x = 0;
        int y = 0;
        bool middle = middle_point(edges, x, y);
        drop_repeated_edges(edges);
        unsigned mask = splitspace_mask(edges, middle, x, y, scratch);
        for (int cell = 0; cell < CELL_GRID * CELL_GRID; ++cell) {
            if (mask & (1u << cell)) {
                text += cell_line(cell);
            }
        }
        put_header(records.data() + record.offset, unsigned(words * WORD_SIZE), mask);
        text.append("Advancing ").append(size).append(" 4-byte words to the next polygon.\r\n");
        if (text.size() >= LOG_BLOCK) {
            write_log(log, text);
        }
    }
    write_log(log, text);
    return true;
}
