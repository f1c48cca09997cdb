// Tracing pictures. The pixel edges between solid and empty are followed into loops through their
// middles; where two solid pixels meet only at a corner they stay apart, so no loop touches another or
// itself. Each loop is then simplified within the tolerance, less wherever that would make loops
// meet; the pixels' own loops never do.
#include "picture_tracing.h"

#include "geometry.h"
#include "merging.h"

// stb_image (Debian: libstb-dev) decodes PNG and TGA; its functions stay private to this file
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 16384
#include <stb_image.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <memory>

static_assert(STBI_MAX_DIMENSIONS == MAX_PICTURE_SIDE);

namespace {

// Directions along pixel edges, each a right turn from the one before on the picture: right, down,
// left, up.
constexpr int STEP_X[4] = {1, 0, -1, 0};
constexpr int STEP_Y[4] = {0, 1, 0, -1};
constexpr double LEAST_TOLERANCE = 1.0 / 16.0;  // below this, a loop keeps every corner it was traced with
constexpr int MAX_ROUNDS = 64;

struct pixel_loop {
    std::vector<drawn_point> points;
    int32_t x;  // the pixel whose top edge starts it
    int32_t y;
    uint32_t region;
    double twice_area;  // below zero for a region's outline, above for a hole's
};

bool solid_at(const pixel_mask& mask, int x, int y)
{
    return x >= 0 && y >= 0 && x < mask.width && y < mask.height &&
           mask.solid[size_t(y) * size_t(mask.width) + size_t(x)] != 0;
}

// Numbers each region of solid pixels joined by their sides; empty pixels get NO_INDEX. `sizes` has
// each region's pixels.
std::vector<uint32_t> label_regions(const pixel_mask& mask, std::vector<uint64_t>& sizes)
{
    size_t width = size_t(mask.width);
    std::vector<uint32_t> labels(mask.solid.size(), NO_INDEX);
    std::vector<size_t> waiting;
    for (size_t start = 0; start < labels.size(); ++start) {
        if (!mask.solid[start] || labels[start] != NO_INDEX) {
            continue;
        }
        uint32_t region = uint32_t(sizes.size());
        sizes.push_back(0);
        labels[start] = region;
        waiting.push_back(start);
        while (!waiting.empty()) {
            size_t at = waiting.back();
            waiting.pop_back();
            ++sizes[region];
            size_t x = at % width;
            const size_t neighbours[4] = {x + 1 < width ? at + 1 : SIZE_MAX, x > 0 ? at - 1 : SIZE_MAX,
                                          at + width < labels.size() ? at + width : SIZE_MAX,
                                          at >= width ? at - width : SIZE_MAX};
            for (size_t next : neighbours) {
                if (next != SIZE_MAX && mask.solid[next] && labels[next] == NO_INDEX) {
                    labels[next] = region;
                    waiting.push_back(next);
                }
            }
        }
    }
    return labels;
}

// Whether the pixel edge leaving corner (x, y) in `direction` has solid on its right and empty on
// its left, as every edge of a loop has.
bool edge_leaves(const pixel_mask& mask, int x, int y, int direction)
{
    bool top_left = solid_at(mask, x - 1, y - 1);
    bool top_right = solid_at(mask, x, y - 1);
    bool bottom_left = solid_at(mask, x - 1, y);
    bool bottom_right = solid_at(mask, x, y);
    switch (direction) {
    case 0: return bottom_right && !top_right;
    case 1: return bottom_left && !bottom_right;
    case 2: return top_left && !bottom_left;
    default: return top_right && !top_left;
    }
}

// Whether two solid pixels meet only at the corner (x, y), diagonally.
bool diagonal_at(const pixel_mask& mask, int x, int y)
{
    bool top_left = solid_at(mask, x - 1, y - 1);
    bool bottom_right = solid_at(mask, x, y);
    return top_left == bottom_right && solid_at(mask, x, y - 1) == solid_at(mask, x - 1, y) &&
           top_left != solid_at(mask, x, y - 1);
}

// Follows the loop whose first edge is the top of pixel (x, y). At a corner where two solid pixels
// meet diagonally two edges leave; the right turn keeps to the pixel the loop came along. The loop
// runs through the middles of its pixel edges, as marching squares does between pixel centres, so
// that at such a corner the loops pass 1/2 pixel apart and a staircase is a slope; where two straight
// runs of two pixels or more meet anywhere else, it keeps their corner, so that a painted rectangle
// stays one.
pixel_loop follow_loop(const pixel_mask& mask, int x, int y, std::vector<bool>& top_done)
{
    struct pixel_edge {
        int x;  // the corner it starts at
        int y;
        int heading;
    };
    std::vector<pixel_edge> edges;
    int at_x = x;
    int at_y = y;
    int heading = 0;
    do {
        if (heading == 0) {
            top_done[size_t(at_y) * size_t(mask.width) + size_t(at_x)] = true;
        }
        edges.push_back({at_x, at_y, heading});
        at_x += STEP_X[heading];
        at_y += STEP_Y[heading];
        int incoming = heading;
        heading = -1;
        for (int turn : {1, 0, 3}) {
            if (edge_leaves(mask, at_x, at_y, (incoming + turn) % 4)) {
                heading = (incoming + turn) % 4;
                break;
            }
        }
        if (heading < 0) {
            break;  // every corner a loop reaches has an edge onward; kept as a guard
        }
    } while (at_x != x || at_y != y || heading != 0);

    // the straight runs, from one that starts where the heading changes
    size_t count = edges.size();
    size_t first = 0;
    while (first < count && edges[(first + count - 1) % count].heading == edges[first].heading) {
        ++first;
    }
    first = first == count ? 0 : first;
    std::vector<std::pair<size_t, size_t>> runs;  // first edge and length
    for (size_t k = 0; k < count; ++k) {
        const pixel_edge& edge = edges[(first + k) % count];
        if (runs.empty() || edges[(first + k + count - 1) % count].heading != edge.heading) {
            runs.push_back({(first + k) % count, 0});
        }
        ++runs.back().second;
    }
    // pixel (x, y) stands for the unit square round the point (x, y), as the imager draws it; at the
    // picture's edge the square ends at the point, so that no piece lies wholly outside its points
    std::vector<drawn_point> points;
    auto add = [&](float px, float py) {
        drawn_point point = {mask.width > 1 ? std::clamp(px, 0.0f, float(mask.width - 1)) : px,
                             mask.height > 1 ? std::clamp(py, 0.0f, float(mask.height - 1)) : py};
        if (points.empty() || point.x != points.back().x || point.y != points.back().y) {
            points.push_back(point);  // a corner of the picture clamps two points onto one
        }
    };
    auto middle = [&](const pixel_edge& edge) {
        add(float(edge.x) - 0.5f + 0.5f * float(STEP_X[edge.heading]),
            float(edge.y) - 0.5f + 0.5f * float(STEP_Y[edge.heading]));
    };
    for (size_t r = 0; r < runs.size(); ++r) {
        auto [start, length] = runs[r];
        middle(edges[start]);
        middle(edges[(start + length - 1) % count]);
        const pixel_edge& next = edges[runs[(r + 1) % runs.size()].first];
        if (length >= 2 && runs[(r + 1) % runs.size()].second >= 2 && runs.size() > 1 &&
            !diagonal_at(mask, next.x, next.y)) {
            add(float(next.x) - 0.5f, float(next.y) - 0.5f);
        }
    }
    while (points.size() > 1 && points.front().x == points.back().x && points.front().y == points.back().y) {
        points.pop_back();
    }
    pixel_loop loop = {{}, x, y, 0, 0.0};
    size_t corners = points.size();
    for (size_t i = 0; i < corners; ++i) {
        if (orientation(points[(i + corners - 1) % corners], points[i], points[(i + 1) % corners]) != 0) {
            loop.points.push_back(points[i]);
        }
    }
    loop.twice_area = twice_area(loop.points);
    return loop;
}

// The loop's corners taken greedily: from each kept corner the chord runs as far round as it holds,
// from the loop's corner `start`, each chord standing for at most MAX_CHORD corners.
std::vector<size_t> greedy_corners(const std::vector<drawn_point>& loop, double tolerance, size_t start)
{
    constexpr size_t MAX_CHORD = 256;
    size_t count = loop.size();
    std::vector<size_t> at = {start};
    size_t walked = 0;
    while (walked < count) {
        size_t reach = 1;
        while (reach < MAX_CHORD && walked + reach + 1 <= count &&
               chord_holds(loop, (start + walked) % count, (start + walked + reach + 1) % count, tolerance)) {
            ++reach;
        }
        walked += reach;
        if (walked < count) {
            at.push_back((start + walked) % count);
        }
    }
    return at;
}

// Douglas and Peucker on a closed loop: from its first corner and the corner farthest from it, each
// run between kept corners keeps its farthest corner while that lies beyond the tolerance.
std::vector<drawn_point> simplified(const std::vector<drawn_point>& loop, double tolerance)
{
    size_t count = loop.size();
    if (tolerance <= 0.0 || count <= 4) {
        return loop;
    }
    size_t farthest = 0;
    double most = -1.0;
    for (size_t i = 1; i < count; ++i) {
        double distance = std::hypot(double(loop[i].x) - loop[0].x, double(loop[i].y) - loop[0].y);
        if (distance > most) {
            most = distance;
            farthest = i;
        }
    }
    std::vector<bool> kept(count, false);
    kept[0] = true;
    kept[farthest] = true;
    std::vector<std::pair<size_t, size_t>> runs = {{0, farthest}, {farthest, count}};
    while (!runs.empty()) {
        auto [from, to] = runs.back();
        runs.pop_back();
        size_t far = from;
        double worst = tolerance;
        for (size_t i = from + 1; i < to; ++i) {
            double distance = distance_to_segment(loop[i], loop[from], loop[to % count]);
            if (distance > worst) {
                worst = distance;
                far = i;
            }
        }
        if (far != from) {
            kept[far] = true;
            runs.push_back({from, far});
            runs.push_back({far, to});
        }
    }
    // Douglas and Peucker keep corners that a chord between their neighbours could stand for: each
    // goes whose neighbours' chord passes within the tolerance of every corner between them
    std::vector<size_t> at;
    for (size_t i = 0; i < count; ++i) {
        if (kept[i]) {
            at.push_back(i);
        }
    }
    for (bool dropped = true; dropped && at.size() > 3;) {
        dropped = false;
        for (size_t k = 0; k < at.size() && at.size() > 3;) {
            if (chord_holds(loop, at[(k + at.size() - 1) % at.size()], at[(k + 1) % at.size()], tolerance)) {
                at.erase(at.begin() + long(k));
                dropped = true;
            } else {
                ++k;
            }
        }
    }
    // a greedy walk from the corner farthest from the first often needs fewer corners still
    std::vector<size_t> greedy = greedy_corners(loop, tolerance, farthest);
    if (greedy.size() >= 3 && greedy.size() < at.size()) {
        at = std::move(greedy);
    }
    std::vector<drawn_point> corners;
    for (size_t i : at) {
        corners.push_back(loop[i]);
    }
    return corners;
}

// Simplifies every loop within the tolerance, halving it for the loops that would then meet
// themselves or another, lose their third corner, or turn the other way, until none does.
bool simplify_apart(const std::vector<pixel_loop>& loops, double tolerance, std::vector<std::vector<drawn_point>>& out)
{
    std::vector<double> allowed(loops.size(), tolerance);
    out.resize(loops.size());
    for (size_t k = 0; k < loops.size(); ++k) {
        out[k] = simplified(loops[k].points, allowed[k]);
    }
    for (int round = 0; round < MAX_ROUNDS; ++round) {
        std::vector<bool> meeting = outlines_that_meet(out);
        bool any = false;
        for (size_t k = 0; k < loops.size(); ++k) {
            double area = out[k].size() >= 3 ? twice_area(out[k]) : 0.0;
            if (!meeting[k] && area * loops[k].twice_area > 0.0) {
                continue;
            }
            if (allowed[k] == 0.0) {
                return false;  // the pixels' own loops meet: never so, kept as a guard
            }
            any = true;
            allowed[k] = allowed[k] / 2.0 < LEAST_TOLERANCE ? 0.0 : allowed[k] / 2.0;
            out[k] = simplified(loops[k].points, allowed[k]);
        }
        if (!any) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool names_picture(const std::string& name)
{
    auto ends_with = [&](std::string_view end) {
        return name.size() >= end.size() &&
               std::equal(end.begin(), end.end(), name.end() - long(end.size()),
                          [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
    };
    return ends_with(".png") || ends_with(".tga");
}

bool decode_mask(std::span<const uint8_t> bytes, int threshold, pixel_mask& mask, std::string& problem)
{
    if (bytes.size() > size_t(INT_MAX)) {
        problem = "the picture is too large to decode";
        return false;
    }
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels)) {
        problem = std::string("the picture cannot be decoded as PNG or TGA (") + stbi_failure_reason() + ")";
        return false;
    }
    if (width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE || uint64_t(width) * uint64_t(height) > MAX_PICTURE_PIXELS) {
        problem = "the picture is " + std::to_string(width) + " x " + std::to_string(height) + " pixels; at most " +
                  with_thousands(MAX_PICTURE_PIXELS) + " pixels, " + std::to_string(MAX_PICTURE_SIDE) +
                  " to a side, are traced";
        return false;
    }
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load_from_memory(bytes.data(), int(bytes.size()), &width, &height, &channels, 4), stbi_image_free);
    if (!pixels) {
        problem = std::string("the picture cannot be decoded as PNG or TGA (") + stbi_failure_reason() + ")";
        return false;
    }
    bool alpha = channels == 2 || channels == 4;
    mask.width = width;
    mask.height = height;
    mask.solid.assign(size_t(width) * size_t(height), 0);
    const stbi_uc* pixel = pixels.get();
    for (uint8_t& solid : mask.solid) {
        solid = alpha ? pixel[3] >= threshold : (pixel[0] | pixel[1] | pixel[2]) != 0;
        pixel += 4;
    }
    return true;
}

bool trace_mask(const pixel_mask& mask, const trace_settings& settings, tracing& traced, std::string& problem)
{
    traced = {};
    std::vector<uint64_t> sizes;
    std::vector<uint32_t> labels = label_regions(mask, sizes);
    std::vector<bool> top_done(mask.solid.size(), false);
    std::vector<pixel_loop> loops;
    for (int y = 0; y < mask.height; ++y) {
        for (int x = 0; x < mask.width; ++x) {
            size_t at = size_t(y) * size_t(mask.width) + size_t(x);
            if (!mask.solid[at] || top_done[at] || solid_at(mask, x, y - 1)) {
                continue;
            }
            pixel_loop loop = follow_loop(mask, x, y, top_done);
            loop.region = labels[at];
            bool outline = loop.twice_area < 0.0;
            if (double(sizes[loop.region]) < settings.min_area) {
                traced.regions_dropped += outline ? 1 : 0;
            } else if (!outline && loop.twice_area < 2.0 * settings.min_area) {
                ++traced.holes_dropped;
            } else {
                loops.push_back(std::move(loop));
            }
        }
    }
    std::vector<std::vector<drawn_point>> simple;
    if (!simplify_apart(loops, settings.tolerance, simple)) {
        problem = "the traced outlines cannot be kept apart";
        return false;
    }
    // each region's outline, and its holes, by region
    std::vector<uint32_t> outline_of(sizes.size(), NO_INDEX);
    std::vector<std::vector<std::vector<drawn_point>>> holes(sizes.size());
    for (size_t k = 0; k < loops.size(); ++k) {
        if (loops[k].twice_area < 0.0) {
            outline_of[loops[k].region] = uint32_t(k);
        } else {
            holes[loops[k].region].push_back(std::move(simple[k]));
        }
        traced.pixel_edges.push_back(std::move(loops[k].points));
    }
    std::vector<std::vector<drawn_point>> outlines;
    for (uint32_t region = 0; region < sizes.size(); ++region) {
        uint32_t k = outline_of[region];
        if (k == NO_INDEX) {
            continue;
        }
        if (holes[region].empty()) {
            // a loop is simple and on the grid already: it only needs the filled order
            outlines.assign(1, std::move(simple[k]));
            if (twice_area(outlines[0]) < 0.0) {
                std::reverse(outlines[0].begin(), outlines[0].end());
            }
        } else if (!holed_outlines(simple[k], holes[region], outlines)) {
            problem = "the region from pixel (" + std::to_string(loops[k].x) + "," + std::to_string(loops[k].y) +
                      ") has more than " + std::to_string(MAX_MERGED_HOLES) + " holes; a larger --min-area helps";
            return false;
        }
        for (std::vector<drawn_point>& outline : outlines) {
            traced.outlines.push_back({std::move(outline), loops[k].x, loops[k].y});
        }
    }
    return true;
}

void add_traced(const tracing& traced, const map_settings& placement, drawing& drawn)
{
    for (const traced_outline& outline : traced.outlines) {
        add_shape(drawn, {.file = 0, .line = 0, .cell_x = outline.pixel_x, .cell_y = outline.pixel_y, .traced = true});
        for (size_t i = 0; i <= outline.points.size(); ++i) {
            add_vertex(drawn, placed(outline.points[i % outline.points.size()], placement));
        }
    }
    for (const std::vector<drawn_point>& loop : traced.pixel_edges) {
        std::vector<drawn_point>& edges = drawn.made_from.emplace_back();
        for (const drawn_point& point : loop) {
            edges.push_back(placed(point, placement));
        }
    }
}
