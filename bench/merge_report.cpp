// What merging makes of a map's tiles: for each map named, the merged outlines' lower bound on convex
// pieces (the sum over outlines of ceil(r / 2) + 1, r the reflex corners), against the pieces,
// cells and bytes that tarvex's manifest then reports (bench/merge_report.sh puts them together).
#include "geometry.h"
#include "map_model.h"

#include <cstdio>
#include <fstream>
#include <iterator>

int main(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k) {
        std::ifstream in(argv[k], std::ios::binary);
        std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        drawing drawn;
        drawn.files = {argv[k]};
        drawn.from_text = false;
        tiled_map map;
        refusal refused;
        std::vector<note> notes;
        map_settings settings;
        settings.merge = true;
        if (!parse_map(content, drawn.files, map, refused) || !map_drawing(map, settings, drawn, notes, refused)) {
            std::printf("%s: not read: %s\n", argv[k], refused.problem.c_str());
            continue;
        }
        size_t outlines = 0;
        size_t bound = 0;
        for (const drawn_shape& shape : drawn.shapes) {
            if (!drawn.sources[shape.source].merged) {
                continue;
            }
            std::span<const drawn_point> points = points_of(drawn, shape);
            size_t count = points.size() - 1;  // closed by a repeat
            size_t reflex = 0;
            for (size_t i = 0; i < count; ++i) {
                reflex += orientation(points[(i + count - 1) % count], points[i], points[(i + 1) % count]) < 0;
            }
            bound += (reflex + 1) / 2 + 1;
            ++outlines;
        }
        std::printf("%s: %zu merged outlines, lower bound %zu pieces\n", argv[k], outlines, bound);
    }
    return 0;
}
