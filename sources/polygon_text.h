// Polygon text: reading it line by line as the log echoes it, reading it into a drawing, and the one
// writer that turns a drawing back into text.
#pragma once

#include "drawing.h"
#include "file_io.h"

#include <cstdint>
#include <cstdio>
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

// The text read by line, as pass one echoes it: each read with what it is and the line it stands on.
// A comment is its whole line, however many reads it takes.
struct text_reader {
    polygon_text& text;
    std::string spill = {};
    uint32_t next_line = 1;  // where the next read starts; the pieces of a long line share it
    bool in_comment = false;
    bool at_end = false;
};

struct text_read {
    std::string_view line;  // as read, its terminator included
    text_line what;
    uint32_t line_number;
};

// The next read; false after the last one, or where the text cannot be read (text.failure says why).
bool next_read(text_reader& reader, text_read& read);

// Reads the whole text into `drawn`, each polygon as listed, as a shape whose source is its
// newpolygon line in file 0. The structure is checked as pass one checks it, but equal consecutive
// vertices are kept for mending to drop. False, with the refusal, at the first line that breaks the
// structure, or where the text cannot be read (text.failure says why, and `refused` stays empty).
[[nodiscard]] bool read_drawing(polygon_text& text, drawing& drawn, warning_list& warnings, refusal& refused);

// A vertex's line as the writer makes it, "x,y" in the shortest numbers that read back the same.
void append_vertex_text(std::string& text, drawn_point point);

// The drawing as polygon text in CR LF lines, each shape as it stands. Read back, it gives the same
// shapes, to the bit.
std::string drawing_text(const drawing& drawn);
