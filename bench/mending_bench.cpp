// Mending's convex pieces: how many, against r + 1 for r reflex corners, on random simple polygons,
// and how long a comb of 8,000 corners takes.
#include "tarvex.h"

#include "timing.h"

#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

namespace {

// A star-shaped outline in the filled order: corners at sorted angles, each at its own radius.
std::vector<vertex_line> star_shaped(std::mt19937& rng, int count)
{
    std::vector<double> angles(static_cast<size_t>(count));
    for (double& angle : angles) {
        angle = std::uniform_real_distribution<double>(0.0, 2.0 * std::numbers::pi)(rng);
    }
    std::sort(angles.begin(), angles.end(), std::greater<>());
    std::vector<vertex_line> outline;
    for (double angle : angles) {
        double radius = std::uniform_real_distribution<double>(100.0, 700.0)(rng);
        outline.push_back({float(800 + radius * std::cos(angle)), float(800 + radius * std::sin(angle)), 0, false});
    }
    outline.push_back(outline.front());
    return outline;
}

size_t reflex_corners(std::span<const vertex_line> closed)
{
    size_t count = closed.size() - 1;
    size_t reflex = 0;
    for (size_t i = 0; i < count; ++i) {
        const vertex_line& a = closed[(i + count - 1) % count];
        const vertex_line& b = closed[i];
        const vertex_line& c = closed[(i + 1) % count];
        reflex += (double(b.y) - a.y) * (double(c.x) - a.x) - (double(b.x) - a.x) * (double(c.y) - a.y) < 0.0;
    }
    return reflex;
}

size_t pieces_in(const mended_drawing& mended)
{
    size_t pieces = 0;
    for (size_t at = mended.text.find("newpolygon"); at != std::string::npos; at = mended.text.find("newpolygon", at + 1)) {
        ++pieces;
    }
    return pieces;
}

}  // namespace

int main()
{
    std::mt19937 rng(5);
    double ratio_sum = 0.0;
    double worst = 0.0;
    int polygons = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<vertex_line> outline = star_shaped(rng, 5 + int(rng() % 60));
        mended_drawing mended;
        if (!mend_shapes(std::vector{drawn_shape{1, 2, outline}}, mended)) {
            continue;
        }
        double ratio = double(pieces_in(mended)) / double(reflex_corners(outline) + 1);
        ratio_sum += ratio;
        worst = std::max(worst, ratio);
        ++polygons;
    }
    std::printf("random star-shaped polygons of 5 to 64 corners: %d, pieces / (r + 1) on average %.3f, at most %.3f\n",
                polygons, ratio_sum / polygons, worst);

    // a comb: 2,000 teeth of 4 corners each on a spine
    std::vector<vertex_line> comb;
    constexpr int TEETH = 2000;
    for (int tooth = 0; tooth < TEETH; ++tooth) {
        float x = float(tooth) * 0.75f;
        for (auto [dx, y] : {std::pair{0.0f, 200.0f}, {0.0f, 1500.0f}, {0.5f, 1500.0f}, {0.5f, 200.0f}}) {
            comb.push_back({x + dx, y, 0, false});
        }
    }
    comb.push_back({comb.back().x, 100, 0, false});
    comb.push_back({0, 100, 0, false});
    comb.push_back(comb.front());
    mended_drawing mended;
    double seconds = seconds_per_run([&] { mended = {}; (void)mend_shapes(std::vector{drawn_shape{1, 2, comb}}, mended); }, 1, 0.0);
    std::printf("a comb of %zu corners: %zu pieces for %zu reflex corners in %.3f s %s\n", comb.size() - 1,
                pieces_in(mended), reflex_corners(comb), seconds, mended.error.c_str());
    return 0;
}
