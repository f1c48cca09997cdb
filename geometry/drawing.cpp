// The drawing's sources in words, the places and refusals that name them, and the warnings' counts.
#include "drawing.h"

#include <algorithm>
#include <cassert>
#include <charconv>

void add_shape(drawing& drawn, const shape_source& source)
{
    drawn.shapes.push_back({uint32_t(drawn.points.size()), 0, uint32_t(drawn.sources.size())});
    drawn.sources.push_back(source);
}

void add_vertex(drawing& drawn, drawn_point point, uint32_t line)
{
    drawn.points.push_back(point);
    drawn.lines.push_back(line);
    ++drawn.shapes.back().count;
}

void add_vertex(drawing& drawn, drawn_point point)
{
    assert(drawn.lines.empty() && "a drawing's vertices have lines of their own, or none has");
    drawn.points.push_back(point);
    ++drawn.shapes.back().count;
}

drawing empty_like(const drawing& drawn)
{
    drawing empty;
    empty.files = drawn.files;
    empty.from_text = drawn.from_text;
    empty.names = drawn.names;
    empty.tile_shapes = drawn.tile_shapes;
    empty.properties = drawn.properties;
    empty.merged_layers = drawn.merged_layers;
    return empty;
}

void merge_properties(std::vector<property>& into, const std::vector<property>& over)
{
    for (const property& given : over) {
        auto same = std::find_if(into.begin(), into.end(), [&](const property& had) { return had.name == given.name; });
        if (same != into.end()) {
            *same = given;
        } else {
            into.push_back(given);
        }
    }
}

place place_of(const drawing& drawn, uint32_t source)
{
    const shape_source& from = drawn.sources[source];
    return {from.file, from.line, source};
}

namespace {

std::string quoted_name(const drawing& drawn, uint32_t name)
{
    std::string quoted = "\"";
    quoted.append(printable(drawn.names[name])).append("\"");
    return quoted;
}

// The length of the UTF-8 sequence that starts the text, or 0 when it is not one.
size_t utf8_length(std::string_view text)
{
    auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
    auto continues = [&](size_t i) { return (byte(i) & 0xC0u) == 0x80u; };
    unsigned lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF) {
        return continues(1) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        bool overlong = lead == 0xE0 && byte(1) < 0xA0;
        bool surrogate = lead == 0xED && byte(1) >= 0xA0;
        return continues(1) && continues(2) && !overlong && !surrogate ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        bool overlong = lead == 0xF0 && byte(1) < 0x90;
        bool beyond = lead == 0xF4 && byte(1) >= 0x90;
        return continues(1) && continues(2) && continues(3) && !overlong && !beyond ? 4 : 0;
    }
    return 0;
}

}  // namespace

std::string source_words(const drawing& drawn, uint32_t source)
{
    const shape_source& from = drawn.sources[source];
    std::string words;
    if (from.traced) {
        words.append("outline from pixel (").append(std::to_string(from.cell_x)).append(",");
        words.append(std::to_string(from.cell_y)).append(")");
    } else if (from.layer == NO_INDEX) {
        return words;  // polygon text says its place by its line alone
    } else if (from.merged) {
        words.append("tiles");
        if (from.kind != NO_INDEX) {
            words.append(" of class ").append(quoted_name(drawn, from.kind));
        }
    } else if (from.object != NO_OBJECT) {
        words.append("object ").append(std::to_string(from.object));
        if (from.name != NO_INDEX) {
            words.append(" ").append(quoted_name(drawn, from.name));
        }
    } else {
        words.append("tile ").append(std::to_string(from.tile)).append(" at (");
        words.append(std::to_string(from.cell_x)).append(",").append(std::to_string(from.cell_y)).append(")");
    }
    if (from.layer != NO_INDEX) {
        words.append(" (layer ").append(quoted_name(drawn, from.layer)).append(")");
    }
    if (from.pieces > 1) {
        words.append(", piece ").append(std::to_string(from.piece));
        words.append(" of ").append(std::to_string(from.pieces));
    }
    return words;
}

std::string printable(std::string_view text)
{
    static const char HEX[] = "0123456789abcdef";
    std::string shown;
    for (size_t at = 0; at < text.size();) {
        auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x20 && c < 0x7F) {
            shown += char(c);
            ++at;
            continue;
        }
        size_t length = c >= 0x80 ? utf8_length(text.substr(at)) : 0;
        if (length != 0) {
            shown.append(text.substr(at, length));
            at += length;
        } else if (c == '\n') {
            shown += "\\n";
            ++at;
        } else if (c == '\t') {
            shown += "\\t";
            ++at;
        } else if (c == '\r') {
            shown += "\\r";
            ++at;
        } else {
            shown.append("\\x").append(1, HEX[c >> 4]).append(1, HEX[c & 15]);
            ++at;
        }
    }
    return shown;
}

refusal refusal_at(place where, std::string problem, std::string detail)
{
    if (detail.empty()) {
        detail = problem;
    }
    return {true, where, std::move(problem), std::move(detail)};
}

refusal refusal_without_place(std::string sentence)
{
    return {false, {}, std::move(sentence), {}};
}

void add_warning(warning_list& warnings, warning_kind kind, place where, std::string text, drawn_point mark)
{
    if (warnings.found[size_t(kind)]++ < WARNINGS_SHOWN_PER_KIND) {
        warnings.shown.push_back({where, std::move(text), kind, mark});
    }
    ++warnings.total;
}

std::string with_thousands(uint64_t count)
{
    std::string digits = std::to_string(count);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            text += ',';
        }
        text += digits[i];
    }
    return text;
}

std::string number_text(float value)
{
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string("?");
}

std::string point_text(drawn_point point)
{
    std::string text = "(";
    text.append(number_text(point.x)).append(",").append(number_text(point.y)).append(")");
    return text;
}
