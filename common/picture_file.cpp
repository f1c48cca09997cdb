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

// A name ending in .png, in any case, asks for a PNG file; any other name for a TGA file.
bool names_png(const char* name)
{
    std::string_view text = name;
    std::string ending(text.substr(text.size() < 4 ? 0 : text.size() - 4));
    std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ending == ".png";
}

}  // namespace

bool write_picture(const char* name, const picture& image, std::FILE* log, int& error)
{
    // the format follows the name as the system stores it: "x.png." is stored as "x.png" on Windows
    output_file out;
    bool png = names_png(stored_name(name).c_str());
    if (!open_output(name, out) || !(png ? write_png(out, image, log) : write_tga(out, image, log))) {
        error = out.error;
        return false;
    }
    return true;
}
