// The polygon preparer: a text list of convex polygons in, a collision file out, in two passes.
// This header holds what the preparer's files use of each other; each file keeps its own helpers.
#pragma once

#include "collision_file.h"
#include "file_io.h"
#include "map_model.h"
#include "point_search.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The polygon text on its way in: read from a stream a block at a time, or all in memory already.
struct polygon_text {
    std::FILE* file = nullptr;  // null when `block` holds the whole text
    std::vector<char> block;
    size_t position = 0;  // of the next character in `block`
    uint64_t size = 0;    // characters taken into `block` so far
    input_result failure;
};

polygon_text text_from_file(std::FILE* file);
polygon_text text_from_memory(std::string_view text);

constexpr size_t LINE_LIMIT = 199;  // characters per read; a longer line arrives in pieces

// One read of the text: at most LINE_LIMIT characters, through the first LF. `at_end` is set when the read
// ran into the end of the text; a read that stops at an LF or at the limit does not look further. A
// stream that fails or goes beyond MAX_INPUT_SIZE ends there, with `failure` telling why. The read
// stays valid until the next: it lies in the text's block, or in `spill` where it spans two blocks.
std::string_view read_line(polygon_text& text, std::string& spill, bool& at_end);

// What a line of the text is.
enum class line_kind { skipped, newpolygon, endpolygon, vertex, bad };

struct text_line {
    line_kind kind = line_kind::skipped;
    float x = 0.0f;
    float y = 0.0f;
    bool third_number = false;      // the numbers are followed by text that starts like one more
    const char* problem = nullptr;  // why a bad line, or a vertex line, cannot be taken
};

text_line classify_line(std::string_view line);

// A vertex line as the text gives it, for the checks.
struct vertex_line {
    float x;
    float y;
    size_t line;
    bool third_number;
};

// What a warning is about; each kind is shown a limited number of times.
enum class warning_kind {
    decimal_comma,
    not_closed,
    no_area,
    clockwise,
    not_convex,
    outside_working_area,
    crack,
    count
};

// A point of the drawing, in world coordinates.
struct drawn_point {
    float x;
    float y;
};

// A finding about the text that is almost certainly a mistake, at its line and its place.
struct warning {
    size_t line;
    std::string text;
    warning_kind kind;
    drawn_point place;
};

// The warnings of a run: the first WARNINGS_SHOWN_PER_KIND of each kind, and how many were found, so
// that text with a mistake on every line costs no more memory than text without.
constexpr size_t WARNINGS_SHOWN_PER_KIND = 100;
struct warning_list {
    std::vector<warning> shown;
    size_t found[size_t(warning_kind::count)] = {};
    size_t total = 0;
    size_t points_in_cracks = 0;
};

void add_warning(warning_list& warnings, warning_kind kind, size_t line, std::string text, drawn_point place);

// Adds the warnings for a vertex line of polygon `number`, as soon as it is read, so that they are
// told even when a later line stops the run.
void check_vertex(size_t number, const vertex_line& vertex, warning_list& warnings);

// Adds the warnings for polygon `number`, begun at `polygon_line`, given its vertex lines and the
// edges stored for them. The checks look at the text as read, in world coordinates. False when the
// shape itself is at fault: not closed, without area, clockwise or not convex.
bool check_polygon(size_t number, size_t polygon_line, std::span<const vertex_line> vertices,
                   std::span<const edge_equation> edges, warning_list& warnings);

// A polygon as drawn, for the checks that look at several polygons at once and the preview.
struct drawn_polygon {
    size_t line;           // of its newpolygon
    size_t record_offset;  // of its record in the collision data
    size_t edge_count;
    uint32_t first;        // its outline in `points`, the closing vertex not repeated
    uint32_t count;
    bool sound;            // closed, convex, counter-clockwise and with an area: stored as drawn
};

// A polygon as the text gives it, between its newpolygon and endpolygon lines.
struct drawn_shape {
    size_t line;
    size_t end_line;
    std::vector<vertex_line> vertices;
};

// What pass one makes of the text.
struct pass_one_result {
    std::vector<uint8_t> records;  // the collision data with zero header words
    std::vector<drawn_polygon> polygons;
    std::vector<drawn_point> points;
    std::vector<drawn_shape> shapes;  // read_shapes only
    warning_list warnings;
    std::string error;         // the line naming the input line and the problem; empty when the text is taken
    size_t error_line = 0;     // that input line, when the problem has one
    std::string error_detail;  // the problem with its polygon and vertex, for a message in the compilers' form
};

// Polygon text made in memory, each of its lines, counted from 1, with the input line and the words
// of the map it comes from.
struct made_text {
    std::string text;
    std::vector<size_t> lines;
    std::vector<std::string> sources;
};

made_text text_of_map(std::span<const map_polygon> polygons);
made_text text_of_shapes(std::span<const drawn_shape> shapes, const map_settings& settings);

// The shortest text that reads back as the same float, and "(x,y)" of a point in such numbers.
std::string number_text(float value);
std::string point_text(float x, float y);

// The drawing mended into the polygon text that is compiled.
struct mending_note {
    size_t line;
    std::string text;
};

struct mended_drawing {
    std::string text;                 // CR LF lines
    std::vector<size_t> lines;        // for each line of `text`, counted from 1, the input line it comes from
    std::vector<mending_note> notes;  // what was done, one note each, at the polygon's newpolygon line
    size_t error_line = 0;            // a polygon that crosses itself stops the run, as pass one's errors do
    std::string error;
    std::string error_detail;
};

// Mends each drawn polygon: repeated vertices and corners on a straight line are dropped, an open
// outline is closed, a clockwise one reversed, one without area dropped, and a concave one split into
// convex pieces. A polygon whose outline crosses itself or touches itself is refused: its meaning
// cannot be known.
[[nodiscard]] bool mend_shapes(std::span<const drawn_shape> shapes, mended_drawing& mended);

// Pass one: reads the polygon text, logs every read and every edge, and appends the records. On bad
// input, or when the text cannot be read, it stops and returns false. `watertight` stores each sound
// polygon so that it contains the polygon as drawn (contained_edge).
[[nodiscard]] bool pass_one(polygon_text& text, std::FILE* log, pass_one_result& result, bool watertight = false);

// The edge from A to B as every run computes it and, without --watertight, stores it.
edge_equation computed_edge(float ax, float ay, float bx, float by);

// Reads the text's polygons as drawn, into `shapes`, for mending: the structure of the text is
// checked as pass one checks it, but equal consecutive vertices are kept and nothing is computed or
// logged.
[[nodiscard]] bool read_shapes(polygon_text& text, pass_one_result& result);

// Whether the vertex lines, the first repeated last, make a closed, convex outline that runs
// counter-clockwise on the picture and has an area: a polygon that stores as drawn.
bool convex_and_filled(std::span<const vertex_line> vertices);

// The sine of half the angle at `corner` between its neighbours: small for a sharp corner, where two
// stored lines meet far beyond the drawn one.
double corner_half_sine(const vertex_line& before, const vertex_line& corner, const vertex_line& after);

// The edge from outline[edge] to the next vertex, moved out from its `computed` values by the least
// that the stored steps of 1/256 allow so that every vertex of the convex outline (its first vertex
// not repeated) lies inside it exactly; its normal stays within one step per value, and within 1 %
// of unit length, of the computed one.
edge_equation contained_edge(std::span<const vertex_line> outline, size_t edge, const edge_equation& computed);

// Splits a simple polygon, given in the filled order without repeated vertices or corners on a
// straight line, into convex pieces in the same order: each a list of indices into `points`.
std::vector<std::vector<uint32_t>> convex_pieces(std::span<const drawn_point> points);

// Two edges of a closed outline that meet where they must not: edge i runs from point i to the next.
struct polygon_crossing {
    bool found = false;
    size_t first_edge = 0;
    size_t second_edge = 0;
    float x = 0.0f;  // where they meet
    float y = 0.0f;
};

polygon_crossing find_crossing(std::span<const drawn_point> points);

// Adds a warning for every crack between polygons that share an edge in the drawing: a place where
// points that they hold as drawn are in no stored polygon. Polygons whose shape has a warning of its
// own are left out.
void find_cracks(pass_one_result& first);

// Writes the preview of the finished collision file against the drawing that pass one read. On
// failure `error` holds errno.
[[nodiscard]] bool write_drawing_preview(const char* name, const pass_one_result& first,
                                         const std::vector<uint8_t>& collision_file, int& error);

// Pass two: fills in each record's size and splitspace mask in place and logs them.
[[nodiscard]] bool pass_two(std::vector<uint8_t>& records, std::FILE* log, std::string& error);

// The log gathers in memory and goes to its stream about LOG_BLOCK bytes at a time: a write per line
// costs more than making the line, and some C libraries, Wine's among them, write at once on every
// call, whatever buffer the stream has.
constexpr size_t LOG_BLOCK = size_t(1) << 20;

// Writes the gathered log text and empties it.
inline void write_log(std::FILE* log, std::string& gathered)
{
    std::fwrite(gathered.data(), 1, gathered.size(), log);
    gathered.clear();
}

// The whole tool: the log goes to `log`, warnings and reasons for people to `errors`. Returns the
// exit status.
int run_tarvex(int argc, char** argv, std::FILE* log, std::FILE* errors);
