// Edges that contain the polygon as drawn. Each stored edge is moved out, by the least that the
// 1/256 steps of its values allow, until every drawn vertex lies on its inner side exactly; since
// the polygon is convex, its drawn area then lies inside the stored polygon, and polygons that share
// an edge in the drawing leave no point between them uncovered.
#include "watertight.h"

#include "fixed_point.h"
#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace {

constexpr int NORMAL_STEPS = 3;            // raw C2 and C3 tried this far from the truncated ones
constexpr int SHARP_NORMAL_STEPS = 12;     // and this far at a sharp corner
constexpr double SHARP_HALF_SINE = 0.25;   // the sine of half a corner's angle below which it is sharp
constexpr double NORMAL_TOLERANCE = 0.01;   // |(C2, C3)| stays within 1 % of 1
constexpr double RAW_SCALE = 256.0;         // the edge values' 8 fraction bits

// An exact sum of two doubles: `high` is the rounded sum and `low` what rounding left out.
struct exact_sum {
    double high;
    double low;
};

exact_sum two_sum(double a, double b)
{
    double high = a + b;
    double b_virtual = high - a;
    double a_virtual = high - b_virtual;
    return {high, (a - a_virtual) + (b - b_virtual)};
}

// Whether a > b, for exact sums.
bool greater(const exact_sum& a, const exact_sum& b)
{
    return a.high > b.high || (a.high == b.high && a.low > b.low);
}

// The least integer not below the exact sum. Rounding is monotone, so the exact value lies on the
// same side of every integer as `high`, or on it; only an integral `high` leaves a choice.
double ceiling(const exact_sum& value)
{
    double up = std::ceil(value.high);
    return up == value.high && value.low > 0.0 ? up + 1.0 : up;
}

// -(y * c2 + x * c3) in raw units: how far below zero the stored distance at a vertex would be
// without C1. A float times an integer of at most 16 bits is exact in double.
exact_sum needed_c1(const drawn_point& vertex, int c2, int c3)
{
    return two_sum(-double(vertex.y) * double(c2), -double(vertex.x) * double(c3));
}

// The vertex of the convex outline where needed_c1 is largest, found by climbing from `start`: along
// a convex outline a linear function rises to its largest value and falls again once.
exact_sum largest_needed_c1(std::span<const drawn_point> outline, size_t start, int c2, int c3)
{
    size_t count = outline.size();
    exact_sum best = needed_c1(outline[start], c2, c3);
    for (size_t step : {size_t(1), count - 1}) {
        size_t at = start;
        for (size_t walked = 1; walked < count; ++walked) {
            size_t next = (at + step) % count;
            exact_sum value = needed_c1(outline[next], c2, c3);
            if (!greater(value, best)) {
                break;
            }
            best = value;
            at = next;
        }
    }
    return best;
}

struct candidate {
    int c1 = 0;
    int c2 = 0;
    int c3 = 0;
    double overshoot = 0.0;  // how far the stored line lies outside the drawn edge's ends
    double weighted = 0.0;   // the same over the sines of half the corners' angles
    int distance = 0;        // steps from the truncated normal, to prefer it among equals
};

// Within a unit of the drawn edge, the line that hugs its sharper corner best; failing that, the line
// that lies least outside.
bool better(const candidate& a, const candidate& b)
{
    bool a_close = a.overshoot <= 1.0;
    bool b_close = b.overshoot <= 1.0;
    if (a_close != b_close) {
        return a_close;
    }
    double a_measure = a_close ? a.weighted : a.overshoot;
    double b_measure = b_close ? b.weighted : b.overshoot;
    return a_measure < b_measure || (a_measure == b_measure && a.distance < b.distance);
}

// A candidate's measures for a C1: how far its line lies outside the edge's ends, plain and weighed
// by the corners' sharpness, computed in the same steps for any C1.
candidate measured(double c1, const drawn_point& a, const drawn_point& b, int c2, int c3, double length,
                   double sine_a, double sine_b)
{
    double at_a = c1 + double(a.y) * c2 + double(a.x) * c3;
    double at_b = c1 + double(b.y) * c2 + double(b.x) * c3;
    return {0, c2, c3, std::max(at_a, at_b) / length, std::max(at_a / sine_a, at_b / sine_b) / length, 0};
}

// Whether a candidate whose measures are at least `least` can be better than `best` at all.
bool cannot_win(const candidate& least, int distance, const candidate& best)
{
    bool best_close = best.overshoot <= 1.0;
    if (best_close) {
        // only a close candidate of less weighed overshoot, or as little and nearer, wins
        return least.overshoot > 1.0 || least.weighted > best.weighted ||
               (least.weighted == best.weighted && distance >= best.distance);
    }
    // a close candidate wins, and so does one that lies less outside
    return least.overshoot > 1.0 &&
           (least.overshoot > best.overshoot || (least.overshoot == best.overshoot && distance >= best.distance));
}

// The least whole number not below, and the greatest not above, a value of less than 2^31 in size,
// without a call into the maths library.
int whole_ceiling(double value)
{
    int whole = int(value);
    return whole + (double(whole) < value ? 1 : 0);
}

int whole_floor(double value)
{
    int whole = int(value);
    return whole - (double(whole) > value ? 1 : 0);
}

// The whole numbers x of [low, high] for which rate * x may lie within [from, to], found in plain
// arithmetic, held near [low, high] (a tiny rate may make them overflow) and widened far beyond what
// rounding moves them; the first above the last where there is none.
inline std::pair<int, int> whole_range(double from, double to, double rate, int low, int high)
{
    if (rate == 0.0) {
        return from <= 0.0 && 0.0 <= to ? std::pair{low, high} : std::pair{high + 1, high};
    }
    double first = std::clamp(from / rate, double(low - 2), double(high + 2));
    double last = std::clamp(to / rate, double(low - 2), double(high + 2));
    if (first > last) {
        std::swap(first, last);
    }
    return {std::max(low, whole_ceiling(first - 1e-6 - 1e-12 * std::fabs(first))),
            std::min(high, whole_floor(last + 1e-6 + 1e-12 * std::fabs(last)))};
}

int truncated_raw(float value)
{
    return int(float(double(value) * RAW_SCALE));
}

}  // namespace

void corner_sines(std::span<const drawn_point> outline, std::vector<double>& sines)
{
    // each edge's length is found once, for the corners at both its ends
    size_t count = outline.size();
    sines.resize(count);
    double before = edge_length(outline[count - 1], outline[0]);
    for (size_t k = 0; k < count; ++k) {
        double after = edge_length(outline[k], outline[(k + 1) % count]);
        sines[k] = std::max(corner_half_sine(outline[(k + count - 1) % count], outline[k], outline[(k + 1) % count],
                                             before, after),
                            1e-3);
        before = after;
    }
}

edge_equation contained_edge(std::span<const drawn_point> outline, size_t edge, const edge_equation& computed,
                             std::span<const double> sines)
{
    size_t count = outline.size();
    const drawn_point& a = outline[edge];
    const drawn_point& b = outline[(edge + 1) % count];
    double sine_a = sines[edge];
    double sine_b = sines[(edge + 1) % count];
    int steps = std::min(sine_a, sine_b) < SHARP_HALF_SINE ? SHARP_NORMAL_STEPS : NORMAL_STEPS;
    int t2 = truncated_raw(computed.c2);
    int t3 = truncated_raw(computed.c3);
    candidate best;
    bool found = false;
    // Every candidate lies outside the edge's ends by at least |at a - at b|, what its turn away from
    // the edge makes, and that needs no C1: a candidate that cannot win by it is not measured.
    // The truncated normal, tried first, usually wins or comes close, so few others are measured;
    // the winner is the one the order below finds first, as the truncated one is the only one at
    // distance 0.
    double magnitude = (std::fabs(a.x) + std::fabs(a.y) + std::fabs(b.x) + std::fabs(b.y)) * 2.0 * (steps + std::abs(t2) + std::abs(t3));
    double slack = 1e-12 * magnitude;  // far beyond what rounding moves the measures
    auto try_candidate = [&](int c2, int c3) {
        double length = std::sqrt(double(c2) * double(c2) + double(c3) * double(c3));
        if (std::fabs(length / RAW_SCALE - 1.0) > NORMAL_TOLERANCE) {
            return;
        }
        int distance = std::abs(c2 - t2) + std::abs(c3 - t3);
        if (found) {
            double turned = std::fabs((double(a.y) - b.y) * c2 + (double(a.x) - b.x) * c3);
            double least = std::max(turned - slack, 0.0) / length;
            if (cannot_win({0, c2, c3, least, least, 0}, distance, best)) {
                return;
            }
        }
        // C1 holds at least the edge's own ends, and every measure rises with C1, each rounding
        // step being monotone: a candidate whose least measures cannot win is not climbed for
        double least_c1 = ceiling(std::max(needed_c1(a, c2, c3), needed_c1(b, c2, c3),
                                           [](const auto& x, const auto& y) { return greater(y, x); }));
        if (found && cannot_win(measured(least_c1, a, b, c2, c3, length, sine_a, sine_b), distance, best)) {
            return;
        }
        double c1 = ceiling(largest_needed_c1(outline, edge, c2, c3));
        if (std::fabs(c1) > double(INT32_MAX)) {
            return;
        }
        candidate tried = measured(c1, a, b, c2, c3, length, sine_a, sine_b);
        tried.c1 = int(c1);
        tried.distance = distance;
        if (!found || better(tried, best)) {
            best = tried;
            found = true;
        }
    };
    try_candidate(t2, t3);
    // Once a close candidate is found, only a candidate whose turn, across * C3 + down * C2, is within
    // its weighed overshoot times the longest normal can win: only the rows of C2 where some C3 of
    // the box turns that little are tried, and in each only those C3. The best only comes nearer as
    // the search goes on, so ranges found with an earlier one hold.
    double across = double(a.x) - b.x;
    double down = double(a.y) - b.y;
    auto reach = [&] {  // how far a turn may go and still win; without limit until a close one is found
        return found && best.overshoot <= 1.0
                   ? best.weighted * RAW_SCALE * (1.0 + NORMAL_TOLERANCE) * (1.0 + 1e-9) + slack
                   : HUGE_VAL;
    };
    double low_turn = std::min(across * (t3 - steps), across * (t3 + steps));
    double high_turn = std::max(across * (t3 - steps), across * (t3 + steps));
    double row_reach = reach();
    auto [first_row, last_row] = whole_range(-row_reach - high_turn, row_reach - low_turn, down, t2 - steps, t2 + steps);
    for (int c2 = first_row; c2 <= last_row; ++c2) {
        double turn = down * c2;
        double column_reach = reach();
        auto [first, last] = whole_range(-column_reach - turn, column_reach - turn, across, t3 - steps, t3 + steps);
        for (int c3 = first; c3 <= last; ++c3) {
            if (c2 != t2 || c3 != t3) {
                try_candidate(c2, c3);
            }
        }
    }
    if (!found) {
        return computed;  // stored_edge_holds tells the caller
    }
    // far from the origin C1 may not fit a float: round it outward, so the stored line still holds
    double c1 = best.c1 / RAW_SCALE;
    float stored_c1 = float(c1);
    if (double(stored_c1) < c1) {
        stored_c1 = std::nextafter(stored_c1, INFINITY);
    }
    return {stored_c1, float(best.c2 / RAW_SCALE), float(best.c3 / RAW_SCALE)};
}

bool stored_edge_holds(std::span<const drawn_point> outline, const uint8_t* stored)
{
    // the raw values are integers: C1 of 32 bits, C2 and C3 of 16, and a float times one of 16 bits
    // is exact in double
    double c1 = double(int32_t(get_be32(stored)));
    int c2 = int16_t(get_be16(stored + 4));
    int c3 = int16_t(get_be16(stored + 6));
    for (const drawn_point& vertex : outline) {
        if (greater(needed_c1(vertex, c2, c3), {c1, 0.0})) {
            return false;
        }
    }
    return true;
}
