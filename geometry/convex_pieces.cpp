// Splitting a simple polygon into convex pieces: ear clipping into triangles, then Hertel and
// Mehlhorn's removal of every diagonal whose two pieces stay convex together. That gives at most
// 2r + 1 pieces for r reflex vertices, and no split has fewer than r / 2 + 1.
//
// Every turn is decided exactly, by the geometry core's orientation.
#include "mending.h"

#include "geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <tuple>
#include <unordered_map>

namespace {

constexpr double FAT_EAR_SINE = 0.05;  // about 3 degrees

// Whether p lies inside the triangle a, b, c of the filled order, or on its border.
bool in_triangle(const drawn_point& a, const drawn_point& b, const drawn_point& c, const drawn_point& p)
{
    const drawn_point triangle[] = {a, b, c};
    return side_of_convex(triangle, p) != point_side::outside;
}

// The ring of vertices not yet clipped.
struct ring {
    std::vector<uint32_t> previous;
    std::vector<uint32_t> next;
};

// The corners that may block an ear, by the squares of a grid over the outline's bounds, so that an
// ear's triangle is tried against the corners near it rather than all of them.
struct corner_grid {
    square_grid grid;
    std::vector<std::vector<uint32_t>> squares;
    std::vector<bool> entered;
};

corner_grid corners_by_square(std::span<const drawn_point> points)
{
    square_grid grid = grid_over(bounds_of(points), points.size());
    return {grid, std::vector<std::vector<uint32_t>>(size_t(grid.side) * size_t(grid.side)),
            std::vector<bool>(points.size(), false)};
}

void enter(corner_grid& corners, std::span<const drawn_point> points, uint32_t corner)
{
    if (corners.entered[corner]) {
        return;
    }
    corners.entered[corner] = true;
    const square_grid& grid = corners.grid;
    corners.squares[grid.index(grid.column(points[corner].x), grid.row(points[corner].y))].push_back(corner);
}

// Ear clipping. An ear is a corner that turns the filled way and whose triangle holds no other
// vertex, not even on its border; only the corners that do not turn the filled way can be in it.
std::vector<std::array<uint32_t, 3>> triangulate(std::span<const drawn_point> points)
{
    uint32_t count = uint32_t(points.size());
    ring links;
    links.previous.resize(count);
    links.next.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        links.previous[i] = (i + count - 1) % count;
        links.next[i] = (i + 1) % count;
    }
    auto corner_turn = [&](uint32_t i) {
        return orientation(points[links.previous[i]], points[i], points[links.next[i]]);
    };
    corner_grid blocking = corners_by_square(points);  // the corners that do not turn the filled way
    for (uint32_t i = 0; i < count; ++i) {
        if (corner_turn(i) <= 0) {
            enter(blocking, points, i);
        }
    }
    std::vector<bool> clipped(count, false);
    // A thin ear makes a piece with a sharp corner, which watertight storing cannot hold close, so the
    // ring is searched for ears whose every corner is at least FAT_EAR_SINE wide first. A round
    // without one lets any ear do for a quarter of the corners left, so that a ring of thin ears
    // costs a few rounds, not one per ear.
    bool fat_only = true;
    uint32_t any_ears = 0;
    auto is_ear = [&](uint32_t i) {
        uint32_t a = links.previous[i];
        uint32_t c = links.next[i];
        if (corner_turn(i) <= 0) {
            return false;
        }
        if (fat_only) {
            double area = turn_size(points[a], points[i], points[c]);
            double ab = std::hypot(double(points[i].x) - points[a].x, double(points[i].y) - points[a].y);
            double bc = std::hypot(double(points[c].x) - points[i].x, double(points[c].y) - points[i].y);
            double ca = std::hypot(double(points[a].x) - points[c].x, double(points[a].y) - points[c].y);
            if (area < FAT_EAR_SINE * std::max({ab * bc, bc * ca, ca * ab})) {
                return false;
            }
        }
        const square_grid& grid = blocking.grid;
        int x0 = grid.column(std::min({points[a].x, points[i].x, points[c].x}));
        int x1 = grid.column(std::max({points[a].x, points[i].x, points[c].x}));
        int y0 = grid.row(std::min({points[a].y, points[i].y, points[c].y}));
        int y1 = grid.row(std::max({points[a].y, points[i].y, points[c].y}));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                for (uint32_t other : blocking.squares[grid.index(x, y)]) {
                    if (!clipped[other] && other != a && other != i && other != c &&
                        in_triangle(points[a], points[i], points[c], points[other])) {
                        return false;
                    }
                }
            }
        }
        return true;
    };

    std::vector<std::array<uint32_t, 3>> triangles;
    uint32_t left = count;
    uint32_t at = 0;
    uint32_t tried = 0;  // corners tried since the last clip: a full round without one ends it
    while (left > 3 && (fat_only || tried < left)) {
        if (tried == left) {
            fat_only = false;
            any_ears = left / 4 + 1;
            tried = 0;
        }
        if (!is_ear(at)) {
            at = links.next[at];
            ++tried;
            continue;
        }
        any_ears -= any_ears > 0 ? 1 : 0;
        fat_only = any_ears == 0;
        uint32_t a = links.previous[at];
        uint32_t c = links.next[at];
        triangles.push_back({a, at, c});
        clipped[at] = true;
        links.next[a] = c;
        links.previous[c] = a;
        --left;
        tried = 0;
        for (uint32_t neighbour : {a, c}) {
            if (corner_turn(neighbour) <= 0) {
                enter(blocking, points, neighbour);
            }
        }
        // blocking corners that now turn the filled way are left in the list: they can no longer
        // be inside a triangle, since every triangle lies inside the ring
        at = a;
    }
    if (left == 3) {
        uint32_t b = links.next[at];
        triangles.push_back({at, b, links.next[b]});
    }
    return triangles;
}

uint64_t diagonal_key(uint32_t u, uint32_t v)
{
    return uint64_t(std::min(u, v)) << 32 | std::max(u, v);
}

// The sine of a triangle's smallest angle: small for a sliver.
double fatness(std::span<const drawn_point> points, const std::array<uint32_t, 3>& triangle)
{
    const drawn_point& a = points[triangle[0]];
    const drawn_point& b = points[triangle[1]];
    const drawn_point& c = points[triangle[2]];
    double ab = std::hypot(double(b.x) - a.x, double(b.y) - a.y);
    double bc = std::hypot(double(c.x) - b.x, double(c.y) - b.y);
    double ca = std::hypot(double(a.x) - c.x, double(a.y) - c.y);
    return turn_size(a, b, c) / std::max({ab * bc, bc * ca, ca * ab});
}

// Turns the triangles toward fat ones: a diagonal is flipped within its two triangles' quadrilateral
// whenever that makes the thinner of them fatter. Each flip raises the triangulation's smallest
// angles, so it ends; slivers that ear clipping leaves along nearly straight runs are undone, so
// fewer pieces have sharp corners.
void fatten(std::span<const drawn_point> points, std::vector<std::array<uint32_t, 3>>& triangles)
{
    uint32_t count = uint32_t(points.size());
    std::unordered_map<uint64_t, std::array<uint32_t, 2>> diagonals;
    for (uint32_t t = 0; t < triangles.size(); ++t) {
        for (size_t k = 0; k < 3; ++k) {
            uint32_t u = triangles[t][k];
            uint32_t v = triangles[t][(k + 1) % 3];
            if ((u + 1) % count != v && (v + 1) % count != u) {
                auto [entry, added] = diagonals.try_emplace(diagonal_key(u, v), std::array<uint32_t, 2>{t, t});
                entry->second[1] = t;
            }
        }
    }
    std::vector<uint64_t> waiting;
    for (const auto& [key, sides] : diagonals) {
        waiting.push_back(key);
    }
    auto third = [&](const std::array<uint32_t, 3>& triangle, uint32_t u, uint32_t v) {
        for (uint32_t corner : triangle) {
            if (corner != u && corner != v) {
                return corner;
            }
        }
        return u;
    };
    auto replace_side = [&](uint32_t u, uint32_t v, uint32_t from, uint32_t to) {
        auto found = diagonals.find(diagonal_key(u, v));
        if (found != diagonals.end()) {
            for (uint32_t& side : found->second) {
                side = side == from ? to : side;
            }
            waiting.push_back(found->first);
        }
    };
    while (!waiting.empty()) {
        uint64_t key = waiting.back();
        waiting.pop_back();
        auto found = diagonals.find(key);
        if (found == diagonals.end() || found->second[0] == found->second[1]) {
            continue;
        }
        auto [first, second] = found->second;
        uint32_t u = uint32_t(key >> 32);
        uint32_t v = uint32_t(key);
        uint32_t p = third(triangles[first], u, v);
        uint32_t q = third(triangles[second], u, v);
        // in the filled order the first triangle runs u, v, p
        if (orientation(points[u], points[v], points[p]) < 0) {
            std::swap(first, second);
            std::swap(p, q);
        }
        std::array<uint32_t, 3> one = {p, u, q};
        std::array<uint32_t, 3> other = {q, v, p};
        if (orientation(points[p], points[u], points[q]) <= 0 || orientation(points[q], points[v], points[p]) <= 0) {
            continue;  // the quadrilateral is not convex there: the diagonal must stay
        }
        double before = std::min(fatness(points, triangles[first]), fatness(points, triangles[second]));
        double after = std::min(fatness(points, one), fatness(points, other));
        if (after <= before * (1.0 + 1e-9)) {
            continue;
        }
        triangles[first] = one;
        triangles[second] = other;
        diagonals.erase(found);
        diagonals[diagonal_key(p, q)] = {first, second};
        replace_side(v, p, first, second);
        replace_side(u, q, second, first);
        replace_side(u, p, first, first);
        replace_side(v, q, second, second);
    }
}

// The position of vertex u in the piece.
size_t position_of(const std::vector<uint32_t>& piece, uint32_t u)
{
    return size_t(std::find(piece.begin(), piece.end(), u) - piece.begin());
}

// Hertel and Mehlhorn: every diagonal, in turn, goes when the two pieces beside it stay convex
// together.
std::vector<std::vector<uint32_t>> merge_triangles(std::span<const drawn_point> points,
                                                   std::span<const std::array<uint32_t, 3>> triangles)
{
    std::vector<std::vector<uint32_t>> pieces;
    std::map<uint64_t, std::vector<uint32_t>> sides;  // each edge of a triangle, and its triangles
    uint32_t count = uint32_t(points.size());
    for (const auto& triangle : triangles) {
        if (orientation(points[triangle[0]], points[triangle[1]], points[triangle[2]]) <= 0) {
            continue;  // a sliver of three points on a line adds nothing
        }
        for (int k = 0; k < 3; ++k) {
            uint32_t u = triangle[size_t(k)];
            uint32_t v = triangle[size_t((k + 1) % 3)];
            if ((u + 1) % count != v && (v + 1) % count != u) {
                sides[diagonal_key(u, v)].push_back(uint32_t(pieces.size()));
            }
        }
        pieces.push_back({triangle[0], triangle[1], triangle[2]});
    }

    // a merged piece is known by the lowest number among its triangles
    std::vector<uint32_t> merged_into(pieces.size());
    std::iota(merged_into.begin(), merged_into.end(), 0);
    auto find = [&](uint32_t piece) {
        while (merged_into[piece] != piece) {
            piece = merged_into[piece] = merged_into[merged_into[piece]];
        }
        return piece;
    };
    for (const auto& [key, owners] : sides) {
        if (owners.size() != 2) {
            continue;
        }
        uint32_t first = find(owners[0]);
        uint32_t second = find(owners[1]);
        if (first == second) {
            continue;
        }
        std::vector<uint32_t>& a = pieces[first];
        std::vector<uint32_t>& b = pieces[second];
        uint32_t u = uint32_t(key >> 32);
        uint32_t v = uint32_t(key);
        size_t i = position_of(a, u);
        if (a[(i + 1) % a.size()] != v) {
            std::swap(u, v);  // a runs from u to v, b from v to u
            i = position_of(a, u);
        }
        size_t j = position_of(b, v);
        // the corners at u and v once the diagonal is gone
        const drawn_point& before_u = points[a[(i + a.size() - 1) % a.size()]];
        const drawn_point& after_u = points[b[(j + 2) % b.size()]];
        const drawn_point& before_v = points[b[(j + b.size() - 1) % b.size()]];
        const drawn_point& after_v = points[a[(i + 2) % a.size()]];
        if (orientation(before_u, points[u], after_u) < 0 || orientation(before_v, points[v], after_v) < 0) {
            continue;
        }
        std::vector<uint32_t> joined;
        for (size_t k = 1; k <= a.size(); ++k) {
            joined.push_back(a[(i + k) % a.size()]);  // from v round to u
        }
        for (size_t k = 2; k < b.size(); ++k) {
            joined.push_back(b[(j + k) % b.size()]);  // from after u round to before v
        }
        uint32_t kept = std::min(first, second);
        uint32_t gone = std::max(first, second);
        pieces[kept] = std::move(joined);
        pieces[gone].clear();
        merged_into[gone] = kept;
    }
    std::erase_if(pieces, [](const std::vector<uint32_t>& piece) { return piece.empty(); });
    // a corner where merging left a straight line is no corner: without it, a long edge is one edge,
    // and each piece still holds its part of the drawing, so the pieces still hold all of it
    for (std::vector<uint32_t>& piece : pieces) {
        std::vector<uint32_t> corners;
        for (size_t k = 0; k < piece.size(); ++k) {
            const drawn_point& before = points[corners.empty() ? piece.back() : corners.back()];
            if (orientation(before, points[piece[k]], points[piece[(k + 1) % piece.size()]]) != 0) {
                corners.push_back(piece[k]);
            }
        }
        piece = std::move(corners);
    }
    return pieces;
}

}  // namespace

std::vector<std::vector<uint32_t>> convex_pieces(std::span<const drawn_point> points)
{
    // fat triangles make pieces without sharp corners, but can keep a diagonal that the triangles of
    // plain ear clipping let go: the fewer pieces win, the fat ones on a tie
    std::vector<std::array<uint32_t, 3>> triangles = triangulate(points);
    std::vector<std::vector<uint32_t>> plain = merge_triangles(points, triangles);
    fatten(points, triangles);
    std::vector<std::vector<uint32_t>> fat = merge_triangles(points, triangles);
    return plain.size() < fat.size() ? plain : fat;
}
