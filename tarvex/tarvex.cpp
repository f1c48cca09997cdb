// The preparer's entry: the command line, the files, the two passes in order, and what the user is
// told: the log on one stream, warnings and reasons for people on the other.
#include "tarvex.h"

#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>

namespace {

const char* const USAGE = "Usage: tarvex.exe inputname outputname\r\n";
const char* const HELP = "Usage: tarvex.exe [--strict] [--watertight] [--fix] [--text FILE] [--preview PICTURE]\r\n"
                         "                  [--layer NAME] [--scale F] [--offset X,Y] inputname outputname\r\n"
                         "Prepares a collision file from a text list of convex polygons.\r\n"
                         "\r\n"
                         "Options:\r\n"
                         "  --strict      treat warnings as errors: write nothing when there is one\r\n"
                         "  --watertight  store every polygon so that it contains the polygon as drawn,\r\n"
                         "                so polygons that share an edge leave no crack between them\r\n"
                         "  --fix         mend each polygon first: close it, wind it the filled way, drop\r\n"
                         "                repeated and straight vertices, split a concave one into convex\r\n"
                         "                pieces; implies --watertight\r\n"
                         "  --text FILE   also write the polygon text that was compiled, mended or not\r\n"
                         "  --layer NAME  read only this layer of a map (again for more; group/layer)\r\n"
                         "  --scale F, --offset X,Y\r\n"
                         "                map the editor's pixels, or the text's units, onto the world\r\n"
                         "  --preview PICTURE\r\n"
                         "                also draw what is stored against what was drawn, as PNG if\r\n"
                         "                PICTURE ends in .png, else TGA\r\n"
                         "  -h, --help    show this text\r\n"
                         "  --version     show the version\r\n"
                         "  --            end the options, for a name that starts with '-'\r\n"
                         "\r\n"
                         "The log goes to standard output, warnings to standard error. README.md describes\r\n"
                         "the polygon text, the collision file, every message and the exit statuses.\r\n";

// What the options ask of a run.
struct run_options {
    bool strict = false;
    bool watertight = false;
    bool fix = false;
    map_settings map;    // the layers to read, and the scale and offset onto the world
    bool moved = false;  // --scale or --offset was given
    const char* preview = nullptr;  // the picture of drawn against stored, when asked for
    const char* text = nullptr;     // the polygon text compiled, when asked for
};

// ":12" for line 12; nothing where a file gives no lines.
std::string line_suffix(size_t line)
{
    std::string suffix;
    if (line != 0) {
        suffix.append(":").append(std::to_string(line));
    }
    return suffix;
}

// 11034211 as "11,034,211".
std::string with_thousands(size_t count)
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

// Warnings in the form that compilers use, so that editors can jump to the line, in the order of the
// lines; a kind shown its most times ends with how many more there are, and a count ends them all.
void report_warnings(std::FILE* errors, const char* input_name, warning_list& warnings)
{
    std::stable_sort(warnings.shown.begin(), warnings.shown.end(),
                     [](const warning& a, const warning& b) { return a.line < b.line; });
    size_t last_line[size_t(warning_kind::count)] = {};
    for (const warning& found : warnings.shown) {
        std::fprintf(errors, "%s%s: warning: %s\r\n", input_name, line_suffix(found.line).c_str(), found.text.c_str());
        last_line[size_t(found.kind)] = found.line;
    }
    for (size_t kind = 0; kind < size_t(warning_kind::count); ++kind) {
        if (warnings.found[kind] > WARNINGS_SHOWN_PER_KIND) {
            std::string more = with_thousands(warnings.found[kind] - WARNINGS_SHOWN_PER_KIND);
            std::fprintf(errors, "%s: ... and %s more like line %zu\r\n", input_name, more.c_str(), last_line[kind]);
        }
    }
    size_t cracks = warnings.found[size_t(warning_kind::crack)];
    if (cracks != 0) {
        std::fprintf(errors, "%s: %zu warning%s, %zu of them crack%s losing %s points\r\n", input_name,
                     warnings.total, warnings.total == 1 ? "" : "s", cracks, cracks == 1 ? "" : "s",
                     with_thousands(warnings.points_in_cracks).c_str());
    } else if (warnings.total != 0) {
        std::fprintf(errors, "%s: %zu warning%s\r\n", input_name, warnings.total, warnings.total == 1 ? "" : "s");
    }
}

// Stops a run: the log's last line says why, and so does standard error, in the compilers' form
// where the reason has an input line.
int refuse(std::FILE* log, std::FILE* errors, const char* input_name, const std::string& reason, size_t line = 0,
           const std::string& detail = {})
{
    if (detail.empty()) {
        return report_failure("tarvex", log, errors, reason);
    }
    std::fprintf(log, "%s\r\n", reason.c_str());
    std::fprintf(errors, "%s%s: error: %s\r\n", input_name, line_suffix(line).c_str(), detail.c_str());
    return FAILED;
}

// The input line of each line of the compiled text; the input itself maps to itself.
size_t input_line(std::span<const size_t> lines, size_t line)
{
    return line < lines.size() ? lines[line] : line;
}

// The text that pass one compiles instead of the input: made from a map, or from the input moved onto
// the world. False when the run must stop, with the reason in `first`.
bool make_text(const char* input_name, std::FILE* input, const run_options& options, std::FILE* errors,
               pass_one_result& first, made_text& made, input_result& failure)
{
    if (names_map(input_name)) {
        std::vector<uint8_t> bytes;
        failure = read_stream(input, bytes, MAX_INPUT_SIZE);
        if (failure.error != input_error::none) {
            return false;
        }
        std::string error;
        size_t error_line = 0;
        tiled_map map = parse_map(input_name, std::string(bytes.begin(), bytes.end()), error, error_line);
        map_result shapes;
        if (error.empty()) {
            shapes = map_polygons(map, options.map);
            error = shapes.error;
            error_line = shapes.error_line;
        }
        std::stable_sort(shapes.notes.begin(), shapes.notes.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, text] : shapes.notes) {
            std::fprintf(errors, "%s%s: note: %s\r\n", input_name, line_suffix(line).c_str(), text.c_str());
        }
        if (!error.empty()) {
            first.error = std::string(input_name) + line_suffix(error_line) + ": " + error + ".";
            first.error_line = error_line;
            first.error_detail = error;
            return false;
        }
        made = text_of_map(shapes.polygons);
        return true;
    }
    polygon_text text = text_from_file(input);
    pass_one_result drawn;
    if (!read_shapes(text, drawn)) {
        failure = text.failure;
        first = std::move(drawn);
        return false;
    }
    made = text_of_shapes(drawn.shapes, options.map);
    first.warnings = std::move(drawn.warnings);  // about the text as read
    return true;
}

// Carries a refusal's words from one step of the reading to another.
template <typename Step>
void take_refusal(pass_one_result& to, const Step& step)
{
    to.error = step.error;
    to.error_line = step.error_line;
    to.error_detail = step.error_detail;
}

// Reads the polygons as drawn and mends them into `mended`; false, with the refusal in `drawn`, when
// the text's structure is wrong or a polygon cannot be mended. Read from the input itself, the
// polygons and their warnings go to `drawn`, as the warnings are about the text as read.
bool mend_text(polygon_text& text, bool from_memory, pass_one_result& drawn, mended_drawing& mended)
{
    pass_one_result shapes;
    bool read = read_shapes(text, shapes);
    if (!from_memory) {
        drawn = std::move(shapes);
    } else if (!read) {
        take_refusal(drawn, shapes);
    }
    if (read && !mend_shapes(from_memory ? shapes.shapes : drawn.shapes, mended)) {
        take_refusal(drawn, mended);
        return false;
    }
    return read;
}

// Pass one on the input, mended, made from a map or moved, as the options say; false when the run
// must stop, with the reason logged and told. Warnings and errors name the input's own lines.
bool read_polygons(const char* input_name, std::FILE* input, const run_options& options, std::FILE* log,
                   std::FILE* errors, pass_one_result& first, std::string& compiled)
{
    input_result failure;
    bool accepted = true;
    made_text made;
    bool from_memory = options.moved || names_map(input_name);
    mended_drawing mended;
    pass_one_result drawn;  // the steps before pass one: their warnings, and a refusal
    try {
        if (from_memory) {
            accepted = make_text(input_name, input, options, errors, drawn, made, failure);
        }
        polygon_text text = from_memory ? text_from_memory(made.text) : text_from_file(input);
        if (accepted && options.fix) {
            accepted = mend_text(text, from_memory, drawn, mended);
            if (accepted) {
                polygon_text mended_text = text_from_memory(mended.text);
                accepted = pass_one(mended_text, log, first, true);
                compiled = mended.text;
            }
        } else if (accepted) {
            accepted = pass_one(text, log, first, options.watertight);
            compiled = from_memory ? made.text : "";
        }
        failure = failure.error != input_error::none ? failure : text.failure;
        if (!accepted && first.error.empty()) {
            take_refusal(first, drawn);
        }
    } catch (const std::bad_alloc&) {
        failure = {input_error::cannot_read, ENOMEM, 0};
    }

    // back to the input's own lines, through the mending and the making of the text
    auto to_input = [&](size_t line) {
        line = options.fix ? input_line(mended.lines, line) : line;
        return from_memory ? input_line(made.lines, line) : line;
    };
    auto source_of = [&](size_t line) {
        line = options.fix ? input_line(mended.lines, line) : line;
        return from_memory && line < made.sources.size() ? made.sources[line] : std::string();
    };
    for (warning& found : first.warnings.shown) {
        std::string source = source_of(found.line);
        found.text = source.empty() ? found.text : source + ": " + found.text;
        found.line = to_input(found.line);
    }
    if (!first.error.empty() && first.error_line != 0 && first.error.starts_with("Line ")) {
        std::string source = source_of(first.error_line);
        first.error_detail = source.empty() ? first.error_detail : source + ": " + first.error_detail;
        first.error_line = to_input(first.error_line);
    }
    for (const warning& found : drawn.warnings.shown) {
        add_warning(first.warnings, found.kind, found.line, found.text, found.place);
    }
    std::stable_sort(mended.notes.begin(), mended.notes.end(),
                     [](const mending_note& a, const mending_note& b) { return a.line < b.line; });
    for (const mending_note& note : mended.notes) {
        // a note stands at a line of the text that was mended
        size_t line = from_memory ? input_line(made.lines, note.line) : note.line;
        std::string source = from_memory && note.line < made.sources.size() ? made.sources[note.line] : "";
        std::fprintf(errors, "%s%s: note: %s%s\r\n", input_name, line_suffix(line).c_str(),
                     source.empty() ? "" : (source + ": ").c_str(), note.text.c_str());
    }
    if (failure.error != input_error::none) {
        refuse(log, errors, input_name, input_failure_text(input_name, failure));
        return false;
    }
    if (!accepted) {
        refuse(log, errors, input_name, first.error, first.error_line, first.error_detail);
    }
    return accepted;
}

// The polygon text that was compiled, in CR LF lines: each polygon's vertices as read, the closing
// vertex repeated. Compiled again, it gives the same collision file.
std::string text_of(const pass_one_result& first)
{
    std::string text;
    for (const drawn_polygon& polygon : first.polygons) {
        text += "newpolygon\r\n";
        size_t count = polygon.count + (polygon.sound ? 1 : 0);
        for (size_t i = 0; i < count; ++i) {
            const drawn_point& point = first.points[polygon.first + i % polygon.count];
            text.append(number_text(point.x)).append(",").append(number_text(point.y)).append("\r\n");
        }
        text += "endpolygon\r\n";
    }
    return text;
}

// The whole run on one input, once the command line is read: the files checked and opened, the two
// passes, the outputs written, and every failure told. Returns the exit status.
int prepare(const char* input_name, const char* output_name, const run_options& options, std::FILE* log,
            std::FILE* errors)
{
    for (const char* written : {output_name, options.preview, options.text}) {
        if (written && same_file(input_name, written)) {
            return refuse(log, errors, input_name, std::string("Couldn't write ") + written + ": it is the input file.");
        }
    }
    for (const char* written : {options.preview, options.text}) {
        if (written && same_file(output_name, written)) {
            return refuse(log, errors, input_name,
                          std::string("Couldn't write ") + written + ": it is the collision file.");
        }
    }
    input_result opened;
    std::FILE* input = open_tool_input(input_name, opened);
    if (opened.error == input_error::cannot_open) {
        std::fputs("Couldn't open.\r\n", log);
        std::fprintf(errors, "tarvex: can't open %s: %s\r\n", input_name, std::strerror(opened.reason));
        return NOT_OPENED;
    }
    if (!input) {
        return refuse(log, errors, input_name, input_failure_text(input_name, opened));
    }
    pass_one_result first;
    std::string compiled;
    bool accepted = read_polygons(input_name, input, options, log, errors, first, compiled);
    std::fclose(input);
    if (accepted) {
        find_cracks(first);
    }
    report_warnings(errors, input_name, first.warnings);  // they may explain a refusal, too
    if (!accepted) {
        return FAILED;
    }
    std::fputs("Start of second pass.\r\n", log);

    std::string error;
    if (!pass_two(first.records, log, error)) {
        return refuse(log, errors, input_name, error);
    }
    if (options.strict && first.warnings.total != 0) {
        size_t count = first.warnings.total;
        return refuse(log, errors, input_name,
                      "Nothing written: " + std::to_string(count) + " warning" + (count == 1 ? "" : "s") +
                          " under --strict.");
    }

    // an existing output file is replaced only by a complete one
    std::fputs("About to write.\r\n", log);
    int write_error = 0;
    if (!write_output_file(output_name, first.records.data(), first.records.size(), write_error)) {
        return refuse(log, errors, input_name, output_failure_text(output_name, write_error));
    }
    if (options.text) {
        std::string text = compiled.empty() ? text_of(first) : compiled;
        if (!write_output_file(options.text, text.data(), text.size(), write_error)) {
            return refuse(log, errors, input_name, output_failure_text(options.text, write_error));
        }
    }
    if (options.preview && !write_drawing_preview(options.preview, first, first.records, write_error)) {
        return refuse(log, errors, input_name, output_failure_text(options.preview, write_error));
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}

// --scale F and --offset X,Y; false, with the reason told, when either is not a number.
bool read_placement(const command_line& command, run_options& options, std::FILE* errors)
{
    std::string scale(option_value(command, "--scale"));
    std::string offset(option_value(command, "--offset"));
    char* end = nullptr;
    if (!scale.empty()) {
        options.map.scale = std::strtod(scale.c_str(), &end);
        if (*end != '\0' || !std::isfinite(options.map.scale) || options.map.scale <= 0.0) {
            std::fprintf(errors, "tarvex: --scale takes a positive number, not %s\r\n", scale.c_str());
            return false;
        }
    }
    if (!offset.empty()) {
        options.map.offset_x = std::strtod(offset.c_str(), &end);
        bool read = *end == ',';
        options.map.offset_y = read ? std::strtod(end + 1, &end) : 0.0;
        if (!read || *end != '\0' || !std::isfinite(options.map.offset_x) || !std::isfinite(options.map.offset_y)) {
            std::fprintf(errors, "tarvex: --offset takes two numbers X,Y, not %s\r\n", offset.c_str());
            return false;
        }
    }
    options.moved = !scale.empty() || !offset.empty();
    return true;
}

}  // namespace

int run_tarvex(int argc, char** argv, std::FILE* log, std::FILE* errors)
{
    static const std::string_view OPTIONS[] = {"--strict",   "--watertight", "--fix",    "--preview=",
                                               "--text=",    "--layer=",     "--scale=", "--offset="};
    command_line command = read_command_line(argc, argv, {"tarvex", USAGE, HELP, OPTIONS, 2});
    if (command.answer) {
        return answer_command(*command.answer, log, errors);
    }
    run_options options;
    options.strict = has_option(command, "--strict");
    options.watertight = has_option(command, "--watertight");
    options.fix = has_option(command, "--fix");
    options.watertight = options.watertight || options.fix;  // pieces of one polygon must not crack apart
    std::string preview(option_value(command, "--preview"));
    options.preview = preview.empty() ? nullptr : preview.c_str();
    std::string text(option_value(command, "--text"));
    options.text = text.empty() ? nullptr : text.c_str();
    for (const given_option& given : command.options) {
        if (given.name == "--layer") {
            options.map.layers.emplace_back(given.value);
        }
    }
    if (!read_placement(command, options, errors)) {
        std::fputs(USAGE, log);
        return USAGE_ERROR;
    }
    try {
        return prepare(command.names[0], command.names[1], options, log, errors);
    } catch (const std::bad_alloc&) {
        return refuse(log, errors, command.names[0], "Out of memory.");
    }
}
