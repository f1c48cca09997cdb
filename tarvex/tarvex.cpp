// The preparer's entry: the command line, the files, the two passes in order, and what the user is
// told: the log on one stream, warnings and reasons for people on the other.
#include "tarvex.h"

#include "command_line.h"
#include "map_model.h"
#include "mending.h"
#include "passes.h"
#include "picture.h"
#include "polygon_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
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

// "level.tmx:63" of a place, as compilers name one.
std::string place_text(const drawing& drawn, const place& where)
{
    return drawn.files[where.file] + line_suffix(where.line);
}

// The words of the place's shape, ready to stand before what is said of it.
std::string words_before(const drawing& drawn, const place& where)
{
    std::string words = where.source != NO_INDEX ? source_words(drawn, where.source) : std::string();
    return words.empty() ? words : words + ": ";
}

// Notes in the compilers' form, in the order of their files and lines.
void report_notes(std::FILE* errors, const drawing& drawn, std::vector<note>& notes)
{
    std::stable_sort(notes.begin(), notes.end(), [](const note& a, const note& b) {
        return a.where.file != b.where.file ? a.where.file < b.where.file : a.where.line < b.where.line;
    });
    for (const note& said : notes) {
        std::fprintf(errors, "%s: note: %s%s\r\n", place_text(drawn, said.where).c_str(),
                     words_before(drawn, said.where).c_str(), said.text.c_str());
    }
    notes.clear();
}

// Warnings in the form that compilers use, so that editors can jump to the line, in the order of the
// lines; a kind shown its most times ends with how many more there are, and a count ends them all.
void report_warnings(std::FILE* errors, const drawing& drawn, warning_list& warnings)
{
    const char* input_name = drawn.files[0].c_str();
    std::stable_sort(warnings.shown.begin(), warnings.shown.end(), [](const warning& a, const warning& b) {
        return a.where.file != b.where.file ? a.where.file < b.where.file : a.where.line < b.where.line;
    });
    size_t last_line[size_t(warning_kind::count)] = {};
    for (const warning& found : warnings.shown) {
        std::fprintf(errors, "%s: warning: %s%s\r\n", place_text(drawn, found.where).c_str(),
                     words_before(drawn, found.where).c_str(), found.text.c_str());
        last_line[size_t(found.kind)] = found.where.line;
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
// where the reason has a place. A line of polygon text is "Line N" in the log, as every read there
// counts lines; any other place is named by its file.
int refuse(std::FILE* log, std::FILE* errors, const drawing& drawn, const refusal& refused)
{
    if (!refused.has_place) {
        return report_failure("tarvex", log, errors, refused.problem);
    }
    const place& where = refused.where;
    if (drawn.from_text && where.file == 0 && where.line != 0) {
        std::fprintf(log, "Line %u: %s.\r\n", where.line, refused.problem.c_str());
    } else {
        std::fprintf(log, "%s: %s.\r\n", place_text(drawn, where).c_str(), refused.problem.c_str());
    }
    std::fprintf(errors, "%s: error: %s%s\r\n", place_text(drawn, where).c_str(), words_before(drawn, where).c_str(),
                 refused.detail.c_str());
    return FAILED;
}

int refuse(std::FILE* log, std::FILE* errors, const drawing& drawn, const std::string& sentence)
{
    return refuse(log, errors, drawn, refusal_without_place(sentence));
}

// One run of the preparer: its files, what it has read, and what it has to say.
struct run_state {
    const run_options& options;
    std::FILE* input;
    std::FILE* log;
    std::FILE* errors;
    drawing drawn = {};   // the input's files, and its shapes where a step needs them
    drawing mended = {};  // with --fix: what is compiled, every source of `drawn` kept at its index
    std::vector<note> notes = {};          // from reading a map
    std::vector<note> mending_notes = {};  // told after those of the reading
    warning_list reading_warnings = {};  // about the text as read, when it is read into a drawing
    pass_one_result first = {};
    refusal refused = {};
    input_result failure = {};
};

// Whether the run reads its input into a drawing before compiling it: a map always; polygon text when
// it is moved or mended, and otherwise it is compiled as it streams in.
bool reads_a_drawing(const run_state& run)
{
    return !run.drawn.from_text || run.options.moved || run.options.fix;
}

// Reads the input into a drawing. False, with the reason in the run, when it cannot be read.
bool read_input_drawing(run_state& run)
{
    if (!run.drawn.from_text) {
        std::vector<uint8_t> bytes;
        run.failure = read_stream(run.input, bytes, MAX_INPUT_SIZE);
        if (run.failure.error != input_error::none) {
            return false;
        }
        tiled_map map;
        return parse_map(std::string(bytes.begin(), bytes.end()), run.drawn.files, map, run.refused) &&
               map_drawing(map, run.options.map, run.drawn, run.notes, run.refused);
    }
    polygon_text text = text_from_file(run.input);
    bool read = read_drawing(text, run.drawn, run.reading_warnings, run.refused);
    run.failure = text.failure;
    if (read && run.options.moved) {
        const map_settings& moved = run.options.map;
        for (drawn_point& point : run.drawn.points) {
            point = {float(double(point.x) * moved.scale + moved.offset_x),
                     float(double(point.y) * moved.scale + moved.offset_y)};
        }
    }
    return read;
}

// The drawing that pass one compiles, if the run has one.
const drawing& compiled_drawing(const run_state& run)
{
    return run.options.fix ? run.mended : run.drawn;
}

// Mends the drawing as the options say and compiles it, or compiles the text as it streams in: false
// when the run must stop, with the reason in the run.
bool compile_polygons(run_state& run)
{
    bool accepted = false;
    if (!reads_a_drawing(run)) {
        polygon_text text = text_from_file(run.input);
        accepted = pass_one(text, run.log, run.first, run.options.watertight);
        run.failure = text.failure;
    } else if (run.options.fix && !mend_drawing(run.drawn, run.mended, run.mending_notes, run.refused)) {
        return false;
    } else {
        accepted = pass_one(compiled_drawing(run), run.log, run.first, run.options.watertight);
    }
    run.refused = run.first.refused;
    for (const warning& found : run.reading_warnings.shown) {
        add_warning(run.first.warnings, found.kind, found.where, found.text, found.mark);
    }
    return accepted;
}

// The polygon text that was compiled, in CR LF lines: the drawing's, or each polygon of the text as
// read, the closing vertex repeated. Compiled again, it gives the same collision file.
std::string compiled_text(const run_state& run)
{
    if (reads_a_drawing(run)) {
        return drawing_text(compiled_drawing(run));
    }
    drawing as_read;
    for (const compiled_polygon& polygon : run.first.polygons) {
        add_shape(as_read, {});
        size_t count = polygon.count + (polygon.sound ? 1 : 0);
        for (size_t i = 0; i < count; ++i) {
            add_vertex(as_read, view_of(run.first).points[polygon.first + i % polygon.count], 0);
        }
    }
    return drawing_text(as_read);
}

// The outlines the preview lays over what is stored: the designer's own drawing, before any mending,
// each in the hue of the first polygon stored for it; without mending, each compiled polygon's.
std::vector<preview_outline> drawn_outlines(const run_state& run)
{
    std::vector<preview_outline> outlines;
    const pass_one_result& first = run.first;
    if (!run.options.fix) {
        std::span<const drawn_point> points = view_of(first).points;
        for (size_t k = 0; k < first.polygons.size(); ++k) {
            const compiled_polygon& polygon = first.polygons[k];
            outlines.push_back({points.subspan(polygon.first, polygon.count), polygon.sound, uint32_t(k)});
        }
        return outlines;
    }
    // the first stored polygon of each drawn shape, whose source is the shape's own or its piece's
    std::vector<uint32_t> stored(run.drawn.sources.size(), NO_INDEX);
    for (size_t k = first.polygons.size(); k-- > 0;) {
        uint32_t source = first.polygons[k].where.source;
        uint32_t origin = run.mended.sources[source].origin;
        stored[origin != NO_INDEX ? origin : source] = uint32_t(k);
    }
    for (const drawn_shape& shape : run.drawn.shapes) {
        std::span<const drawn_point> points = points_of(run.drawn, shape);
        bool closed = points.size() >= 2 && points.front().x == points.back().x && points.front().y == points.back().y;
        outlines.push_back({closed ? points.first(points.size() - 1) : points, closed, stored[shape.source]});
    }
    return outlines;
}

// The labels of the stored polygons in the preview: each one's number and its drawing's line.
std::vector<std::string> preview_labels(const pass_one_result& first)
{
    std::vector<std::string> labels;
    for (size_t k = 0; k < first.polygons.size(); ++k) {
        labels.push_back(std::to_string(k) + " (l." + std::to_string(first.polygons[k].where.line) + ")");
    }
    return labels;
}

// The run's outputs, each opened when the run starts, so that a refusal comes before any work, and
// each abandoning itself unless it is finished.
struct run_outputs {
    output_file collision;
    output_file text;
    output_file preview;
};

// Refuses outputs that name the input, each other, or, once the input is read, a file the run reads:
// by any spelling or link, whether they exist yet or not. The reason, or empty.
std::string output_conflict(const char* output_name, const run_options& options, std::span<const std::string> reads)
{
    const char* const written[] = {output_name, options.text, options.preview};
    const char* const what[] = {"the collision file", "the text file", "the preview"};
    for (size_t i = 0; i < std::size(written); ++i) {
        if (!written[i]) {
            continue;
        }
        for (size_t j = 0; j < i; ++j) {
            if (written[j] && same_destination(written[i], written[j])) {
                return std::string("Couldn't write ") + written[i] + ": it is " + what[j] + ".";
            }
        }
        for (size_t read = 0; read < reads.size(); ++read) {
            bool input = read == 0;
            if (input ? same_file(reads[read].c_str(), written[i])
                      : same_destination(reads[read].c_str(), written[i])) {
                return std::string("Couldn't write ") + written[i] + (input ? ": it is the input file." : ": the run reads it.");
            }
        }
    }
    return {};
}

bool open_outputs(const char* output_name, const run_options& options, run_outputs& outputs, std::string& reason)
{
    const std::pair<const char*, output_file*> wanted[] = {
        {output_name, &outputs.collision}, {options.text, &outputs.text}, {options.preview, &outputs.preview}};
    for (const auto& [name, out] : wanted) {
        if (name && !open_output(name, *out)) {
            reason = output_failure_text(name, out->error);
            return false;
        }
    }
    return true;
}

bool finish(output_file& out, const void* data, size_t size)
{
    return write_output(out, data, size) && finish_output(out);
}

// The whole run on one input, once the command line is read: the files checked and opened, the two
// passes, the outputs written, and every failure told. Returns the exit status.
int prepare(const char* input_name, const char* output_name, const run_options& options, std::FILE* log,
            std::FILE* errors)
{
    drawing named;  // the input's name, for messages before a drawing is read
    named.files.assign(1, input_name);
    std::string conflict = output_conflict(output_name, options, named.files);
    if (!conflict.empty()) {
        return refuse(log, errors, named, conflict);
    }
    input_result opened;
    std::FILE* input = open_tool_input(input_name, opened);
    if (opened.error == input_error::cannot_open) {
        std::fputs("Couldn't open.\r\n", log);
        std::fprintf(errors, "tarvex: can't open %s: %s\r\n", input_name, std::strerror(opened.reason));
        return NOT_OPENED;
    }
    if (!input) {
        return refuse(log, errors, named, input_failure_text(input_name, opened));
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closing(input, std::fclose);
    run_outputs outputs;
    if (!open_outputs(output_name, options, outputs, conflict)) {
        return refuse(log, errors, named, conflict);
    }

    run_state run{options, input, log, errors};
    run.drawn.files.assign(1, input_name);
    run.drawn.from_text = !names_map(input_name);
    bool accepted = !reads_a_drawing(run) || read_input_drawing(run);
    conflict = accepted ? output_conflict(output_name, options, run.drawn.files) : "";
    if (!conflict.empty()) {
        return refuse(log, errors, run.drawn, conflict);
    }
    accepted = accepted && compile_polygons(run);
    // every source of the drawing as read stands at its index in the mended one too
    const drawing& places = options.fix && !run.mended.files.empty() ? run.mended : run.drawn;
    report_notes(errors, places, run.notes);
    report_notes(errors, places, run.mending_notes);
    if (run.failure.error != input_error::none) {
        return refuse(log, errors, places, input_failure_text(input_name, run.failure));
    }
    if (!accepted) {
        refuse(log, errors, places, run.refused);
        report_warnings(errors, places, run.first.warnings);  // they may explain the refusal
        return FAILED;
    }
    find_cracks(view_of(run.first), run.first.warnings);
    report_warnings(errors, places, run.first.warnings);
    std::fputs("Start of second pass.\r\n", log);

    refusal refused;
    if (!pass_two(run.first.records, log, refused)) {
        return refuse(log, errors, places, refused);
    }
    if (options.strict && run.first.warnings.total != 0) {
        size_t count = run.first.warnings.total;
        return refuse(log, errors, places,
                      "Nothing written: " + std::to_string(count) + " warning" + (count == 1 ? "" : "s") +
                          " under --strict.");
    }

    // an existing output file is replaced only by a complete one
    std::fputs("About to write.\r\n", log);
    const std::vector<uint8_t>& records = run.first.records;
    if (!finish(outputs.collision, records.data(), records.size())) {
        return refuse(log, errors, places, output_failure_text(output_name, outputs.collision.error));
    }
    if (options.text) {
        std::string text = compiled_text(run);
        if (!finish(outputs.text, text.data(), text.size())) {
            return refuse(log, errors, places, output_failure_text(options.text, outputs.text.error));
        }
    }
    if (options.preview) {
        std::vector<preview_outline> outlines = drawn_outlines(run);
        picture image = drawing_preview(outlines, preview_labels(run.first), run.first.warnings, records);
        if (!write_picture_to(outputs.preview, image, names_png(options.preview), nullptr)) {
            return refuse(log, errors, places, output_failure_text(options.preview, outputs.preview.error));
        }
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
        return report_failure("tarvex", log, errors, "Out of memory.");
    }
}
