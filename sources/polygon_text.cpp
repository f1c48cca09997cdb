// The polygon text: reading it by line, working out what each line is, reading it into a drawing,
// and writing a drawing back.
#include "polygon_text.h"

#include "checks.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t MIN_LINE_LENGTH = 2;   // shorter reads are skipped
constexpr size_t BLOCK_SIZE = 1 << 16;  // characters taken from a stream at a time

// a read equals a keyword with any of the terminators that a read can leave
const std::string_view NEWPOLYGON_LINES[] = {"newpolygon\r\n", "newpolygon\n", "newpolygon\r", "newpolygon"};
const std::string_view ENDPOLYGON_LINES[] = {"endpolygon\r\n", "endpolygon\n", "endpolygon\r", "endpolygon"};

// Makes the next character available in the block; false at the end of the text.
bool fill_block(polygon_text& text)
{
    if (text.position < text.block.size()) {
        return true;
    }
    if (!text.file || text.failure.error != input_error::none) {
        return false;
    }
    text.block.resize(BLOCK_SIZE);
    errno = 0;
    size_t got = std::fread(text.block.data(), 1, BLOCK_SIZE, text.file);
    text.block.resize(got);
    text.position = 0;
    text.size += got;
    if (got == 0 && std::ferror(text.file)) {
        text.failure = {input_error::cannot_read, errno != 0 ? errno : EIO, 0};
    } else if (text.size > MAX_INPUT_SIZE) {
        text.failure = {input_error::too_large, 0, 0};
        text.block.clear();
    }
    return got != 0 && text.failure.error == input_error::none;
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

// Where the first character from `at` on that is not a space or a tab stands, or the line's size. A
// plain loop: the general search looks each character up in the set with a call.
size_t skip_blanks(std::string_view line, size_t at)
{
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
        ++at;
    }
    return at;
}

bool is_blank(std::string_view line)
{
    for (char c : line) {
        if (c != ' ' && (c < '\t' || c > '\r')) {
            return false;
        }
    }
    return true;
}

// "850,5,1130": a decimal comma, read as (850, 5) with the rest ignored.
bool starts_like_a_number(std::string_view rest)
{
    size_t at = skip_blanks(rest, 0);
    if (at == rest.size() || rest[at] != ',') {
        return false;
    }
    at = skip_blanks(rest, at + 1);
    return at != rest.size() && std::strchr("0123456789+-.", rest[at]) != nullptr;
}

// A number as the scanner's "%f" reads it, when it is a plain decimal: spaces or tabs, a minus sign,
// digits with at most one point, and an exponent with digits. from_chars rounds it to single exactly as
// the scanner does. Anything else (a plus sign, hexadecimal, inf, a number out of range, other white
// space) is left to the scanner itself.
bool scan_plain_number(std::string_view line, size_t& at, float& value)
{
    at = skip_blanks(line, at);
    size_t start = at;
    size_t end = at + (at < line.size() && line[at] == '-' ? 1 : 0);
    size_t digits = 0;
    bool point = false;
    for (; end < line.size(); ++end) {
        char c = line[end];
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) {
        return false;
    }
    if (end < line.size() && (line[end] == 'e' || line[end] == 'E')) {
        size_t exponent = end + 1 + (end + 1 < line.size() && (line[end + 1] == '-' || line[end + 1] == '+') ? 1 : 0);
        size_t exponent_end = exponent;
        while (exponent_end < line.size() && line[exponent_end] >= '0' && line[exponent_end] <= '9') {
            ++exponent_end;
        }
        if (exponent_end == exponent) {
            return false;
        }
        end = exponent_end;
    }
    if (end < line.size() && (line[end] == 'x' || line[end] == 'X')) {
        return false;  // 0x...: hexadecimal
    }
    auto [stop, error] = std::from_chars(line.data() + start, line.data() + end, value);
    at = end;
    return error == std::errc() && stop == line.data() + end;
}

bool scan_plain_pair(std::string_view line, float& x, float& y, size_t& used)
{
    size_t at = 0;
    if (!scan_plain_number(line, at, x) || at >= line.size() || line[at] != ',') {
        return false;
    }
    ++at;
    if (!scan_plain_number(line, at, y)) {
        return false;
    }
    used = at;
    return true;
}

// A CR with more text after it on the same line: that text would be lost without a word.
bool has_text_after_cr(std::string_view line)
{
    size_t cr = line.find('\r');
    return cr != std::string_view::npos && !is_blank(line.substr(cr));
}

}  // namespace

polygon_text text_from_file(std::FILE* file)
{
    polygon_text text;
    text.file = file;
    return text;
}

polygon_text text_from_memory(std::string_view content)
{
    polygon_text text;
    text.block.assign(content.begin(), content.end());
    text.size = content.size();
    return text;
}

std::string_view read_line(polygon_text& text, std::string& spill, bool& at_end)
{
    spill.clear();
    while (spill.size() < LINE_LIMIT) {
        if (!fill_block(text)) {
            at_end = true;
            break;
        }
        const char* start = text.block.data() + text.position;
        size_t available = std::min(text.block.size() - text.position, LINE_LIMIT - spill.size());
        const char* lf = static_cast<const char*>(std::memchr(start, '\n', available));
        size_t taken = lf ? size_t(lf - start) + 1 : available;
        text.position += taken;
        bool whole = lf || taken == LINE_LIMIT;
        if (spill.empty() && whole) {
            return {start, taken};  // the whole read lies in the block: no copy
        }
        spill.append(start, taken);
        if (lf) {
            break;
        }
    }
    return spill;
}

text_line classify_line(std::string_view line)
{
    text_line result;
    if (line.find('\0') != std::string_view::npos) {
        result.kind = line_kind::bad;
        result.problem = "NUL character in the line";
        return result;
    }
    if (line.size() < MIN_LINE_LENGTH || is_blank(line)) {
        return result;
    }
    size_t first = skip_blanks(line, 0);
    if (line[first] == '#') {
        return result;  // a comment, logged as read like every line
    }
    if (is_one_of(line, NEWPOLYGON_LINES)) {
        result.kind = line_kind::newpolygon;
        return result;
    }
    if (is_one_of(line, ENDPOLYGON_LINES)) {
        result.kind = line_kind::endpolygon;
        return result;
    }

    // a vertex line: both numbers must convert, as the scanner reads them, straight to single
    size_t used = 0;
    if (!scan_plain_pair(line, result.x, result.y, used)) {
        char scanned[LINE_LIMIT + 1];
        std::memcpy(scanned, line.data(), line.size());
        scanned[line.size()] = '\0';
        int scanned_used = 0;
        if (std::sscanf(scanned, "%f,%f%n", &result.x, &result.y, &scanned_used) != 2) {
            result.kind = line_kind::bad;
            result.problem = "expected newpolygon, endpolygon or a vertex x,y";
            return result;
        }
        used = size_t(scanned_used);
    }
    result.kind = line_kind::vertex;
    result.third_number = starts_like_a_number(line.substr(size_t(used)));
    if (!std::isfinite(result.x) || !std::isfinite(result.y)) {
        result.problem = "coordinate is not finite";
    } else if (has_text_after_cr(line)) {
        result.problem = "CR inside the line; lines end in LF or CR LF";
    }
    return result;
}

bool next_read(text_reader& reader, text_read& read)
{
    if (reader.at_end) {
        return false;
    }
    read.line_number = reader.next_line;
    read.line = read_line(reader.text, reader.spill, reader.at_end);
    if (reader.text.failure.error != input_error::none) {
        return false;
    }
    bool line_ends = !read.line.empty() && read.line.back() == '\n';
    reader.next_line += line_ends ? 1 : 0;
    if (reader.in_comment) {
        read.what = {};  // the rest of a long comment
        read.what.kind = read.line.find('\0') == std::string_view::npos ? line_kind::skipped : line_kind::bad;
        read.what.problem = read.what.kind == line_kind::bad ? "NUL character in the line" : nullptr;
    } else {
        read.what = classify_line(read.line);
    }
    size_t first = skip_blanks(read.line, 0);
    bool starts_comment = first < read.line.size() && read.line[first] == '#';
    reader.in_comment = (reader.in_comment || starts_comment) && !line_ends;
    return true;
}

bool read_drawing(polygon_text& text, drawing& drawn, warning_list& warnings, refusal& refused)
{
    text_reader reader{text};
    text_read read;
    uint32_t open_line = 0;  // of the open polygon's newpolygon; 0 outside a polygon
    size_t number = 0;
    auto refuse = [&](uint32_t line, const char* problem, const text_line* vertex = nullptr) {
        std::string detail = open_line != 0 ? "polygon " + std::to_string(number) + ": " : "";
        detail += problem;
        if (vertex) {
            detail += " " + point_text({vertex->x, vertex->y});
        }
        refused = refusal_at({0, line, NO_INDEX}, problem, detail);
        return false;
    };
    while (next_read(reader, read)) {
        const text_line& what = read.what;
        switch (what.kind) {
        case line_kind::skipped:
            break;
        case line_kind::bad:
            return refuse(read.line_number, what.problem);
        case line_kind::newpolygon:
            if (open_line != 0) {
                return refuse(open_line, "newpolygon without endpolygon");
            }
            open_line = read.line_number;
            add_shape(drawn, {.line = open_line});
            break;
        case line_kind::endpolygon:
            if (open_line == 0) {
                return refuse(read.line_number, "endpolygon without newpolygon");
            }
            open_line = 0;
            ++number;
            break;
        case line_kind::vertex:
            if (open_line == 0) {
                return refuse(read.line_number, "vertex outside newpolygon and endpolygon");
            }
            if (what.problem) {
                return refuse(read.line_number, what.problem);
            }
            if (what.third_number) {
                check_vertex(number, {0, read.line_number, NO_INDEX}, {what.x, what.y}, warnings);
            }
            add_vertex(drawn, {what.x, what.y}, read.line_number);
            break;
        }
    }
    if (text.failure.error != input_error::none) {
        return false;
    }
    if (open_line != 0) {
        return refuse(open_line, "newpolygon without endpolygon");
    }
    return true;
}

namespace {

// The shortest text that reads back as the value. A whole number below 100,000 in size is its digits,
// as its exponent form is never shorter, and that is most of what designers write; it is made
// without the general search.
char* shortest_text(char* first, char* last, float value)
{
    if (std::fabs(value) < 100000.0f && value == std::trunc(value) && !(value == 0.0f && std::signbit(value))) {
        return std::to_chars(first, last, int(value)).ptr;
    }
    return std::to_chars(first, last, value).ptr;
}

}  // namespace

void append_vertex_text(std::string& text, drawn_point point)
{
    char digits[32];  // the shortest text of a float has at most 15 characters
    text.append(digits, shortest_text(digits, digits + sizeof digits, point.x)).append(",");
    text.append(digits, shortest_text(digits, digits + sizeof digits, point.y));
}

std::string drawing_text(const drawing& drawn)
{
    std::string text;
    for (const drawn_shape& shape : drawn.shapes) {
        text += "newpolygon\r\n";
        for (const drawn_point& point : points_of(drawn, shape)) {
            append_vertex_text(text, point);
            text += "\r\n";
        }
        text += "endpolygon\r\n";
    }
    return text;
}
