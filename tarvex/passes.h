// The preparer's passes: pass one compiles the reads of the polygon text, or of a drawing's text, into
// edge records and logs them; pass two fills in each record's size and splitspace mask. And the
// preview that compares what was drawn with what is stored.
#pragma once

#include "checks.h"
#include "collision_file.h"
#include "drawing.h"
#include "picture.h"
#include "polygon_text.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

// What pass one makes.
struct pass_one_result {
    std::vector<uint8_t> records;  // the collision data with zero header words
    std::vector<compiled_polygon> polygons;
    std::vector<drawn_point> points;  // the outlines of polygon text as read
    // where the polygons' outlines are: `points`, or for a drawing its own points, which are not copied
    const std::vector<drawn_point>* outlines = nullptr;
    warning_list warnings;
    refusal refused;  // why the reads were not taken; empty when they were, or the text could not be read
};

inline compiled_view view_of(const pass_one_result& first)
{
    return {first.records, first.polygons, first.outlines ? *first.outlines : first.points};
}

// Pass one on polygon text: logs every read and every edge, and appends the records. On bad input,
// or when the text cannot be read (text.failure says why), it stops and returns false. `watertight`
// stores each sound polygon so that it contains the polygon as drawn.
[[nodiscard]] bool pass_one(polygon_text& text, std::FILE* log, pass_one_result& result, bool watertight = false);

// Pass one on a drawing: its reads are the lines of its polygon text, as drawing_text writes them,
// and its places are those of its shapes.
[[nodiscard]] bool pass_one(const drawing& drawn, std::FILE* log, pass_one_result& result, bool watertight = false);

// The edge from A to B as every run computes it and, without --watertight, stores it.
edge_equation computed_edge(float ax, float ay, float bx, float by);

// Pass two: fills in each record's size and splitspace mask in place and logs them. False, with the
// reason, for a record longer than its size field can describe.
[[nodiscard]] bool pass_two(std::vector<uint8_t>& records, std::FILE* log, refusal& refused);

// A shape as the preview draws it: its outline, closed or open, in the hue of a stored polygon.
struct preview_outline {
    std::span<const drawn_point> points;  // the closing vertex not repeated
    bool closed;
    uint32_t hue;
};

// The preview of the finished collision file against the drawing: the stored polygons as the imager's
// preview draws them, labelled, each drawn outline over them, and each warning's place ringed.
// `beneath` are the shapes that drawn ones were made of, such as the tiles' shapes of a merged region.
picture drawing_preview(std::span<const preview_outline> outlines, std::span<const std::vector<drawn_point>> beneath,
                        std::span<const std::string> labels, const warning_list& warnings,
                        const std::vector<uint8_t>& collision_file);

// The manifest of the finished collision file, as JSON: for each record in order its offset, mask,
// bounds and corners, where the stored lines meet, and the source and custom properties of the shape
// of `drawn` it was compiled from.
std::string manifest_text(const drawing& drawn, const pass_one_result& first, const std::vector<uint8_t>& collision_file);

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
