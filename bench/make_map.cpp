// make_map count seed outputname: writes a polygon text of `count` random convex polygons.
#include "random_polygons.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("Usage: make_map count seed outputname\n", stderr);
        return 2;
    }
    std::string text = random_map(uint32_t(std::strtoul(argv[2], nullptr, 10)), std::strtoul(argv[1], nullptr, 10));
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
        std::perror(argv[3]);
        return 1;
    }
    return 0;
}
