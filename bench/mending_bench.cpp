// Mending's convex pieces: how many, against r + 1 for r reflex corners, on random simple polygons,
// and how long a comb of 8,000 corners takes (mending_bench TEETH for another).
#include "geometry.h"
#include "mending.h"

#include "timing.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>

namespace {

// A star-shaped outline in the filled order: corners at sorted angles, each at its own radius.
std::vector<drawn_point> star_shaped(std::mt19937& rng, int count)
{
    std::vector<double> angles(static_cast<size_t>(count));
    for (double& angle : angles) {
        angle = std::uniform_real_distribution<double>(0.0, 2.0 * std::numbers::pi)(rng);
    }
    std::sort(angles.begin(), angles.end(), std::greater<>());
    std::vector<drawn_point> outline;
    for (double angle : angles) {
        double radius = std::uniform_real_distribution<double>(100.0, 700.0)(rng);
        outline.push_back({float(800 + radius * std::cos(angle)), float(800 + radius * std::sin(angle))});
    }
    outline.push_back(outline.front());
    return outline;
}

size_t reflex_corners(std::span<const drawn_point> closed)
{
    size_t count = closed.size() - 1;
    size_t reflex = 0;
    for (size_t i = 0; i < count; ++i) {
        const drawn_point& a = closed[(i + count - 1) % count];
        const drawn_point& b = closed[i];
        const drawn_point& c = closed[(i + 1) % count];
        reflex += orientation(a, b, c) < 0;
    }
    return reflex;
}

// Mends one outline into `mended`; false when it is refused.
bool mend_outline(std::span<const drawn_point> outline, drawing& mended)
{
    drawing drawn;
    drawn.files.assign(1, "bench.txt");
    add_shape(drawn, {});
    for (const drawn_point& point : outline) {
        add_vertex(drawn, point, 0);
    }
    std::vector<note> notes;
    refusal refused;
    return mend_drawing(drawn, 0, mended, notes, refused);
}

}  // namespace

int main(int argc, char** argv)
{
    std::mt19937 rng(5);
    double ratio_sum = 0.0;
    double worst = 0.0;
    int polygons = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<drawn_point> outline = star_shaped(rng, 5 + int(rng() % 60));
        drawing mended;
        if (!mend_outline(outline, mended)) {
            continue;
        }
        double ratio = double(mended.shapes.size()) / double(reflex_corners(outline) + 1);
        ratio_sum += ratio;
        worst = std::max(worst, ratio);
        ++polygons;
    }
    std::printf("random star-shaped polygons of 5 to 64 corners: %d, pieces / (r + 1) on average %.3f, at most %.3f\n",
                polygons, ratio_sum / polygons, worst);

    // a comb: 2,000 teeth of 4 corners each on a spine
    std::vector<drawn_point> comb;
    const int TEETH = argc > 1 ? std::atoi(argv[1]) : 2000;  // a comb of 4 TEETH + 2 corners
    for (int tooth = 0; tooth < TEETH; ++tooth) {
        float x = float(tooth) * 0.75f;
        for (auto [dx, y] : {std::pair{0.0f, 200.0f}, {0.0f, 1500.0f}, {0.5f, 1500.0f}, {0.5f, 200.0f}}) {
            comb.push_back({x + dx, y});
        }
    }
    comb.push_back({comb.back().x, 100});
    comb.push_back({0, 100});
    comb.push_back(comb.front());
    drawing mended;
    bool taken = false;
    double seconds = seconds_per_run([&] { taken = mend_outline(comb, mended); }, 1, 0.0);
    std::printf("a comb of %zu corners: %zu pieces for %zu reflex corners in %.3f s%s\n", comb.size() - 1,
                mended.shapes.size(), reflex_corners(comb), seconds, taken ? "" : ", refused");
    return 0;
}
