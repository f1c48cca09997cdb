// Cost of the imager: the claims renderer against the per-pixel walk, whose pictures must be the
// same, on random maps and on the worst case known for it; and whole runs against writing a blank
// picture of the same size.
#include "file_io.h"
#include "fixed_point.h"
#include "in_memory.h"
#include "mirolt.h"
#include "platform.h"
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
        std::fprintf(stderr, "%s\n", output_failure_text(path.c_str(), error).c_str());
        std::exit(1);
    }
}

// Records that each keep y <= 1598: every one reaches all rows but the last, which none fills, so
// the picture is never complete and every record is searched where the last row is still free.
std::vector<uint8_t> unfinished_row_file(size_t count)
{
    std::vector<uint8_t> file;
    for (size_t i = 0; i < count; ++i) {
        append_header_placeholder(file);
        append_edge(file, {1598.0f, -1.0f, 0.0f});
        append_polygon_end(file);
    }
    append_data_end(file);
    return file;
}

std::vector<uint8_t> rendered(const std::vector<uint8_t>& file, const record_walk& walk)
{
    std::vector<uint32_t> owners;
    render_owners(file.data(), walk.records, IMAGE_SIDE, owners);
    picture image = plain_picture(std::move(owners), IMAGE_SIDE, walk.records.size());
    std::vector<uint8_t> pixels(size_t(IMAGE_SIDE) * IMAGE_SIDE * PIXEL_SIZE);
    for (int stored = 0; stored < IMAGE_SIDE; ++stored) {
        tga_row(image, stored, &pixels[size_t(stored) * IMAGE_SIDE * PIXEL_SIZE]);
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv)
{
    // the per-pixel walk takes tens of seconds on 1,000 polygons; "quick" leaves it out
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    std::FILE* discard = std::fopen(NULL_DEVICE, "wb");
    std::string map_path = temporary_path("mirolt_bench.col");
    std::string picture_path = temporary_path("mirolt_bench.tga");

    struct map_case {
        const char* name;
        std::vector<uint8_t> file;
        bool walk;  // whether the per-pixel walk is quick enough to measure
    };
    std::vector<map_case> maps;
    for (size_t count : {100u, 1000u, 10000u, 100000u}) {
        maps.push_back({nullptr, prepare(random_map(uint32_t(count), count)), count <= 1000});
    }
    maps.push_back({"unfinished row", unfinished_row_file(100000), true});

    std::printf("%16s %14s %14s %10s %10s %14s\n", "polygons", "render (ms)", "walk (ms)", "ratio", "same",
                "whole run (ms)");
    for (const map_case& map : maps) {
        record_walk walk = walk_records(map.file);
        std::vector<uint8_t> pixels;
        double render = seconds_per_run([&] { pixels = rendered(map.file, walk); });

        write_file(map_path, map.file);
        char* args[] = {argv[0], map_path.data(), picture_path.data()};
        double whole = seconds_per_run([&] { run_mirolt(3, args, discard, discard); });

        std::string name = map.name ? std::string(map.name) + " " : std::string();
        name += std::to_string(walk.records.size());
        if (quick || !map.walk) {
            std::printf("%16s %14.2f %14s %10s %10s %14.2f\n", name.c_str(), render * 1e3, "-", "-", "-", whole * 1e3);
            continue;
        }
        std::vector<uint8_t> expected;
        double walked = seconds_per_run([&] { reference_picture(map.file.data(), IMAGE_SIDE, expected); }, 1, 0.0);
        std::printf("%16s %14.2f %14.1f %10.2f %10s %14.2f\n", name.c_str(), render * 1e3, walked * 1e3,
                    walked / render, pixels == expected ? "yes" : "NO", whole * 1e3);
    }

    // the PNG encoder alone, on the exact picture and on the preview
    for (size_t k : {size_t(1), size_t(3)}) {
        const map_case& map = maps[k];
        record_walk walk = walk_records(map.file);
        std::vector<uint32_t> owners;
        render_owners(map.file.data(), walk.records, IMAGE_SIDE, owners);
        for (bool preview : {false, true}) {
            picture image = preview ? preview_picture(owners, IMAGE_SIDE, walk.records.size())
                                    : plain_picture(owners, IMAGE_SIDE, walk.records.size());
            std::vector<uint8_t> png;
            double encode = seconds_per_run([&] { png_file(image, png); });
            std::printf("PNG of the %s picture of %zu polygons: %.1f ms, %zu bytes\n", preview ? "preview" : "exact",
                        walk.records.size(), encode * 1e3, png.size());
        }
    }

    std::vector<uint8_t> blank(TGA_HEADER_SIZE + size_t(IMAGE_SIDE) * IMAGE_SIDE * PIXEL_SIZE, 0);
    double blank_write = seconds_per_run([&] { write_file(picture_path, blank); });
    std::printf("writing a blank %dx%d picture: %.2f ms\n", IMAGE_SIDE, IMAGE_SIDE, blank_write * 1e3);
    std::remove(map_path.c_str());
    std::remove(picture_path.c_str());
    std::fclose(discard);
    return 0;
}
