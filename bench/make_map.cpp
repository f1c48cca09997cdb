// make_map count seed outputname [tiled]: writes a polygon text of `count` random convex polygons, or
// with "tiled" a rectangle tiled by about `count` polygons that share their edges.
#include "random_polygons.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    bool tiled = argc == 5 && std::strcmp(argv[4], "tiled") == 0;
    if (argc != 4 && !tiled) {
        std::fputs("Usage: make_map count seed outputname [tiled]\n", stderr);
        return 2;
    }
    size_t count = std::strtoul(argv[1], nullptr, 10);
    auto seed = uint32_t(std::strtoul(argv[2], nullptr, 10));
    // a tiled grid of n x n cells holds about 1.4 polygons per cell, as some cells are split
    int side = std::max(1, int(std::lround(std::sqrt(double(count) / 1.4))));
    std::string text = tiled ? polygons_text(tiled_rectangle(seed, side, side)) : random_map(seed, count);
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
