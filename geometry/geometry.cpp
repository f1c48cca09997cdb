// The geometry core's predicates. Products of two floats are exact in double (48 bits of 53, and no
// float product leaves double's range), so an exact sign needs only exact sums of such products.
#include "geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>

namespace {

// a + b as the rounded sum and what rounding left out, exactly (Knuth's two-sum).
void two_sum(double a, double b, double& sum, double& lost)
{
    sum = a + b;
    double b_virtual = sum - a;
    double a_virtual = sum - b_virtual;
    lost = (a - a_virtual) + (b - b_virtual);
}

// A sum kept exactly as an expansion: components that do not overlap, in increasing magnitude, none
// zero. Its sign is that of its largest component.
struct exact_total {
    std::vector<double> components;
};

void add_exactly(exact_total& total, double value)
{
    // grow the expansion by one value (Shewchuk's Grow-Expansion, dropping zeros)
    size_t kept = 0;
    double carry = value;
    for (double component : total.components) {
        double sum = 0.0;
        double lost = 0.0;
        two_sum(carry, component, sum, lost);
        carry = sum;
        if (lost != 0.0) {
            total.components[kept++] = lost;
        }
    }
    total.components.resize(kept);
    if (carry != 0.0) {
        total.components.push_back(carry);
    }
}

int sign_of(const exact_total& total)
{
    return total.components.empty() ? 0 : (total.components.back() > 0.0 ? 1 : -1);
}

// What a rounded turn may be off by, relative to the size of its two products (Shewchuk's bound for
// the orientation of double points).
constexpr double EPSILON = 0x1p-53;
constexpr double TURN_ERROR_BOUND = (3.0 + 16.0 * EPSILON) * EPSILON;

}  // namespace

int orientation(drawn_point o, drawn_point a, drawn_point b)
{
    double left = (double(a.y) - o.y) * (double(b.x) - o.x);
    double right = (double(a.x) - o.x) * (double(b.y) - o.y);
    double value = left - right;
    double bound = TURN_ERROR_BOUND * (std::fabs(left) + std::fabs(right));
    if (value > bound) {
        return 1;
    }
    if (-value > bound) {
        return -1;
    }
    // (ay - oy)(bx - ox) - (ax - ox)(by - oy), multiplied out: the oy * ox terms cancel
    exact_total total;
    total.components.reserve(8);
    for (double product : {double(a.y) * b.x, -double(a.y) * o.x, -double(o.y) * b.x, -double(a.x) * b.y,
                           double(a.x) * o.y, double(o.x) * b.y}) {
        add_exactly(total, product);
    }
    return sign_of(total);
}

double turn_size(drawn_point o, drawn_point a, drawn_point b)
{
    return (double(a.y) - o.y) * (double(b.x) - o.x) - (double(a.x) - o.x) * (double(b.y) - o.y);
}

double twice_area(std::span<const drawn_point> outline)
{
    double sum = 0.0;
    for (size_t i = 0; i < outline.size(); ++i) {
        const drawn_point& a = outline[i];
        const drawn_point& b = outline[(i + 1) % outline.size()];
        sum += double(b.x) * a.y - double(a.x) * b.y;
    }
    return sum;
}

bool areas_sum_exactly(std::span<const drawn_point> whole, std::span<const std::vector<drawn_point>> pieces)
{
    exact_total difference;
    auto add_outline = [&](std::span<const drawn_point> outline, double sign) {
        for (size_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[i];
            const drawn_point& b = outline[(i + 1) % outline.size()];
            add_exactly(difference, sign * double(b.x) * a.y);
            add_exactly(difference, -sign * double(a.x) * b.y);
        }
    };
    add_outline(whole, 1.0);
    for (const std::vector<drawn_point>& piece : pieces) {
        add_outline(piece, -1.0);
    }
    return sign_of(difference) == 0;
}

point_side side_of_convex(std::span<const drawn_point> outline, drawn_point point)
{
    point_side side = point_side::inside;
    for (size_t i = 0; i < outline.size(); ++i) {
        int turn = orientation(outline[i], outline[(i + 1) % outline.size()], point);
        if (turn < 0) {
            return point_side::outside;
        }
        if (turn == 0) {
            side = point_side::on_edge;
        }
    }
    return side;
}

polygon_crossing find_crossing(std::span<const drawn_point> points)
{
    size_t count = points.size();
    auto within = [](const drawn_point& a, const drawn_point& b, const drawn_point& p) {
        return std::min(a.x, b.x) <= p.x && p.x <= std::max(a.x, b.x) && std::min(a.y, b.y) <= p.y &&
               p.y <= std::max(a.y, b.y);
    };
    for (size_t i = 0; i < count; ++i) {
        const drawn_point& a = points[i];
        const drawn_point& b = points[(i + 1) % count];
        for (size_t j = i + 2; j < count; ++j) {
            if (i == 0 && j == count - 1) {
                continue;  // the closing edge is next to the first
            }
            const drawn_point& c = points[j];
            const drawn_point& d = points[(j + 1) % count];
            if (std::max(c.x, d.x) < std::min(a.x, b.x) || std::min(c.x, d.x) > std::max(a.x, b.x)) {
                continue;
            }
            int abc = orientation(a, b, c);
            int abd = orientation(a, b, d);
            int cda = orientation(c, d, a);
            int cdb = orientation(c, d, b);
            if (abc * abd < 0 && cda * cdb < 0) {
                double across = turn_size(c, d, a) / (turn_size(c, d, a) - turn_size(c, d, b));
                return {true, i, j,
                        {float(a.x + across * (double(b.x) - a.x)), float(a.y + across * (double(b.y) - a.y))}};
            }
            for (const auto& [on, from, to, point] : {std::tuple{abc, a, b, c}, std::tuple{abd, a, b, d},
                                                      std::tuple{cda, c, d, a}, std::tuple{cdb, c, d, b}}) {
                if (on == 0 && within(from, to, point)) {
                    return {true, i, j, point};
                }
            }
        }
    }
    return {};
}

double corner_half_sine(drawn_point before, drawn_point corner, drawn_point after)
{
    double ux = double(before.x) - corner.x;
    double uy = double(before.y) - corner.y;
    double vx = double(after.x) - corner.x;
    double vy = double(after.y) - corner.y;
    double cosine = (ux * vx + uy * vy) / (std::hypot(ux, uy) * std::hypot(vx, vy));
    return std::sqrt(std::max(0.0, (1.0 - cosine) / 2.0));
}
