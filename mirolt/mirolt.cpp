// The imager's entry: reads and checks the collision file, renders it and writes the picture.
#include "mirolt.h"

#include "command_line.h"
#include "file_io.h"
#include "platform.h"
#include "point_search.h"

#include <cstring>
#include <new>
#include <string>

namespace {

const char* const USAGE = "Usage: mirolt.exe inputname outputname\r\n";
const char* const HELP = "Usage: mirolt.exe [--preview] inputname outputname\r\n"
                         "Renders a collision file into a 1600 x 1600 picture, one colour per polygon,\r\n"
                         "for checking the data by eye.\r\n"
                         "\r\n"
                         "Options:\r\n"
                         "  --preview   draw for people: far-apart colours, outlines, polygon numbers\r\n"
                         "              and the splitspace grid, instead of the exact shades\r\n"
                         "  -h, --help  show this text\r\n"
                         "  --version   show the version\r\n"
                         "  --          end the options, for a name that starts with '-'\r\n"
                         "\r\n"
                         "An outputname ending in .png gets a PNG file; any other an uncompressed 24-bit\r\n"
                         "TGA file. README.md describes the collision file, every message and the exit\r\n"
                         "statuses.\r\n";

int fail(std::FILE* log, std::FILE* errors, const std::string& reason)
{
    return report_failure("mirolt", log, errors, reason);
}

std::string walk_error_text(const char* input_name, std::span<const uint8_t> data, const record_walk& walk)
{
    std::string name = input_name;
    if (data.empty()) {
        return name + " is empty.";
    }
    if (walk.error == walk_error::missing_polygon_end) {
        return name + ": polygon " + std::to_string(walk.records.size()) + " has no polygon end marker.";
    }
    size_t at = walk.records.empty() ? 0 : walk.records.back().offset + record_size(walk.records.back());
    return name + ": no data end marker at byte " + std::to_string(at) + ".";
}

// The polygons that the preview cannot show: those without a single point of the picture.
void log_polygons_outside(std::FILE* log, const uint8_t* data, std::span<const polygon_record> records,
                          std::span<const uint32_t> owners, int side)
{
    std::vector<bool> owns_a_pixel(records.size(), false);
    for (uint32_t owner : owners) {
        if (owner != NO_POLYGON) {
            owns_a_pixel[owner] = true;
        }
    }
    std::vector<edge_equation> edges;
    for (size_t k = 0; k < records.size(); ++k) {
        if (owns_a_pixel[k]) {
            continue;
        }
        decode_edges(data, records[k], edges);
        drop_repeated_edges(edges);
        point_box picture = {0, 0, side - 1, side - 1};
        int x = 0;
        int y = 0;
        bool middle = middle_point(edges, x, y) && x >= 0 && y >= 0 && x < side && y < side;
        if (!middle && !any_point_inside_in_place(edges, inside_bounds(edges, picture))) {
            std::fprintf(log, "Polygon %zu contains no point of the picture.\r\n", k);
        }
    }
}

int draw_collision_file(const char* input_name, const char* output_name, bool preview, std::FILE* log,
                        std::FILE* errors)
{
    if (same_file(input_name, output_name)) {
        return fail(log, errors, std::string("Couldn't write ") + output_name + ": it is the input file.");
    }
    std::vector<uint8_t> data;
    input_result read = read_input(input_name, data);
    if (read.error == input_error::cannot_open) {
        std::fputs("Couldn't open.\r\n", log);
        std::fprintf(errors, "mirolt: can't open %s: %s\r\n", input_name, std::strerror(read.reason));
        return NOT_OPENED;
    }
    if (read.error != input_error::none) {
        return fail(log, errors, input_failure_text(input_name, read));
    }
    // the markers are checked against the file's length before any record is trusted
    record_walk walk = walk_records(data);
    if (walk.error != walk_error::none) {
        return fail(log, errors, walk_error_text(input_name, data, walk));
    }
    for (size_t k = 0; k < walk.records.size(); ++k) {
        if (walk.records[k].edge_count > MAX_EDGES) {
            return fail(log, errors,
                        "Record " + std::to_string(k) + ": " + std::to_string(walk.records[k].edge_count) +
                            " edges, more than the " + std::to_string(MAX_EDGES) + " that its size field can describe.");
        }
    }

    std::vector<uint32_t> owners;
    render_owners(data.data(), walk.records, IMAGE_SIDE, owners);
    std::fputs("Completed collision loops.\r\n", log);
    picture image;
    if (preview) {
        log_polygons_outside(log, data.data(), walk.records, owners, IMAGE_SIDE);
        image = preview_picture(owners, IMAGE_SIDE, walk.records.size());
    } else {
        image = plain_picture(std::move(owners), IMAGE_SIDE, walk.records.size());
    }

    int error = 0;
    if (!write_picture(output_name, image, log, error)) {
        return fail(log, errors, output_failure_text(output_name, error));
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}

}  // namespace

int run_mirolt(int argc, char** argv, std::FILE* log, std::FILE* errors)
{
    static const std::string_view OPTIONS[] = {"--preview"};
    command_line command = read_command_line(argc, argv, {"mirolt", USAGE, HELP, OPTIONS, 2});
    if (command.answer) {
        return answer_command(*command.answer, log, errors);
    }
    bool preview = has_option(command, "--preview");
    try {
        return draw_collision_file(command.names[0], command.names[1], preview, log, errors);
    } catch (const std::bad_alloc&) {
        return fail(log, errors, "Out of memory.");
    }
}
