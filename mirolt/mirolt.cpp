// The imager's entry: reads and checks the collision file, renders it and writes the TGA picture.
#include "mirolt.h"

#include "file_io.h"

#include <cstring>

namespace {

// 24-bit uncompressed true-colour with its origin at the bottom left; 16-bit fields are little-endian
const uint8_t TGA_HEADER[TGA_HEADER_SIZE] = {
    0,                                      // no image ID
    0,                                      // no colour map
    2,                                      // uncompressed true-colour
    0, 0, 0, 0, 0,                          // colour map specification
    0, 0,                                   // x origin
    0, 0,                                   // y origin
    IMAGE_SIDE & 0xFF, IMAGE_SIDE >> 8,     // width
    IMAGE_SIDE & 0xFF, IMAGE_SIDE >> 8,     // height
    24,                                     // bits per pixel
    0,                                      // no alpha bits, origin bottom left
};

void report_walk_error(std::FILE* log, const char* input_name, std::span<const uint8_t> data, const record_walk& walk)
{
    if (data.empty()) {
        std::fprintf(log, "%s is empty.\r\n", input_name);
    } else if (walk.error == walk_error::missing_polygon_end) {
        std::fprintf(log, "%s: polygon %zu has no polygon end marker.\r\n", input_name, walk.records.size());
    } else {
        size_t at = walk.records.empty() ? 0 : walk.records.back().offset + record_size(walk.records.back());
        std::fprintf(log, "%s: no data end marker at byte %zu.\r\n", input_name, at);
    }
}

bool write_picture(output_file& out, const std::vector<uint8_t>& pixels, std::FILE* log)
{
    if (!write_output(out, TGA_HEADER, sizeof TGA_HEADER)) {
        return false;
    }
    std::fputs("Written header.\r\n", log);
    if (!write_output(out, pixels.data(), pixels.size())) {
        return false;
    }
    std::fputs("Written imagedata.\r\n", log);
    return finish_output(out);
}

}  // namespace

int run_mirolt(int argc, char** argv, std::FILE* log)
{
    if (argc != 3) {
        std::fputs("Usage: mirolt.exe inputname outputname\r\n", log);
        return 0;
    }
    const char* input_name = argv[1];
    const char* output_name = argv[2];

    std::vector<uint8_t> data;
    int status = 0;
    if (!load_input(input_name, data, log, status)) {
        return status;
    }
    // the markers are checked against the file's length before any record is trusted
    record_walk walk = walk_records(data);
    if (walk.error != walk_error::none) {
        report_walk_error(log, input_name, data, walk);
        return 1;
    }

    std::vector<uint8_t> pixels;
    render_picture(data.data(), walk.records, IMAGE_SIDE, pixels);
    std::fputs("Completed collision loops.\r\n", log);

    output_file out;
    if (!open_output(output_name, out) || !write_picture(out, pixels, log)) {
        abandon_output(out);
        std::fprintf(log, "Couldn't write %s: %s.\r\n", output_name, std::strerror(out.error));
        return 1;
    }
    std::fputs("Finished normally.\r\n", log);
    return 0;
}
