// Collision file: writing and reading records, the inside test and the record walks.
#include "collision_file.h"

#include "fixed_point.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <tuple>

namespace {

constexpr float C1_LIMIT = 8355711.5f;   // 80808080 / 256, the polygon end marker read as C1
constexpr float C_STEP = 1.0f / 256.0f;  // the smallest |C2| or |C3| that does not store as 0

void append_word(std::vector<uint8_t>& out, uint32_t word)
{
    uint8_t bytes[4];
    put_be32(word, bytes);
    out.insert(out.end(), bytes, bytes + sizeof bytes);
}

}  // namespace

void append_header_placeholder(std::vector<uint8_t>& out)
{
    append_word(out, 0);
}

void append_edge(std::vector<uint8_t>& out, const edge_equation& edge)
{
    uint8_t bytes[EDGE_RECORD_SIZE];
    encode_edge(edge, bytes);
    out.insert(out.end(), bytes, bytes + sizeof bytes);
}

void append_polygon_end(std::vector<uint8_t>& out)
{
    append_word(out, POLYGON_END_MARKER);
}

void append_data_end(std::vector<uint8_t>& out)
{
    append_word(out, DATA_END_MARKER);
}

void put_header(uint8_t* record, unsigned size, unsigned splitspace_mask)
{
    assert(size <= MAX_RECORD_SIZE && size % WORD_SIZE == 0 && splitspace_mask <= 0xFFFF);
    put_be16(size, record);
    put_be16(splitspace_mask, record + 2);
}

bool edge_fits_record(const edge_equation& edge)
{
    bool has_direction = std::fabs(edge.c2) >= C_STEP || std::fabs(edge.c3) >= C_STEP;
    return std::fabs(edge.c1) < C1_LIMIT && has_direction;
}

void encode_edge(const edge_equation& edge, uint8_t* out)
{
    encode_fixed32(EDGE_FIXED_FORMAT, edge.c1, out);
    encode_fixed16(EDGE_FIXED_FORMAT, edge.c2, out + 4);
    encode_fixed16(EDGE_FIXED_FORMAT, edge.c3, out + 6);
}

edge_equation decode_edge(const uint8_t* edge)
{
    return {decode_fixed32(edge, EDGE_FIXED_FORMAT), decode_fixed16(edge + 4, EDGE_FIXED_FORMAT),
            decode_fixed16(edge + 6, EDGE_FIXED_FORMAT)};
}

float edge_distance(const uint8_t* edge, int x, int y)
{
    return edge_distance(decode_edge(edge), x, y);
}

bool point_in_polygon(const uint8_t* record, int x, int y)
{
    for (const uint8_t* edge = record + HEADER_WORD_SIZE; get_be32(edge) != POLYGON_END_MARKER;
         edge += EDGE_RECORD_SIZE) {
        if (0.0f > edge_distance(edge, x, y)) {
            return false;
        }
    }
    return true;
}

const uint8_t* record_end(const uint8_t* record)
{
    const uint8_t* word = record + HEADER_WORD_SIZE;
    while (get_be32(word) != POLYGON_END_MARKER) {
        word += EDGE_RECORD_SIZE;
    }
    return word;
}

static bool has_word(std::span<const uint8_t> data, size_t offset)
{
    return offset <= data.size() && data.size() - offset >= MARKER_SIZE;
}

record_walk walk_records(std::span<const uint8_t> data)
{
    record_walk walk;
    size_t start = 0;
    for (;;) {
        if (!has_word(data, start)) {
            walk.error = walk_error::missing_data_end;
            return walk;
        }
        if (get_be32(&data[start]) == DATA_END_MARKER) {
            return walk;
        }
        // the marker is looked for only where an edge record would start, as the unbounded walk does
        size_t word = start + HEADER_WORD_SIZE;
        for (;;) {
            if (!has_word(data, word)) {
                walk.error = walk_error::missing_polygon_end;
                return walk;
            }
            if (get_be32(&data[word]) == POLYGON_END_MARKER) {
                break;
            }
            word += EDGE_RECORD_SIZE;
        }
        walk.records.push_back({start, (word - start - HEADER_WORD_SIZE) / EDGE_RECORD_SIZE});
        start = word + MARKER_SIZE;
    }
}

void drop_repeated_edges(std::vector<edge_equation>& edges)
{
    auto key = [](const edge_equation& edge) { return std::tie(edge.c1, edge.c2, edge.c3); };
    std::sort(edges.begin(), edges.end(), [&](const edge_equation& a, const edge_equation& b) { return key(a) < key(b); });
    edges.erase(std::unique(edges.begin(), edges.end(),
                            [&](const edge_equation& a, const edge_equation& b) { return key(a) == key(b); }),
                edges.end());
}

void decode_edges(const uint8_t* data, const polygon_record& record, std::vector<edge_equation>& edges)
{
    edges.resize(record.edge_count);
    const uint8_t* edge = data + record.offset + HEADER_WORD_SIZE;
    for (edge_equation& equation : edges) {
        equation = decode_edge(edge);
        edge += EDGE_RECORD_SIZE;
    }
}
