// Cost of the imager on random maps: the span renderer against the per-pixel walk, whose pictures
// must be the same, and whole runs against writing a blank picture of the same size.
#include "file_io.h"
#include "in_memory.h"
#include "mirolt.h"
#include "random_polygons.h"
#include "reference.h"
#include "timing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

std::string temporary_path(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    int error = 0;
    if (!write_output_file(path.c_str(), bytes.data(), bytes.size(), error)) {
        std::perror(path.c_str());
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    // the per-pixel walk takes tens of seconds on 1,000 polygons; "quick" leaves it out
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    std::FILE* discard = std::fopen("/dev/null", "wb");
    std::string map_path = temporary_path("mirolt_bench.col");
    std::string picture_path = temporary_path("mirolt_bench.tga");

    std::printf("%10s %14s %14s %10s %10s %14s\n", "polygons", "render (ms)", "walk (ms)", "ratio", "same",
                "whole run (ms)");
    for (size_t count : {100, 1000, 10000, 100000}) {
        std::vector<uint8_t> file = prepare(random_map(uint32_t(count), count));
        record_walk walk = walk_records(file);
        std::vector<uint8_t> pixels;
        double render = seconds_per_run([&] { render_picture(file.data(), walk.records, IMAGE_SIDE, pixels); });

        write_file(map_path, file);
        char* args[] = {argv[0], map_path.data(), picture_path.data()};
        double whole = seconds_per_run([&] { run_mirolt(3, args, discard); });

        if (quick || count > 1000) {
            std::printf("%10zu %14.2f %14s %10s %10s %14.2f\n", count, render * 1e3, "-", "-", "-", whole * 1e3);
            continue;
        }
        std::vector<uint8_t> expected;
        double walked = seconds_per_run([&] { reference_picture(file.data(), IMAGE_SIDE, expected); }, 1, 0.0);
        std::printf("%10zu %14.2f %14.1f %10.0f %10s %14.2f\n", count, render * 1e3, walked * 1e3, walked / render,
                    pixels == expected ? "yes" : "NO", whole * 1e3);
    }

    std::vector<uint8_t> blank(TGA_HEADER_SIZE + size_t(IMAGE_SIDE) * IMAGE_SIDE * PIXEL_SIZE, 0);
    double blank_write = seconds_per_run([&] { write_file(picture_path, blank); });
    std::printf("writing a blank %dx%d picture: %.2f ms\n", IMAGE_SIDE, IMAGE_SIDE, blank_write * 1e3);
    std::remove(map_path.c_str());
    std::remove(picture_path.c_str());
    std::fclose(discard);
    return 0;
}
