// Pass one: the polygon text, read by line, into encoded edge records.
#include "tarvex.h"

#include "fixed_point.h"
#include "float_format.h"

#include <cmath>
#include <cstring>

namespace {

constexpr size_t LINE_LIMIT = 199;     // characters per read; a longer line arrives in pieces
constexpr size_t MIN_LINE_LENGTH = 2;  // shorter reads are ignored
// from this |C1| on, an edge's first word could read as the polygon end marker 80 80 80 80
constexpr float C1_LIMIT = 8355711.5f;
constexpr float C_STEP = 1.0f / 256.0f;  // the smallest |C2| or |C3| that does not store as 0

// a read equals a keyword with any of the terminators that the line reader can leave
const std::string_view NEWPOLYGON_LINES[] = {"newpolygon\r\n", "newpolygon\n", "newpolygon\r", "newpolygon"};
const std::string_view ENDPOLYGON_LINES[] = {"endpolygon\r\n", "endpolygon\n", "endpolygon\r", "endpolygon"};

const uint8_t HEADER_PLACEHOLDER[HEADER_WORD_SIZE] = {0x00, 0x00, 0x00, 0x00};
const uint8_t POLYGON_END_BYTES[MARKER_SIZE] = {0x80, 0x80, 0x80, 0x80};
const uint8_t DATA_END_BYTES[MARKER_SIZE] = {0x8F, 0x8F, 0x8F, 0x8F};

struct edge_values {
    float length;
    float bpx;  // B', one unit from A toward B
    float bpy;
    float c1;
    float c2;
    float c3;
};

// The edge from A to B as the consumer expects it: double arithmetic, rounded to single exactly at
// these steps. C2 and C3 come from the rounded B', not from dx and dy.
edge_values compute_edge(float ax, float ay, float bx, float by)
{
    double dx = double(bx) - double(ax);
    double dy = double(by) - double(ay);
    edge_values edge;
    edge.length = float(std::pow(std::pow(dy, 2.0) + std::pow(dx, 2.0), 0.5));
    edge.bpx = float(dx / double(edge.length) + double(ax));
    edge.bpy = float(dy / double(edge.length) + double(ay));
    float t = float((double(edge.bpx) - double(ax)) * double(ay));
    edge.c1 = float((double(ay) - double(edge.bpy)) * double(ax) + double(t));
    edge.c2 = float(double(ax) - double(edge.bpx));
    edge.c3 = float(double(edge.bpy) - double(ay));
    return edge;
}

// Far from the origin the record cannot hold the edge: C1 could collide with the end marker, or B'
// rounds back onto A and the edge loses its direction, keeping every point.
bool fits_edge_record(const edge_values& edge)
{
    bool has_direction = std::fabs(edge.c2) >= C_STEP || std::fabs(edge.c3) >= C_STEP;
    return std::fabs(edge.c1) < C1_LIMIT && has_direction;
}

void log_edge(std::FILE* log, float ax, float ay, float bx, float by, const edge_values& edge)
{
    std::fprintf(log, "A  = (%s,%s)\r\n", format_f(ax).text, format_f(ay).text);
    std::fprintf(log, "B  = (%s,%s)\r\n", format_f(bx).text, format_f(by).text);
    std::fprintf(log, "A  = (%s,%s)\r\n", format_f(ax).text, format_f(ay).text);
    std::fprintf(log, "B' = (%s,%s)\r\n", format_f(edge.bpx).text, format_f(edge.bpy).text);
    std::fprintf(log, "ABlength = %s\r\n", format_f(edge.length).text);
    std::fprintf(log, "C1 = %s\r\n", format_f(edge.c1).text);
    std::fprintf(log, "C2 = %s\r\n", format_f(edge.c2).text);
    std::fprintf(log, "C3 = %s\r\n", format_f(edge.c3).text);
}

void write_edge(std::FILE* intermediate, const edge_values& edge)
{
    uint8_t c1[4];
    uint8_t c2[2];
    uint8_t c3[2];
    encode_fixed32(EDGE_FIXED_FORMAT, edge.c1, c1);
    encode_fixed16(EDGE_FIXED_FORMAT, edge.c2, c2);
    encode_fixed16(EDGE_FIXED_FORMAT, edge.c3, c3);
    std::fwrite(c1, 1, sizeof c1, intermediate);
    std::fwrite(c2, 1, sizeof c2, intermediate);
    std::fwrite(c3, 1, sizeof c3, intermediate);
}

// One read of the line reader: up to LINE_LIMIT characters, through the first LF. A CR is an
// ordinary character. at_end is set when the read ran into the end of the text, as the reader's
// end-of-file flag would be: a read that stops at an LF or at the limit does not look further.
std::string_view read_line(std::string_view text, size_t& position, bool& at_end)
{
    size_t start = position;
    while (position - start < LINE_LIMIT) {
        if (position == text.size()) {
            at_end = true;
            break;
        }
        if (text[position++] == '\n') {
            break;
        }
    }
    return text.substr(start, position - start);
}

bool is_one_of(std::string_view line, std::span<const std::string_view> forms)
{
    for (std::string_view form : forms) {
        if (line == form) {
            return true;
        }
    }
    return false;
}

bool is_blank(std::string_view line)
{
    return line.find_first_not_of(" \t\r\n\v\f") == std::string_view::npos;
}

bool fail(std::string& error, size_t line, const char* problem)
{
    char text[128];
    std::snprintf(text, sizeof text, "Line %zu: %s.", line, problem);
    error = text;
    return false;
}

}  // namespace

bool pass_one(std::string_view text, std::FILE* log, std::FILE* intermediate, std::string& error)
{
    size_t position = 0;
    bool at_end = false;
    size_t line_number = 1;   // of the text line where the next read starts
    size_t polygon_line = 0;  // where the open polygon's newpolygon stands; 0 outside a polygon
    bool have_previous = false;
    float ax = 0.0f;
    float ay = 0.0f;

    while (!at_end) {
        size_t this_line = line_number;
        std::string_view line = read_line(text, position, at_end);
        if (!line.empty() && line.back() == '\n') {
            ++line_number;
        }

        // every read is echoed, terminator included, as far as a C string shows it
        std::string_view shown = line.substr(0, line.find('\0'));
        std::fprintf(log, "Read: [%.*s]\r\n", int(shown.size()), shown.data());
        if (shown.size() != line.size()) {
            return fail(error, this_line, "NUL character in the line");
        }
        if (line.size() < MIN_LINE_LENGTH || is_blank(line)) {
            continue;
        }

        if (is_one_of(line, NEWPOLYGON_LINES)) {
            if (polygon_line != 0) {
                return fail(error, polygon_line, "newpolygon without endpolygon");
            }
            std::fwrite(HEADER_PLACEHOLDER, 1, sizeof HEADER_PLACEHOLDER, intermediate);
            polygon_line = this_line;
            have_previous = false;
            continue;
        }
        if (is_one_of(line, ENDPOLYGON_LINES)) {
            if (polygon_line == 0) {
                return fail(error, this_line, "endpolygon without newpolygon");
            }
            std::fwrite(POLYGON_END_BYTES, 1, sizeof POLYGON_END_BYTES, intermediate);
            polygon_line = 0;
            continue;
        }

        // a vertex line: both numbers must convert, as the scanner reads them, straight to single
        char scanned[LINE_LIMIT + 1];
        std::memcpy(scanned, line.data(), line.size());
        scanned[line.size()] = '\0';
        float bx = 0.0f;
        float by = 0.0f;
        if (std::sscanf(scanned, "%f,%f", &bx, &by) != 2) {
            return fail(error, this_line, "expected newpolygon, endpolygon or a vertex x,y");
        }
        if (polygon_line == 0) {
            return fail(error, this_line, "vertex outside newpolygon and endpolygon");
        }
        if (!std::isfinite(bx) || !std::isfinite(by)) {
            return fail(error, this_line, "coordinate is not finite");
        }
        if (!have_previous) {
            ax = bx;
            ay = by;
            have_previous = true;
            continue;
        }
        if (bx == ax && by == ay) {
            return fail(error, this_line, "two equal consecutive vertices");
        }
        edge_values edge = compute_edge(ax, ay, bx, by);
        if (!fits_edge_record(edge)) {
            return fail(error, this_line, "edge too far from the origin to store");
        }
        log_edge(log, ax, ay, bx, by, edge);
        write_edge(intermediate, edge);
        ax = bx;
        ay = by;
    }

    if (polygon_line != 0) {
        return fail(error, polygon_line, "newpolygon without endpolygon");
    }
    std::fwrite(DATA_END_BYTES, 1, sizeof DATA_END_BYTES, intermediate);
    return true;
}
