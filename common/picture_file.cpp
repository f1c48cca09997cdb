// The files of a picture: PNG or TGA, chosen by the output's name.
#include "picture.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <string>

namespace {

void say(std::FILE* log, const char* line)
{
    if (log) {
        std::fputs(line, log);
    }
}

bool write_tga(output_file& out, const picture& image, std::FILE* log)
{
    uint8_t header[TGA_HEADER_SIZE];
    tga_header(image.side, header);
    if (!write_output(out, header, sizeof header)) {
        return false;
    }
    say(log, "Written header.\r\n");
    // rows go out in blocks, large enough that each is one write to the system
    constexpr int BLOCK_ROWS = 64;
    size_t row_size = size_t(image.side) * PIXEL_SIZE;
    std::vector<uint8_t> block(row_size * BLOCK_ROWS);
    for (int first = 0; first < image.side; first += BLOCK_ROWS) {
        int rows = std::min(BLOCK_ROWS, image.side - first);
        for (int row = 0; row < rows; ++row) {
            tga_row(image, first + row, &block[size_t(row) * row_size]);
        }
        if (!write_output(out, block.data(), size_t(rows) * row_size)) {
            return false;
        }
    }
    say(log, "Written imagedata.\r\n");
    return finish_output(out);
}

bool write_png(output_file& out, const picture& image, std::FILE* log)
{
    std::vector<uint8_t> file;
    png_file(image, file);  // running out of memory is told as "Out of memory.", and the output abandons itself
    if (!write_output(out, file.data(), PNG_HEADER_SIZE)) {
        return false;
    }
    say(log, "Written header.\r\n");
    if (!write_output(out, file.data() + PNG_HEADER_SIZE, file.size() - PNG_HEADER_SIZE)) {
        return false;
    }
    say(log, "Written imagedata.\r\n");
    return finish_output(out);
}

}  // namespace

bool names_png(const char* name)
{
    // the format follows the name as the system stores it: "x.png." is stored as "x.png" on Windows
    std::string stored = stored_name(name);
    std::string_view text = stored;
    std::string ending(text.substr(text.size() < 4 ? 0 : text.size() - 4));
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ending == ".png";
}

bool write_picture_to(output_file& out, const picture& image, bool png, std::FILE* log)
{
    return png ? write_png(out, image, log) : write_tga(out, image, log);
}

bool write_picture(const char* name, const picture& image, std::FILE* log, int& error)
{
    output_file out;
    if (!open_output(name, out) || !write_picture_to(out, image, names_png(name), log)) {
        error = out.error;
        return false;
    }
    return true;
}
