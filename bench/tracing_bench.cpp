// Tracing a painted level of 1600 x 1600 pixels: hills, floating islands with caves, rings and
// specks of noise; how long tracing takes, and how many outlines and corners it gives. With a
// picture's name (tracing_bench mask.png), the same for that picture.
#include "picture_tracing.h"

#include "timing.h"

#include <cmath>
#include <cstdio>
#include <random>

namespace {

void report(const char* what, const pixel_mask& mask)
{
    tracing traced;
    std::string problem;
    bool done = false;
    double seconds = seconds_per_run([&] { done = trace_mask(mask, {}, traced, problem); }, 3, 1.0);
    size_t corners = 0;
    for (const traced_outline& outline : traced.outlines) {
        corners += outline.points.size();
    }
    std::printf("%s of %d x %d: %zu outlines of %zu corners, %zu specks dropped, in %.3f s%s\n", what, mask.width,
                mask.height, traced.outlines.size(), corners, traced.regions_dropped + traced.holes_dropped, seconds,
                done ? "" : (", refused: " + problem).c_str());
}

pixel_mask painted_level()
{
    constexpr int SIDE = 1600;
    pixel_mask mask = {SIDE, SIDE, std::vector<uint8_t>(size_t(SIDE) * SIDE, 0)};
    std::mt19937 rng(11);
    auto set_disc = [&](double cx, double cy, double radius, uint8_t value) {
        for (int y = std::max(0, int(cy - radius)); y <= std::min(SIDE - 1, int(cy + radius)); ++y) {
            for (int x = std::max(0, int(cx - radius)); x <= std::min(SIDE - 1, int(cx + radius)); ++x) {
                if (std::hypot(x - cx, y - cy) <= radius) {
                    mask.solid[size_t(y) * SIDE + size_t(x)] = value;
                }
            }
        }
    };
    for (int x = 0; x < SIDE; ++x) {  // hills
        double ground = 1200 + 120 * std::sin(x / 97.0) + 40 * std::sin(x / 23.0);
        for (int y = int(ground); y < SIDE; ++y) {
            mask.solid[size_t(y) * SIDE + size_t(x)] = 1;
        }
    }
    std::uniform_real_distribution<double> across(0, SIDE);
    for (int k = 0; k < 40; ++k) {  // islands with caves
        double cx = across(rng);
        double cy = across(rng) * 0.6;
        set_disc(cx, cy, 30 + across(rng) / 40, 1);
        set_disc(cx + 5, cy + 3, 12, 0);
    }
    for (int k = 0; k < 2000; ++k) {  // specks
        mask.solid[size_t(across(rng)) * SIDE + size_t(across(rng))] = 1;
    }
    return mask;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        report("a painted level", painted_level());
        return 0;
    }
    std::vector<uint8_t> bytes;
    if (std::FILE* file = std::fopen(argv[1], "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;) {
            bytes.push_back(uint8_t(c));
        }
        std::fclose(file);
    }
    pixel_mask mask;
    std::string problem;
    if (!decode_mask(bytes, 128, mask, problem)) {
        std::printf("%s: %s\n", argv[1], problem.c_str());
        return 1;
    }
    report(argv[1], mask);
    return 0;
}
