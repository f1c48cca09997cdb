// The preparer's entry: the command line, the files, the two passes in order, and what the user is
// told: the log on one stream, warnings and reasons for people on the other.
#include "tarvex.h"

#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

const char* const USAGE = "Usage: tarvex.exe inputname outputname\r\n";
const char* const HELP = "Usage: tarvex.exe [--strict] [--watertight] [--preview PICTURE] inputname outputname\r\n"
                         "Prepares a collision file from a text list of convex polygons.\r\n"
                         "\r\n"
                         "Options:\r\n"
                         "  --strict      treat warnings as errors: write nothing when there is one\r\n"
                         "  --watertight  store every polygon so that it contains the polygon as drawn,\r\n"
                         "                so polygons that share an edge leave no crack between them\r\n"
                         "  --preview PICTURE\r\n"
                         "                also draw what is stored against what was drawn, as PNG if\r\n"
                         "                PICTURE ends in .png, else TGA\r\n"
                         "  -h, --help    show this text\r\n"
                         "  --version     show the version\r\n"
                         "  --            end the options, for a name that starts with '-'\r\n"
                         "\r\n"
                         "The log goes to standard output, warnings to standard error. README.md describes\r\n"
                         "the polygon text, the collision file, every message and the exit statuses.\r\n";

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
        std::fprintf(errors, "%s:%zu: warning: %s\r\n", input_name, found.line, found.text.c_str());
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

// Pass one on the input; false when the run must stop, with the reason logged.
bool read_polygons(const char* input_name, std::FILE* input, bool watertight, std::FILE* log, pass_one_result& first)
{
    polygon_text text = text_from_file(input);
    bool accepted = false;
    try {
        accepted = pass_one(text, log, first, watertight);
    } catch (const std::bad_alloc&) {
        text.failure = {input_error::cannot_read, ENOMEM, 0};
    }
    if (text.failure.error != input_error::none) {
        std::fprintf(log, "%s\r\n", input_failure_text(input_name, text.failure).c_str());
        return false;
    }
    if (!accepted) {
        std::fprintf(log, "%s\r\n", first.error.c_str());
    }
    return accepted;
}

// What the options ask of a run.
struct run_options {
    bool strict = false;
    bool watertight = false;
    const char* preview = nullptr;  // the picture of drawn against stored, when asked for
};

int prepare(const char* input_name, const char* output_name, const run_options& options, std::FILE* log,
            std::FILE* errors)
{
    for (const char* written : {output_name, options.preview}) {
        if (written && same_file(input_name, written)) {
            std::fprintf(log, "Couldn't write %s: it is the input file.\r\n", written);
            return FAILED;
        }
    }
    if (options.preview && same_file(output_name, options.preview)) {
        std::fprintf(log, "Couldn't write %s: it is the collision file.\r\n", options.preview);
        return FAILED;
    }
    input_result opened;
    std::FILE* input = open_tool_input(input_name, opened);
    if (opened.error == input_error::cannot_open) {
        std::fputs("Couldn't open.\r\n", log);
        std::fprintf(errors, "tarvex: can't open %s: %s\r\n", input_name, std::strerror(opened.reason));
        return NOT_OPENED;
    }
    if (!input) {
        std::fprintf(log, "%s\r\n", input_failure_text(input_name, opened).c_str());
        return FAILED;
    }
    pass_one_result first;
    bool accepted = read_polygons(input_name, input, options.watertight, log, first);
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
        std::fprintf(log, "%s\r\n", error.c_str());
        return FAILED;
    }
    if (options.strict && first.warnings.total != 0) {
        size_t count = first.warnings.total;
        std::fprintf(log, "Nothing written: %zu warning%s under --strict.\r\n", count, count == 1 ? "" : "s");
        return FAILED;
    }

    // an existing output file is replaced only by a complete one
    std::fputs("About to write.\r\n", log);
    int write_error = 0;
    if (!write_output_file(output_name, first.records.data(), first.records.size(), write_error)) {
        std::fprintf(log, "%s\r\n", output_failure_text(output_name, write_error).c_str());
        return FAILED;
    }
    if (options.preview && !write_drawing_preview(options.preview, first, first.records, write_error)) {
        std::fprintf(log, "%s\r\n", output_failure_text(options.preview, write_error).c_str());
        return FAILED;
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}

}  // namespace

int run_tarvex(int argc, char** argv, std::FILE* log, std::FILE* errors)
{
    static const std::string_view OPTIONS[] = {"--strict", "--watertight", "--preview="};
    command_line command = read_command_line(argc, argv, {"tarvex", USAGE, HELP, OPTIONS, 2});
    if (command.answer) {
        return answer_command(*command.answer, log, errors);
    }
    run_options options;
    options.strict = has_option(command, "--strict");
    options.watertight = has_option(command, "--watertight");
    std::string preview(option_value(command, "--preview"));
    options.preview = preview.empty() ? nullptr : preview.c_str();
    try {
        return prepare(command.names[0], command.names[1], options, log, errors);
    } catch (const std::bad_alloc&) {
        std::fprintf(log, "Out of memory.\r\n");
        return FAILED;
    }
}
