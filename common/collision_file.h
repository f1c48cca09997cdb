// The collision file: polygon records of fixed-point edge equations, their markers, and the one
// inside test that the preparer and the imager share. Both directions of the layout are here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Layout: each polygon record is a header word (size, splitspace mask), 8-byte edge records, and the
// polygon end marker; the data end marker follows the last record. Both markers are four equal bytes,
// and every number is big-endian.
constexpr uint32_t POLYGON_END_MARKER = 0x80808080;
constexpr uint32_t DATA_END_MARKER = 0x8F8F8F8F;
constexpr size_t WORD_SIZE = 4;         // the preparer's log counts a record's length in words
constexpr size_t HEADER_WORD_SIZE = 4;  // size_of_this_polygon_data, then the splitspace mask
constexpr size_t EDGE_RECORD_SIZE = 8;  // C1 (24.8), C2 (8.8), C3 (8.8)
constexpr size_t MARKER_SIZE = 4;
constexpr size_t EMPTY_RECORD_SIZE = HEADER_WORD_SIZE + MARKER_SIZE;
constexpr size_t MAX_RECORD_SIZE = 65535;  // what the 16-bit size_of_this_polygon_data can hold
constexpr size_t MAX_EDGES = (MAX_RECORD_SIZE - EMPTY_RECORD_SIZE) / EDGE_RECORD_SIZE;  // 8190
constexpr int EDGE_FIXED_FORMAT = 2;                                                    // 8 fraction bits

// The splitspace mask has bit 4 * cy + cx for each cell (cx, cy) of a 4 x 4 grid over the working
// area, 0..1599 in x and y, that the polygon reaches; each cell is searched 10 units beyond its edges.
constexpr int CELL_GRID = 4;     // cells per side of the working area
constexpr int CELL_SIZE = 400;   // world units per cell
constexpr int CELL_MARGIN = 10;  // units searched beyond each side of a cell
constexpr int WORKING_SIDE = CELL_GRID * CELL_SIZE;  // 1600: the working area is 0..1599 in x and y

// An edge record's values: for a point (x, y) the signed distance from the edge's line is
// c1 + y*c2 + x*c3, and the inside lies where it is not negative.
struct edge_equation {
    float c1;
    float c2;
    float c3;
};

// Writing. A record is a header placeholder, its edges and the polygon end marker, appended in that
// order; put_header fills in the placeholder once the record is complete.
void encode_edge(const edge_equation& edge, uint8_t* out);
void append_header_placeholder(std::vector<uint8_t>& out);
void append_edge(std::vector<uint8_t>& out, const edge_equation& edge);
void append_polygon_end(std::vector<uint8_t>& out);
void append_data_end(std::vector<uint8_t>& out);
void put_header(uint8_t* record, unsigned size, unsigned splitspace_mask);

// Whether an edge record can hold the edge. |C1| must stay below 8,355,711.5: C1 = -8,355,711.5
// would store as the polygon end marker, and from 8,388,608 on C1 no longer fits its word (the band
// between is a safety margin). And the edge must keep a direction: when |C2| and |C3| are both below
// 1/256 they store as 0, and the stored edge keeps every point or none.
bool edge_fits_record(const edge_equation& edge);

// Reading.
edge_equation decode_edge(const uint8_t* edge);

// The stored edge's value at an integer point, in the exact float steps that both tools share:
// each product rounded to single, the sum taken in double and rounded to single once.
inline float edge_distance(const edge_equation& edge, int x, int y)
{
    float y_term = float(double(y) * double(edge.c2));
    float x_term = float(double(x) * double(edge.c3));
    return float(double(edge.c1) + double(y_term) + double(x_term));
}

float edge_distance(const uint8_t* edge, int x, int y);

// True when no edge of the record starting at `record` has a negative distance at (x, y):
// a point on an edge counts as inside, and a record without edges contains every point.
// Both functions trust the markers; readers of untrusted bytes check them with walk_records first.
bool point_in_polygon(const uint8_t* record, int x, int y);
const uint8_t* record_end(const uint8_t* record);

// Where one polygon record lies in a collision buffer.
struct polygon_record {
    size_t offset;  // of its header word
    size_t edge_count;
};

inline size_t record_size(const polygon_record& record)
{
    return EMPTY_RECORD_SIZE + EDGE_RECORD_SIZE * record.edge_count;
}

enum class walk_error {
    none,
    missing_data_end,     // the bytes end where a record or the data end marker should start
    missing_polygon_end,  // a record runs to the end of the bytes without its polygon end marker
};

struct record_walk {
    std::vector<polygon_record> records;
    walk_error error = walk_error::none;
};

// The record walk of both readers, bounded by the buffer's length: it never reads past the end, and
// tells which record broke the layout (records.size() is that record's number). Bytes after the data
// end marker are not read.
record_walk walk_records(std::span<const uint8_t> data);

void decode_edges(const uint8_t* data, const polygon_record& record, std::vector<edge_equation>& edges);

// Keeps one of each set of equal edges, in some order: the inside is the intersection of the edges'
// half-planes, so neither a repeat nor the order changes which points are inside, and a record that
// goes back and forth along the same edges costs a search no more than its distinct edges.
void drop_repeated_edges(std::vector<edge_equation>& edges);
