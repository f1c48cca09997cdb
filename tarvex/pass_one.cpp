// Pass one: the reads of the polygon text, line by line, into encoded edge records. The reads come
// from the text itself, or from a drawing as its polygon text would give them.
#include "passes.h"

#include "checks.h"
#include "float_format.h"
#include "watertight.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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

// A vertex's two coordinates as the log prints them, kept because each vertex ends one edge and
// starts the next.
struct point_log_text {
    uint32_t x_bits = 0;
    uint32_t y_bits = 0;
    bool known = false;
    float_text x;
    float_text y;
};

const point_log_text& text_of_point(point_log_text& last, float x, float y)
{
    uint32_t x_bits = std::bit_cast<uint32_t>(x);
    uint32_t y_bits = std::bit_cast<uint32_t>(y);
    if (!last.known || last.x_bits != x_bits || last.y_bits != y_bits) {
        last = {x_bits, y_bits, true, format_f(x), format_f(y)};
    }
    return last;
}

// The eight lines of an edge, assembled by plain copies.
void log_edge(std::string& log, point_log_text& last_point, drawn_point a, drawn_point b, const edge_values& edge)
{
    char text[8 * 128];  // with room for the last number's fixed-size copy
    char* at = text;
    auto put = [&](std::string_view piece) {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
    };
    auto put_number = [&](const float_text& number) {
        // most numbers fit one copy of a fixed size, made in two moves rather than a call
        constexpr size_t SHORT = 16;
        std::memcpy(at, number.text, SHORT);
        if (number.size > SHORT) {
            std::memcpy(at + SHORT, number.text + SHORT, number.size - SHORT);
        }
        at += number.size;
    };
    auto put_pair = [&](std::string_view label, const float_text& x, const float_text& y) {
        put(label);
        put_number(x);
        put(",");
        put_number(y);
        put(")\r\n");
    };
    auto put_value = [&](std::string_view label, float value) {
        put(label);
        put_number(format_f(value));
        put("\r\n");
    };
    point_log_text a_text = text_of_point(last_point, a.x, a.y);
    const point_log_text& b_text = text_of_point(last_point, b.x, b.y);
    put_pair("A  = (", a_text.x, a_text.y);
    put_pair("B  = (", b_text.x, b_text.y);
    put_pair("A  = (", a_text.x, a_text.y);
    put_pair("B' = (", format_f(edge.bpx), format_f(edge.bpy));
    put_value("ABlength = ", edge.length);
    put_value("C1 = ", edge.equation.c1);
    put_value("C2 = ", edge.equation.c2);
    put_value("C3 = ", edge.equation.c3);
    log.append(text, size_t(at - text));
}

// An edge whose log lines wait for its final values: where they go in the held text, and the edge.
struct held_edge {
    size_t at;
    drawn_point a;
    drawn_point b;
    place b_place;
    edge_values values;
};

// One read as pass one takes it: its echo, what it is, and its place; a drawing's newpolygon read
// also says where the shape's vertices are in the drawing.
struct one_read {
    std::string_view echo;
    text_line what;
    place where;
    uint32_t first_vertex = NO_INDEX;
};

// Where the reads come from: the polygon text, or a drawing, whose reads are made one at a time from
// its shapes as its polygon text would give them, and end with the empty read after the last line.
struct read_source {
    text_reader* text = nullptr;
    const drawing* drawn = nullptr;
    size_t shape = 0;
    size_t vertex = 0;    // 0 for the shape's newpolygon, then 1 + each vertex, then its endpolygon
    bool ended = false;   // the empty read has been given
    std::string made = {};
};

bool next_drawing_read(read_source& source, one_read& read)
{
    const drawing& drawn = *source.drawn;
    read.what = {};
    read.first_vertex = NO_INDEX;
    source.made.clear();
    if (source.shape == drawn.shapes.size()) {
        if (source.ended) {
            return false;
        }
        source.ended = true;
        read.echo = {};
        read.where = {};
        return true;
    }
    const drawn_shape& shape = drawn.shapes[source.shape];
    place polygon = place_of(drawn, shape.source);
    if (source.vertex == 0) {
        source.made = "newpolygon\r\n";
        read.what.kind = line_kind::newpolygon;
        read.where = polygon;
        read.first_vertex = shape.first;
    } else if (source.vertex <= shape.count) {
        uint32_t at = shape.first + uint32_t(source.vertex - 1);
        drawn_point point = drawn.points[at];
        append_vertex_text(source.made, point);
        source.made += "\r\n";
        read.what.kind = line_kind::vertex;
        read.what.x = point.x;
        read.what.y = point.y;
        // the text reads "inf" back as not finite, and a read of the drawing says the same
        read.what.problem = std::isfinite(point.x) && std::isfinite(point.y) ? nullptr : "coordinate is not finite";
        read.where = {polygon.file, line_of(drawn, shape.source, at), shape.source};
    } else {
        source.made = "endpolygon\r\n";
        read.what.kind = line_kind::endpolygon;
        read.where = polygon;
        ++source.shape;
        source.vertex = 0;
        read.echo = source.made;
        return true;
    }
    ++source.vertex;
    read.echo = source.made;
    return true;
}

bool next_read(read_source& source, one_read& read)
{
    if (source.drawn) {
        return next_drawing_read(source, read);
    }
    text_read line;
    if (!next_read(*source.text, line)) {
        return false;
    }
    read = {line.line, line.what, {0, line.line_number, NO_INDEX}, NO_INDEX};
    return true;
}

// What pass one remembers between lines.
struct text_state {
    pass_one_result& result;
    std::FILE* log;
    const drawing* drawn = nullptr;  // the drawing compiled, if any
    std::string log_text = {};  // gathered for `log`
    point_log_text last_point = {};
    bool watertight = false;
    size_t polygon_count = 0;
    bool open = false;                       // a polygon is open
    place polygon = {};                      // where the open polygon's newpolygon stands
    size_t record_start = 0;                 // where its record starts
    uint32_t first_vertex = NO_INDEX;        // where a drawing's shape keeps its vertices
    std::vector<drawn_point> vertices = {};  // its vertices so far; the last starts the next edge
    std::vector<uint32_t> lines = {};        // and their lines
    std::vector<edge_equation> edges = {};   // its stored edges, for the checks
    // Under --watertight an edge's values depend on every vertex of its polygon, so the polygon's log
    // is held from its first vertex line to its endpolygon line and written once they are final.
    bool holding = false;
    std::string held_text = {};
    std::vector<held_edge> held_edges = {};
    std::vector<double> sines = {};  // of the open polygon's corners, kept from polygon to polygon
};

void log_edge(text_state& state, const held_edge& edge)
{
    if (state.holding) {
        state.held_edges.push_back(edge);
        state.held_edges.back().at = state.held_text.size();
    } else {
        log_edge(state.log_text, state.last_point, edge.a, edge.b, edge.values);
    }
}

// Logs the held text, each edge with the values it now has.
void release_held(text_state& state)
{
    std::string_view held = state.held_text;
    size_t from = 0;
    for (const held_edge& edge : state.held_edges) {
        state.log_text += held.substr(from, edge.at - from);
        log_edge(state.log_text, state.last_point, edge.a, edge.b, edge.values);
        from = edge.at;
    }
    state.log_text += held.substr(from);
    state.held_text.clear();
    state.held_edges.clear();
    state.holding = false;
}

// Stops the run at the place: the refusal names the open polygon and, where one is at fault, the
// vertex.
bool fail(text_state& state, place where, const char* problem, const text_line* vertex = nullptr)
{
    std::string detail;
    if (state.open) {
        detail.append("polygon ").append(std::to_string(state.polygon_count)).append(": ");
    }
    detail += problem;
    if (vertex) {
        detail.append(" ").append(point_text({vertex->x, vertex->y}));
    }
    state.result.refused = refusal_at(where, problem, detail);
    return false;
}

bool start_polygon(text_state& state, place where, uint32_t first_vertex)
{
    if (state.open) {
        return fail(state, state.polygon, "newpolygon without endpolygon");
    }
    state.open = true;
    state.polygon = where;
    state.first_vertex = first_vertex;
    state.record_start = state.result.records.size();
    state.vertices.clear();
    state.lines.clear();
    append_header_placeholder(state.result.records);
    state.holding = state.watertight;
    return true;
}

// Keeps the polygon's outline for the checks across polygons.
// Keeps the polygon's outline for the checks across polygons: copied from the text as read, and found
// where it is in a drawing, whose vertices are the same.
void remember_drawn(text_state& state, size_t edge_count, bool sound)
{
    std::vector<drawn_point>& points = state.result.points;
    size_t outline = sound ? edge_count : state.vertices.size();
    bool copied = state.first_vertex == NO_INDEX;
    uint32_t first = copied ? uint32_t(points.size()) : state.first_vertex;
    state.result.polygons.push_back({state.polygon, state.record_start, edge_count, first, uint32_t(outline), sound});
    if (copied) {
        points.insert(points.end(), state.vertices.begin(), state.vertices.begin() + long(outline));
    }
}

// Under --watertight, moves each edge of a convex, counter-clockwise outline out until it holds every
// drawn vertex, and stores and logs the new values. An edge that cannot hold them all is refused,
// never stored short of the drawing.
bool contain_drawn_polygon(text_state& state)
{
    if (!convex_and_filled(state.vertices)) {
        return true;  // its warning says what is wrong; its edges stay as computed
    }
    std::span<const drawn_point> outline(state.vertices.data(), state.vertices.size() - 1);
    uint8_t* records = state.result.records.data() + state.record_start + HEADER_WORD_SIZE;
    corner_sines(outline, state.sines);
    for (size_t i = 0; i < state.held_edges.size(); ++i) {
        held_edge& edge = state.held_edges[i];
        edge.values.equation = contained_edge(outline, i, edge.values.equation, state.sines);
        if (!edge_fits_record(edge.values.equation)) {
            return fail(state, edge.b_place, "edge too far from the origin to store");
        }
        encode_edge(edge.values.equation, records + i * EDGE_RECORD_SIZE);
        if (!stored_edge_holds(outline, records + i * EDGE_RECORD_SIZE)) {
            return fail(state, edge.b_place, "edge cannot be stored so that it holds its polygon as drawn");
        }
    }
    return true;
}

bool end_polygon(text_state& state, place where)
{
    if (!state.open) {
        return fail(state, where, "endpolygon without newpolygon");
    }
    if (state.vertices.size() < 2) {
        return fail(state, state.polygon, "polygon has no edges; it would contain every point");
    }
    if (state.holding) {
        bool contained = contain_drawn_polygon(state);
        release_held(state);
        if (!contained) {
            return false;
        }
    }
    append_polygon_end(state.result.records);
    size_t edge_count = state.vertices.size() - 1;
    decode_edges(state.result.records.data(), {state.record_start, edge_count}, state.edges);
    // a piece of a merged or traced region that holds no point is no mistake of the designer's, who
    // drew the region; a region beyond the working area is told once for its whole map or picture
    const shape_source* from = state.drawn && state.polygon.source != NO_INDEX
                                   ? &state.drawn->sources[state.polygon.source]
                                   : nullptr;
    bool made_here = from && (from->merged || from->traced);
    bool sound = check_polygon(state.polygon_count, state.polygon, state.vertices, state.lines, state.edges,
                               state.result.warnings, !made_here);
    remember_drawn(state, edge_count, sound);
    ++state.polygon_count;
    state.open = false;
    return true;
}

// Each vertex line after the first of a polygon adds the edge from the one before it.
bool add_vertex(text_state& state, const text_line& vertex, place where)
{
    if (!state.open) {
        return fail(state, where, "vertex outside newpolygon and endpolygon");
    }
    if (vertex.problem) {
        return fail(state, where, vertex.problem);
    }
    drawn_point b = {vertex.x, vertex.y};
    if (vertex.third_number) {
        check_vertex(state.polygon_count, where, b, state.result.warnings);
    }
    if (!state.vertices.empty()) {
        drawn_point a = state.vertices.back();
        if (b.x == a.x && b.y == a.y) {
            return fail(state, where, "two equal consecutive vertices", &vertex);
        }
        edge_values edge = compute_edge(a.x, a.y, b.x, b.y);
        if (!edge_fits_record(edge.equation)) {
            return fail(state, where, "edge too far from the origin to store");
        }
        log_edge(state, {0, a, b, where, edge});
        append_edge(state.result.records, edge.equation);
    }
    state.vertices.push_back(b);
    state.lines.push_back(where.line);
    return true;
}

// Pass one proper: every read echoed and taken in turn.
bool compile_reads(read_source& source, text_state& state)
{
    pass_one_result& result = state.result;
    one_read read;
    while (next_read(source, read)) {
        // every read is echoed with its terminator; a NUL ends the echo, and the line is refused
        std::string_view line = read.echo;
        bool has_nul = read.what.kind == line_kind::bad && line.find('\0') != std::string_view::npos;
        std::string_view shown = has_nul ? line.substr(0, line.find('\0')) : line;
        char echo[sizeof "Read: [" + LINE_LIMIT + sizeof "]\r\n"];
        std::memcpy(echo, "Read: [", 7);
        if (!shown.empty()) {  // the last read of a drawing is empty, and points nowhere
            std::memcpy(echo + 7, shown.data(), shown.size());
        }
        std::memcpy(echo + 7 + shown.size(), "]\r\n", 3);
        (state.holding ? state.held_text : state.log_text).append(echo, shown.size() + 10);

        bool taken = true;
        switch (read.what.kind) {
        case line_kind::skipped:
            break;
        case line_kind::bad:
            taken = fail(state, read.where, read.what.problem);
            break;
        case line_kind::newpolygon:
            taken = start_polygon(state, read.where, read.first_vertex);
            break;
        case line_kind::endpolygon:
            taken = end_polygon(state, read.where);
            break;
        case line_kind::vertex:
            taken = add_vertex(state, read.what, read.where);
            break;
        }
        if (!taken) {
            return false;
        }
        if (state.log_text.size() >= LOG_BLOCK) {
            write_log(state.log, state.log_text);
        }
    }
    if (source.text && source.text->text.failure.error != input_error::none) {
        return false;
    }
    if (state.open) {
        return fail(state, state.polygon, "newpolygon without endpolygon");
    }
    append_data_end(result.records);
    return true;
}

bool run_pass_one(read_source& source, std::FILE* log, pass_one_result& result, bool watertight)
{
    text_state state{.result = result, .log = log, .drawn = source.drawn, .watertight = watertight};
    bool accepted = compile_reads(source, state);
    if (state.holding) {
        release_held(state);  // a stopped run still logs what it read
    }
    write_log(log, state.log_text);
    return accepted;
}

}  // namespace

edge_equation computed_edge(float ax, float ay, float bx, float by)
{
    return compute_edge(ax, ay, bx, by).equation;
}

bool pass_one(polygon_text& text, std::FILE* log, pass_one_result& result, bool watertight)
{
    text_reader reader{text};
    read_source source{.text = &reader};
    return run_pass_one(source, log, result, watertight);
}

bool pass_one(const drawing& drawn, std::FILE* log, pass_one_result& result, bool watertight)
{
    // a drawing tells its size, so nothing grows by doubling: a shape of n vertices has n - 1 edges
    size_t edges = drawn.points.size() - drawn.shapes.size();
    result.records.reserve(result.records.size() + drawn.shapes.size() * 2 * WORD_SIZE + edges * EDGE_RECORD_SIZE +
                           WORD_SIZE);
    result.polygons.reserve(result.polygons.size() + drawn.shapes.size());
    result.outlines = &drawn.points;
    read_source source{.drawn = &drawn};
    return run_pass_one(source, log, result, watertight);
}
