// The drawing: what every reader of a source gives and every later step takes, and what the steps
// say about it. Each shape keeps where it comes from, so that every message names the designer's own
// file, line and words, through mending and compiling alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// A point of the drawing in world units: x grows to the right and y downward on the picture.
struct drawn_point {
    float x;
    float y;
};

constexpr uint32_t NO_INDEX = UINT32_MAX;
constexpr int32_t NO_OBJECT = INT32_MIN;

// A custom property of a map's object, template or tile, as the editor writes it.
struct property {
    std::string name;
    std::string type;        // "string", "int", "float", "bool", "color", "file", "object" or "class"
    std::string class_name;  // the property type of a class value
    std::string value;       // as written; empty for a class value
    std::vector<property> members;  // a class value's
};

// Properties given again over those there are: a name given again takes the new value.
void merge_properties(std::vector<property>& into, const std::vector<property>& over);

// Where a shape comes from. Names are indices into drawing.names, NO_INDEX where the source has none.
struct shape_source {
    uint32_t file = 0;  // into drawing.files
    uint32_t line = 0;  // of its newpolygon, or of the map's element; 0 where the file has no lines
    uint32_t layer = NO_INDEX;  // the map layer's path, "group/layer"
    uint32_t name = NO_INDEX;   // the object's name
    uint32_t kind = NO_INDEX;   // the object's or the tile's class
    int32_t object = NO_OBJECT; // the object's id; NO_OBJECT for a tile of a tile layer
    uint32_t tile = NO_INDEX;   // the tile's id in its tileset
    int32_t cell_x = 0;         // the tile's cell
    int32_t cell_y = 0;
    uint32_t piece = 0;         // piece k of `pieces`, from 1, where mending split the shape
    uint32_t pieces = 0;
    uint32_t origin = NO_INDEX; // for a piece, the source of the shape it was split from
    uint32_t tile_shape = NO_INDEX;  // for a tile of a tile layer, its collision shape, in drawing.tile_shapes
    uint32_t properties = NO_INDEX;  // its custom properties, in drawing.properties
    bool merged = false;             // tiles' shapes of one class united into one region
    bool traced = false;             // an outline traced from a picture, from pixel (cell_x, cell_y)
};

// A place in the sources: a file, its line (0 where the file has none), and the shape whose words
// describe it, if any.
struct place {
    uint32_t file = 0;
    uint32_t line = 0;
    uint32_t source = NO_INDEX;
};

// A shape as drawn: its vertices in the order drawn, the first repeated last when it is closed, as
// polygon text lists them.
struct drawn_shape {
    uint32_t first;  // into drawing.points and drawing.lines
    uint32_t count;
    uint32_t source;  // into drawing.sources
};

struct drawing {
    std::vector<std::string> files;  // the input first, then each file it names that was read
    bool from_text = true;           // the input is polygon text, whose lines the log counts
    std::vector<std::string> names;
    std::vector<shape_source> sources;
    std::vector<place> tile_shapes;  // each tile's collision shape where its tileset draws it
    std::vector<std::vector<property>> properties;
    // for each layer whose tiles' shapes were merged: the layer's path and line, and how many shapes
    // went in, of how many classes
    struct merged_layer {
        uint32_t layer;
        uint32_t line;
        uint64_t tile_shapes;
        size_t classes;
    };
    std::vector<merged_layer> merged_layers;
    // what shapes were made of, for the preview: each tile's shape that went into a merged one, and
    // the solid pixels' outlines that traced ones follow
    std::vector<std::vector<drawn_point>> made_from;
    std::vector<drawn_shape> shapes;
    std::vector<drawn_point> points;
    // each vertex's line in its shape's file; empty where every vertex stands on its shape's line, as
    // each of a map's elements gives all its corners
    std::vector<uint32_t> lines;
};

inline std::span<const drawn_point> points_of(const drawing& drawn, const drawn_shape& shape)
{
    return {drawn.points.data() + shape.first, shape.count};
}

// The line of the drawing's vertex `at`, of a shape with the source given.
inline uint32_t line_of(const drawing& drawn, uint32_t source, size_t at)
{
    return drawn.lines.empty() ? drawn.sources[source].line : drawn.lines[at];
}

// Starts a shape with the source given, and adds its vertices: with their own lines, or, in a drawing
// without them, on the shape's line.
void add_shape(drawing& drawn, const shape_source& source);
void add_vertex(drawing& drawn, drawn_point point, uint32_t line);
void add_vertex(drawing& drawn, drawn_point point);

// A drawing of no shapes that names the same files and words, for a step to fill.
drawing empty_like(const drawing& drawn);

place place_of(const drawing& drawn, uint32_t source);

// The words that name a shape's source in messages, such as `object 12 "ledge" (layer "ground")`;
// empty for polygon text, whose lines say it all. Every name from a file is made printable.
std::string source_words(const drawing& drawn, uint32_t source);

// Text from a file as a terminal may show it: control characters and bytes that are not UTF-8 are
// escaped, "\n", "\x1b", so that no name can move the cursor or forge a message.
std::string printable(std::string_view text);

// Why a run stops before pass two. `problem` is the log's words, `detail` those of the message in
// the compilers' form, which names the polygon and the vertex; a refusal without a place has its
// sentence whole in `problem`.
struct refusal {
    bool has_place = false;
    place where;
    std::string problem;
    std::string detail;
};

refusal refusal_at(place where, std::string problem, std::string detail = {});
refusal refusal_without_place(std::string sentence);

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

// A finding that is almost certainly a mistake, at its place, with the point to ring in a preview.
struct warning {
    place where;
    std::string text;
    warning_kind kind;
    drawn_point mark;
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

void add_warning(warning_list& warnings, warning_kind kind, place where, std::string text, drawn_point mark);

// What a step did or approximated, for the designer: mending, or reading a map.
struct note {
    place where;
    std::string text;
};

// 11034211 as "11,034,211", for counts in messages.
std::string with_thousands(uint64_t count);

// The shortest text that reads back as the same float, and "(x,y)" of a point in such numbers.
std::string number_text(float value);
std::string point_text(drawn_point point);
