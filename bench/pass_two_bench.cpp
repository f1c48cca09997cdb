// Cost of the preparer's pass two on random maps: the fast cell search against the brute-force
// search over every point of each cell, whose masks must be the same.
#include "fixed_point.h"
#include "in_memory.h"
#include "platform.h"
#include "random_polygons.h"
#include "reference.h"
#include "passes.h"
#include "timing.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // the brute force takes about a minute on 1,000 polygons; "quick" leaves it out
    bool quick = argc > 1 && std::string(argv[1]) == "quick";
    std::FILE* discard = std::fopen(NULL_DEVICE, "wb");
    std::printf("%10s %14s %14s %10s %10s\n", "polygons", "fast (ms)", "brute (ms)", "ratio", "same");
    for (size_t count : {100u, 1000u, 10000u, 100000u}) {
        pass_result first = run_pass_one(random_map(uint32_t(count), count));
        std::vector<uint8_t> filled;
        refusal refused;
        double fast = seconds_per_run([&] {
            filled = first.bytes;
            (void)pass_two(filled, discard, refused);  // the maps are valid; the references check the masks
        });

        bool with_reference = !quick && count <= 1000;
        if (!with_reference) {
            std::printf("%10zu %14.2f %14s %10s %10s\n", count, fast * 1e3, "-", "-", "-");
            continue;
        }
        record_walk walk = walk_records(filled);
        bool same = true;
        double brute = seconds_per_run(
            [&] {
                for (const polygon_record& record : walk.records) {
                    const uint8_t* header = filled.data() + record.offset;
                    same = same && reference_splitspace_mask(header) == get_be16(header + 2);
                }
            },
            1, 0.0);
        std::printf("%10zu %14.2f %14.1f %10.0f %10s\n", count, fast * 1e3, brute * 1e3, brute / fast,
                    same ? "yes" : "NO");
    }
    std::fclose(discard);
    return 0;
}
