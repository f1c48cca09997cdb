// Pass one: the polygon text, line by line, into encoded edge records.
#include "tarvex.h"

#include "float_format.h"

#include <algorithm>
#include <cmath>

namespace {

struct edge_values {
    float length;
    float bpx;  // B', one unit from A toward B
    float bpy;
    edge_equation equation;
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
    edge.equation.c1 = float((double(ay) - double(edge.bpy)) * double(ax) + double(t));
    edge.equation.c2 = float(double(ax) - double(edge.bpx));
    edge.equation.c3 = float(double(edge.bpy) - double(ay));
    return edge;
}

void log_edge(std::FILE* log, const vertex_line& a, const text_line& b, const edge_values& edge)
{
    float_text ax = format_f(a.x);
    float_text ay = format_f(a.y);
    log_text(log,
             "A  = (%s,%s)\r\n"
             "B  = (%s,%s)\r\n"
             "A  = (%s,%s)\r\n"
             "B' = (%s,%s)\r\n"
             "ABlength = %s\r\n"
             "C1 = %s\r\n"
             "C2 = %s\r\n"
             "C3 = %s\r\n",
             ax.text, ay.text, format_f(b.x).text, format_f(b.y).text, ax.text, ay.text, format_f(edge.bpx).text,
             format_f(edge.bpy).text, format_f(edge.length).text, format_f(edge.equation.c1).text,
             format_f(edge.equation.c2).text, format_f(edge.equation.c3).text);
}

// What pass one remembers between lines.
struct text_state {
    pass_one_result& result;
    std::FILE* log;
    size_t polygon_count = 0;
    size_t polygon_line = 0;                 // where the open polygon's newpolygon stands; 0 outside a polygon
    size_t record_start = 0;                 // where its record starts
    std::vector<vertex_line> vertices = {};  // its vertex lines so far; the last starts the next edge
    std::vector<edge_equation> edges = {};   // its stored edges, for the checks
};

bool fail(text_state& state, size_t line, const char* problem)
{
    char text[128];
    std::snprintf(text, sizeof text, "Line %zu: %s.", line, problem);
    state.result.error = text;
    return false;
}

bool start_polygon(text_state& state, size_t line)
{
    if (state.polygon_line != 0) {
        return fail(state, state.polygon_line, "newpolygon without endpolygon");
    }
    state.polygon_line = line;
    state.record_start = state.result.records.size();
    state.vertices.clear();
    append_header_placeholder(state.result.records);
    return true;
}

bool end_polygon(text_state& state, size_t line)
{
    if (state.polygon_line == 0) {
        return fail(state, line, "endpolygon without newpolygon");
    }
    if (state.vertices.size() < 2) {
        return fail(state, state.polygon_line, "polygon has no edges; it would contain every point");
    }
    append_polygon_end(state.result.records);
    decode_edges(state.result.records.data(), {state.record_start, state.vertices.size() - 1}, state.edges);
    check_polygon(state.polygon_count, state.polygon_line, state.vertices, state.edges, state.result.warnings);
    ++state.polygon_count;
    state.polygon_line = 0;
    return true;
}

// Each vertex line after the first of a polygon adds the edge from the one before it.
bool add_vertex(text_state& state, const text_line& vertex, size_t line)
{
    if (state.polygon_line == 0) {
        return fail(state, line, "vertex outside newpolygon and endpolygon");
    }
    if (vertex.problem) {
        return fail(state, line, vertex.problem);
    }
    check_vertex(state.polygon_count, {vertex.x, vertex.y, line, vertex.third_number}, state.result.warnings);
    if (!state.vertices.empty()) {
        const vertex_line& a = state.vertices.back();
        if (vertex.x == a.x && vertex.y == a.y) {
            return fail(state, line, "two equal consecutive vertices");
        }
        edge_values edge = compute_edge(a.x, a.y, vertex.x, vertex.y);
        if (!edge_fits_record(edge.equation)) {
            return fail(state, line, "edge too far from the origin to store");
        }
        log_edge(state.log, a, vertex, edge);
        append_edge(state.result.records, edge.equation);
    }
    state.vertices.push_back({vertex.x, vertex.y, line, vertex.third_number});
    return true;
}

}  // namespace

bool pass_one(polygon_text& text, std::FILE* log, pass_one_result& result)
{
    text_state state{.result = result, .log = log};
    std::string line;
    bool at_end = false;
    size_t line_number = 1;  // of the text line where the next read starts; pieces of a line share it
    while (!at_end) {
        size_t this_line = line_number;
        read_line(text, line, at_end);
        if (text.failure.error != input_error::none) {
            return false;
        }
        if (!line.empty() && line.back() == '\n') {
            ++line_number;
        }
        // every read is echoed with its terminator; a NUL ends the echo, and the line is refused
        size_t shown = std::min(line.size(), line.find('\0'));
        log_text(log, "Read: [%.*s]\r\n", int(shown), line.data());

        text_line what = classify_line(line);
        bool taken = true;
        switch (what.kind) {
        case line_kind::skipped:
            break;
        case line_kind::bad:
            taken = fail(state, this_line, what.problem);
            break;
        case line_kind::newpolygon:
            taken = start_polygon(state, this_line);
            break;
        case line_kind::endpolygon:
            taken = end_polygon(state, this_line);
            break;
        case line_kind::vertex:
            taken = add_vertex(state, what, this_line);
            break;
        }
        if (!taken) {
            return false;
        }
    }
    if (state.polygon_line != 0) {
        return fail(state, state.polygon_line, "newpolygon without endpolygon");
    }
    append_data_end(result.records);
    return true;
}
