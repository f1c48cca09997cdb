// The preparer's entry: the command line, the files, the two passes in order, and what the user is
// told: the log on one stream, warnings and reasons for people on the other.
#include "tarvex.h"

#include "command_line.h"
#include "fixed_point.h"
#include "geometry.h"
#include "map_model.h"
#include "mending.h"
#include "passes.h"
#include "picture.h"
#include "picture_tracing.h"
#include "polygon_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

const char* const USAGE = "Usage: tarvex.exe inputname outputname\r\n";
const char* const HELP = "Usage: tarvex.exe [--strict] [--watertight] [--fix | --no-fix] [--no-merge]\r\n"
                         "                  [--merge-layers] [--text FILE]\r\n"
                         "                  [--preview PICTURE] [--depfile FILE] [--manifest FILE]\r\n"
                         "                  [--max-vertices N] [--layer NAME] [--class NAME]\r\n"
                         "                  [--skip-class NAME] [--scale F] [--offset X,Y | --fit]\r\n"
                         "                  [--threshold N] [--tolerance T] [--min-area A]\r\n"
                         "                  inputname outputname\r\n"
                         "Prepares a collision file from a text list of convex polygons, a Tiled map, or\r\n"
                         "a picture (.png, .tga) whose solid pixels it traces.\r\n"
                         "\r\n"
                         "Options:\r\n"
                         "  --strict      treat warnings as errors: write nothing when there is one\r\n"
                         "  --watertight  store every polygon so that it contains the polygon as drawn,\r\n"
                         "                so polygons that share an edge leave no crack between them\r\n"
                         "  --fix         mend each polygon first: close it, wind it the filled way, drop\r\n"
                         "                repeated and straight vertices, split a concave one into convex\r\n"
                         "                pieces; implies --watertight; a map's and a picture's default\r\n"
                         "  --no-fix      compile a map's or picture's shapes as listed, with the warnings\r\n"
                         "  --no-merge    store a map's tile shapes one by one, not united per class\r\n"
                         "  --merge-layers\r\n"
                         "                unite the tile shapes of one class across the tile layers too\r\n"
                         "  --text FILE   also write the polygon text that was compiled, mended or not\r\n"
                         "  --depfile FILE\r\n"
                         "                also write, in make's syntax, the files the run read\r\n"
                         "  --manifest FILE\r\n"
                         "                also write, as JSON, what each stored polygon is: its place in\r\n"
                         "                the file, its corners, its source and its custom properties\r\n"
                         "  --max-vertices N\r\n"
                         "                store no piece of more than N corners (3 or more); implies --fix\r\n"
                         "  --layer NAME  read only this layer of a map (again for more; group/layer),\r\n"
                         "                hidden or not\r\n"
                         "  --class NAME, --skip-class NAME\r\n"
                         "                read only a map's objects and tiles of this class, or not those\r\n"
                         "                (again for more)\r\n"
                         "  --scale F, --offset X,Y\r\n"
                         "                map the editor's pixels, or the text's units, onto the world\r\n"
                         "  --fit         scale and move the drawing into the working area\r\n"
                         "  --threshold N, --tolerance T, --min-area A\r\n"
                         "                trace a picture's pixels of alpha N or more (128; without alpha,\r\n"
                         "                those not black), its outlines within T units of the pixels'\r\n"
                         "                edges (1), dropping specks under A square units (4)\r\n"
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
    trace_settings trace; // how a picture's pixels become outlines
    bool moved = false;  // --scale, --offset or --fit was given
    bool fit = false;    // the scale and offset are found to fit the drawing into the working area
    const char* preview = nullptr;  // the picture of drawn against stored, when asked for
    const char* text = nullptr;     // the polygon text compiled, when asked for
    const char* depfile = nullptr;  // the files the run read, for make and ninja
    const char* manifest = nullptr; // what each stored record is, for the game
    size_t max_vertices = 0;        // the most corners a stored piece may have; 0 for no cap
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

// A tile's collision shape placed in many cells would be told of at each: what is said of its first
// placement is told once, at the shape's own place in its tileset, and the other placements that had
// something said of them are counted, in `also`.
template <typename Said>
void tell_tile_shapes_once(const drawing& drawn, std::vector<Said>& said, std::vector<note>& also)
{
    std::vector<uint32_t> first_source(drawn.tile_shapes.size(), NO_INDEX);
    std::vector<std::vector<uint32_t>> others(drawn.tile_shapes.size());
    std::erase_if(said, [&](Said& one) {
        uint32_t source = one.where.source;
        uint32_t shape = source != NO_INDEX ? drawn.sources[source].tile_shape : NO_INDEX;
        if (shape == NO_INDEX) {
            return false;
        }
        uint32_t& first = first_source[shape];
        first = first == NO_INDEX ? source : first;
        if (first != source) {
            others[shape].push_back(source);
            return true;
        }
        one.where = {drawn.tile_shapes[shape].file, drawn.tile_shapes[shape].line, source};
        return false;
    });
    for (uint32_t shape = 0; shape < others.size(); ++shape) {
        std::vector<uint32_t>& placements = others[shape];
        std::sort(placements.begin(), placements.end());
        size_t count = size_t(std::unique(placements.begin(), placements.end()) - placements.begin());
        if (count != 0) {
            also.push_back({{drawn.tile_shapes[shape].file, drawn.tile_shapes[shape].line, first_source[shape]},
                            "so on " + with_thousands(count) + " more placement" + (count == 1 ? "" : "s") +
                                " of this tile's shape"});
        }
    }
}

// Notes in the compilers' form, in the order of their files and lines.
void report_notes(std::FILE* errors, const drawing& drawn, std::vector<note>& notes)
{
    std::vector<note> also;
    tell_tile_shapes_once(drawn, notes, also);
    notes.insert(notes.end(), also.begin(), also.end());
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
    std::vector<note> also;
    tell_tile_shapes_once(drawn, warnings.shown, also);
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
    report_notes(errors, drawn, also);
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
    bool beyond_working_area = false;  // told once for the whole map
};

// Forgets the warnings of a kind, which one warning about the whole drawing says better.
void drop_warnings(warning_list& warnings, warning_kind kind)
{
    std::erase_if(warnings.shown, [&](const warning& found) { return found.kind == kind; });
    warnings.total -= warnings.found[size_t(kind)];
    warnings.found[size_t(kind)] = 0;
}

// Whether the run reads its input into a drawing before compiling it: a map always; polygon text when
// it is moved or mended, and otherwise it is compiled as it streams in.
bool reads_a_drawing(const run_state& run)
{
    return !run.drawn.from_text || run.options.moved || run.options.fix;
}

// The shortest text that reads back as the same double.
std::string double_text(double value)
{
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// The scale and offset that put the bounds into the working area, uniformly, at its top left corner.
map_settings fitted(const map_settings& settings, const point_bounds& box)
{
    constexpr double SIDE = WORKING_SIDE - 1;  // from 0 to 1599
    double span = std::max(box.x1 - box.x0, box.y1 - box.y0);
    map_settings fit = settings;
    fit.scale = span > 0.0 ? SIDE / span : 1.0;
    fit.offset_x = -box.x0 * fit.scale + 0.0;  // + 0.0: never "-0"
    fit.offset_y = -box.y0 * fit.scale + 0.0;
    return fit;
}

std::string placement_words(const map_settings& settings)
{
    return "--scale " + double_text(settings.scale) + " --offset " + double_text(settings.offset_x) + "," +
           double_text(settings.offset_y);
}

// One warning for a map or picture that reaches beyond the working area, rather than one for each
// shape outside, with the placement that brings it in.
void warn_beyond_working_area(run_state& run, const std::string& what, const map_settings& settings)
{
    point_bounds box = bounds_of(run.drawn.points);
    bool beyond = box.x0 < 0.0 || box.y0 < 0.0 || box.x1 >= WORKING_SIDE || box.y1 >= WORKING_SIDE;
    if (beyond && !run.drawn.shapes.empty() && !run.options.moved) {
        run.beyond_working_area = true;
        add_warning(run.reading_warnings, warning_kind::outside_working_area, {},
                    "the " + what + " reaches beyond the working area (0..1599): its shapes span x " +
                        double_text(box.x0) + ".." + double_text(box.x1) + ", y " + double_text(box.y0) + ".." +
                        double_text(box.y1) + "; --fit, or " + placement_words(fitted(settings, box)) +
                        ", places it within",
                    {0.0f, 0.0f});
    }
}

// Reads the map into the drawing, with --fit placed by a first reading at the editor's own pixels.
bool read_map(run_state& run, const std::string& content)
{
    tiled_map map;
    if (!parse_map(content, run.drawn.files, map, run.refused)) {
        return false;
    }
    map_settings settings = run.options.map;
    if (run.options.fit) {
        drawing unplaced = empty_like(run.drawn);
        std::vector<note> unsaid;
        if (!map_drawing(map, settings, unplaced, unsaid, run.refused)) {
            return false;
        }
        settings = fitted(settings, bounds_of(unplaced.points));
        run.notes.push_back({{}, "--fit places the map with " + placement_words(settings)});
    }
    if (!map_drawing(map, settings, run.drawn, run.notes, run.refused)) {
        return false;
    }
    warn_beyond_working_area(run, "map", settings);
    return true;
}

// Reads the picture, traces it into the drawing, and places it, with --fit where the outlines lie.
bool read_picture(run_state& run, std::span<const uint8_t> bytes)
{
    pixel_mask mask;
    tracing traced;
    std::string problem;
    if (!decode_mask(bytes, run.options.trace.threshold, mask, problem) ||
        !trace_mask(mask, run.options.trace, traced, problem)) {
        run.refused = refusal_at({0, 0, NO_INDEX}, problem);
        return false;
    }
    size_t dropped = traced.regions_dropped + traced.holes_dropped;
    if (dropped != 0) {
        run.notes.push_back({{}, with_thousands(dropped) + (dropped == 1 ? " speck" : " specks") + " under " +
                                     double_text(run.options.trace.min_area) + " square units dropped (" +
                                     with_thousands(traced.regions_dropped) + " solid, " +
                                     with_thousands(traced.holes_dropped) + " holes)"});
    }
    map_settings settings = run.options.map;
    if (run.options.fit && !traced.outlines.empty()) {
        std::vector<drawn_point> corners;
        for (const traced_outline& outline : traced.outlines) {
            corners.insert(corners.end(), outline.points.begin(), outline.points.end());
        }
        settings = fitted(settings, bounds_of(corners));
        run.notes.push_back({{}, "--fit places the picture with " + placement_words(settings)});
    }
    add_traced(traced, settings, run.drawn);
    warn_beyond_working_area(run, "picture", settings);
    return true;
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
        return names_picture(run.drawn.files[0]) ? read_picture(run, bytes)
                                                 : read_map(run, std::string(bytes.begin(), bytes.end()));
    }
    polygon_text text = text_from_file(run.input);
    bool read = read_drawing(text, run.drawn, run.reading_warnings, run.refused);
    run.failure = text.failure;
    map_settings moved = run.options.map;
    if (read && run.options.fit && !run.drawn.points.empty()) {
        moved = fitted(moved, bounds_of(run.drawn.points));
        run.notes.push_back({{}, "--fit places the text with " + placement_words(moved)});
    }
    if (read && run.options.moved) {
        for (drawn_point& point : run.drawn.points) {
            point = placed(point, moved);
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
    } else if (run.options.fix &&
               !mend_drawing(run.drawn, run.options.max_vertices, run.mended, run.mending_notes, run.refused)) {
        return false;
    } else {
        accepted = pass_one(compiled_drawing(run), run.log, run.first, run.options.watertight);
    }
    run.refused = run.first.refused;
    if (run.beyond_working_area) {
        drop_warnings(run.first.warnings, warning_kind::outside_working_area);
    }
    for (const warning& found : run.reading_warnings.shown) {
        add_warning(run.first.warnings, found.kind, found.where, found.text, found.mark);
    }
    return accepted;
}

// What merging made of each layer's tiles: how many pieces, and how many polygons the busiest cell's
// mask bit names among them.
std::vector<note> merging_notes(const drawing& drawn, const pass_one_result& first)
{
    std::vector<note> notes;
    for (const drawing::merged_layer& layer : drawn.merged_layers) {
        size_t pieces = 0;
        size_t in_cell[CELL_GRID * CELL_GRID] = {};
        for (const compiled_polygon& polygon : first.polygons) {
            uint32_t source = polygon.where.source;
            if (source == NO_INDEX || !drawn.sources[source].merged || drawn.sources[source].layer != layer.layer) {
                continue;
            }
            ++pieces;
            unsigned mask = get_be16(first.records.data() + polygon.record_offset + 2);
            for (int cell = 0; cell < CELL_GRID * CELL_GRID; ++cell) {
                in_cell[cell] += (mask >> cell) & 1u;
            }
        }
        size_t worst = *std::max_element(std::begin(in_cell), std::end(in_cell));
        if (pieces == layer.tile_shapes) {
            continue;  // nothing united: the tiles stand as they would alone
        }
        notes.push_back({{0, layer.line, NO_INDEX},
                         "layer \"" + printable(drawn.names[layer.layer]) + "\": " + with_thousands(layer.tile_shapes) +
                             " tile shape" + (layer.tile_shapes == 1 ? "" : "s") + " merged into " + with_thousands(pieces) +
                             " piece" + (pieces == 1 ? "" : "s") + " (" + std::to_string(layer.classes) + " class" +
                             (layer.classes == 1 ? "" : "es") + "), worst cell " + std::to_string(worst) + " polygon" +
                             (worst == 1 ? "" : "s")});
    }
    return notes;
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
    output_file depfile;
    output_file manifest;
};

// Refuses outputs that name the input, each other, or, once the input is read, a file the run reads:
// by any spelling or link, whether they exist yet or not. The reason, or empty.
std::string output_conflict(const char* output_name, const run_options& options, std::span<const std::string> reads)
{
    const char* const written[] = {output_name, options.text, options.preview, options.depfile, options.manifest};
    const char* const what[] = {"the collision file", "the text file", "the preview", "the dependency file",
                                "the manifest"};
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
    const std::pair<const char*, output_file*> wanted[] = {{output_name, &outputs.collision},
                                                           {options.text, &outputs.text},
                                                           {options.preview, &outputs.preview},
                                                           {options.depfile, &outputs.depfile},
                                                           {options.manifest, &outputs.manifest}};
    for (const auto& [name, out] : wanted) {
        if (name && !open_output(name, *out)) {
            reason = output_failure_text(name, out->error);
            return false;
        }
    }
    return true;
}

// A name as make reads it in a rule: spaces, '#' and '$' escaped, and backslashes kept.
std::string make_word(const std::string& name)
{
    std::string word;
    for (char c : name) {
        if (c == ' ' || c == '#') {
            word += '\\';
        } else if (c == '$') {
            word += '$';
        }
        word += c;
    }
    return word;
}

// The dependency file in make's syntax: the collision file depends on every file the run read.
std::string dependency_rule(const char* output_name, std::span<const std::string> reads)
{
    std::string rule = make_word(output_name) + ":";
    for (const std::string& read : reads) {
        rule += " \\\n  " + make_word(read);
    }
    return rule + "\n";
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
    run.drawn.from_text = !names_map(input_name) && !names_picture(input_name);
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
    std::vector<note> merging = merging_notes(places, run.first);
    report_notes(errors, places, merging);
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
        picture image = drawing_preview(outlines, run.drawn.made_from, preview_labels(run.first), run.first.warnings, records);
        if (!write_picture_to(outputs.preview, image, names_png(options.preview), nullptr)) {
            return refuse(log, errors, places, output_failure_text(options.preview, outputs.preview.error));
        }
    }
    if (options.manifest) {
        std::string manifest = manifest_text(places, run.first, records);
        if (!finish(outputs.manifest, manifest.data(), manifest.size())) {
            return refuse(log, errors, places, output_failure_text(options.manifest, outputs.manifest.error));
        }
    }
    if (options.depfile) {
        std::string rule = dependency_rule(output_name, run.drawn.files);
        if (!finish(outputs.depfile, rule.data(), rule.size())) {
            return refuse(log, errors, places, output_failure_text(options.depfile, outputs.depfile.error));
        }
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}

// A number given on the command line, whole and finite.
bool option_number(std::string_view text, double& value)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    first += !text.empty() && text[0] == '+' ? 1 : 0;
    auto [stop, error] = std::from_chars(first, last, value);
    return !text.empty() && error == std::errc() && stop == last && std::isfinite(value);
}

// --scale F, --offset X,Y and --fit; false, with the reason told, when they cannot be taken.
bool read_placement(const command_line& command, run_options& options, std::FILE* errors)
{
    std::string_view scale = option_value(command, "--scale");
    std::string_view offset = option_value(command, "--offset");
    bool scaled = has_option(command, "--scale");
    bool offset_given = has_option(command, "--offset");
    options.fit = has_option(command, "--fit");
    if (scaled && (!option_number(scale, options.map.scale) || options.map.scale <= 0.0)) {
        std::fprintf(errors, "tarvex: --scale takes a positive number, not %s\r\n", std::string(scale).c_str());
        return false;
    }
    size_t comma = offset.find(',');
    if (offset_given && (comma == std::string_view::npos || !option_number(offset.substr(0, comma), options.map.offset_x) ||
                         !option_number(offset.substr(comma + 1), options.map.offset_y))) {
        std::fprintf(errors, "tarvex: --offset takes two numbers X,Y, not %s\r\n", std::string(offset).c_str());
        return false;
    }
    if (options.fit && (scaled || offset_given)) {
        std::fputs("tarvex: --fit finds the scale and offset itself; give it alone\r\n", errors);
        return false;
    }
    options.moved = scaled || offset_given || options.fit;
    return true;
}

// --threshold N, --tolerance T and --min-area A; false, with the reason told, when they cannot be
// taken.
bool read_tracing(const command_line& command, run_options& options, std::FILE* errors)
{
    struct number_option {
        const char* name;
        double least;
        double most;
        bool whole;
        const char* takes;
    };
    static const number_option NUMBERS[] = {
        {"--threshold", 0.0, 255.0, true, "a whole number from 0 to 255"},
        {"--tolerance", 0.0, 1e6, false, "a number from 0 to 1000000"},
        {"--min-area", 0.0, 1e12, false, "a number from 0 to 1000000000000"},
    };
    double values[] = {double(options.trace.threshold), options.trace.tolerance, options.trace.min_area};
    for (size_t k = 0; k < std::size(NUMBERS); ++k) {
        const number_option& option = NUMBERS[k];
        if (!has_option(command, option.name)) {
            continue;
        }
        std::string_view text = option_value(command, option.name);
        if (!names_picture(command.names[0])) {
            std::fprintf(errors, "tarvex: %s is for tracing a picture (.png or .tga)\r\n", option.name);
            return false;
        }
        double& value = values[k];
        if (!option_number(text, value) || value < option.least || value > option.most ||
            (option.whole && value != std::floor(value))) {
            std::fprintf(errors, "tarvex: %s takes %s, not %s\r\n", option.name, option.takes, std::string(text).c_str());
            return false;
        }
    }
    options.trace = {int(values[0]), values[1], values[2]};
    return true;
}

// The options of a run, from its command line; false, with the reason told, for options that cannot
// go together.
bool read_options(const command_line& command, run_options& options, std::FILE* errors)
{
    const char* input_name = command.names[0];
    bool no_fix = has_option(command, "--no-fix");
    if (no_fix && has_option(command, "--fix")) {
        std::fputs("tarvex: --fix and --no-fix together\r\n", errors);
        return false;
    }
    if (*command.names[0] == '\0' || *command.names[1] == '\0') {
        std::fputs("tarvex: a file name is empty\r\n", errors);
        return false;
    }
    options.strict = has_option(command, "--strict");
    // a map is mended by default, as the editor fills every shape whatever way it was clicked, and a
    // picture's outlines are concave by nature
    bool drawn_by_editor = names_map(input_name) || names_picture(input_name);
    options.fix = has_option(command, "--fix") || (drawn_by_editor && !no_fix);
    options.watertight = has_option(command, "--watertight") || options.fix;  // pieces must not crack apart
    // a map's tiles are merged by default, as mending stores the regions they make
    options.map.merge = names_map(input_name) && options.fix && !has_option(command, "--no-merge");
    options.map.merge_layers = options.map.merge && has_option(command, "--merge-layers");
    for (const given_option& given : command.options) {
        if (given.name == "--layer") {
            options.map.layers.emplace_back(given.value);
        } else if (given.name == "--class") {
            options.map.classes.emplace_back(given.value);
        } else if (given.name == "--skip-class") {
            options.map.skip_classes.emplace_back(given.value);
        } else if (given.name == "--text") {
            options.text = given.value.data();
        } else if (given.name == "--preview") {
            options.preview = given.value.data();
        } else if (given.name == "--depfile") {
            options.depfile = given.value.data();
        } else if (given.name == "--manifest") {
            options.manifest = given.value.data();
        }
    }
    if (has_option(command, "--max-vertices")) {
        double cap = 0.0;
        std::string_view value = option_value(command, "--max-vertices");
        if (!option_number(value, cap) || cap != std::floor(cap) || cap < 3.0 || cap > double(MAX_EDGES)) {
            std::fprintf(errors, "tarvex: --max-vertices takes a whole number from 3 to %zu, not %s\r\n", MAX_EDGES,
                         std::string(value).c_str());
            return false;
        }
        options.max_vertices = size_t(cap);
        options.fix = true;  // the pieces are split by mending
        options.watertight = true;
    }
    return read_placement(command, options, errors) && read_tracing(command, options, errors);
}

}  // namespace

int run_tarvex(int argc, char** argv, std::FILE* log, std::FILE* errors)
{
    static const std::string_view OPTIONS[] = {"--strict",   "--watertight", "--fix",      "--no-fix",
                                               "--preview=", "--text=",      "--layer=",   "--class=",
                                               "--skip-class=", "--scale=",  "--offset=",  "--fit",
                                               "--depfile=", "--manifest=", "--max-vertices=", "--no-merge",
                                               "--merge-layers", "--threshold=", "--tolerance=", "--min-area="};
    command_line command = read_command_line(argc, argv, {"tarvex", USAGE, HELP, OPTIONS, 2});
    if (command.answer) {
        return answer_command(*command.answer, log, errors);
    }
    run_options options;
    if (!read_options(command, options, errors)) {
        std::fputs(USAGE, log);
        return USAGE_ERROR;
    }
    try {
        return prepare(command.names[0], command.names[1], options, log, errors);
    } catch (const std::bad_alloc&) {
        return report_failure("tarvex", log, errors, "Out of memory.");
    }
}
