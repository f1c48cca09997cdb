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
#include <numeric>
#include <tuple>
#include <unordered_map>

namespace {

constexpr double FAT_EAR_SINE = 0.05;  // about 3 degrees

// The ring of vertices not yet clipped.
struct ring {
    std::vector<uint32_t> previous;
    std::vector<uint32_t> next;
};

// The corners that may block an ear, in a tree of boxes: each node holds a run of the corners, split
// at the median across its box's longer side, and counts those of them that block now. A search for
// corners in an ear's triangle leaves every node without a blocking corner, or whose box lies wholly
// outside one of the triangle's edges, so that a long thin ear beside a row of corners, and a tall one
// between tall teeth, each meet only the nodes along the ear.
struct box_node {
    drawn_point low;
    drawn_point high;
    uint32_t begin = 0;  // its run of `order`
    uint32_t end = 0;
    uint32_t children = 0;  // the first of two, or 0 for a leaf
    uint32_t parent = 0;
    uint32_t blocking = 0;
};

struct corner_tree {
    std::vector<uint32_t> order;
    std::vector<box_node> nodes;
    std::vector<uint32_t> leaf_of;
    std::vector<bool> blocks;
};

constexpr uint32_t LEAF_CORNERS = 8;

corner_tree tree_of_corners(std::span<const drawn_point> points)
{
    corner_tree tree;
    uint32_t count = uint32_t(points.size());
    tree.order.resize(count);
    std::iota(tree.order.begin(), tree.order.end(), 0);
    tree.leaf_of.resize(count);
    tree.blocks.assign(count, false);
    tree.nodes.push_back({{}, {}, 0, count, 0, 0, 0});
    for (uint32_t at = 0; at < tree.nodes.size(); ++at) {
        box_node node = tree.nodes[at];
        drawn_point low = points[tree.order[node.begin]];
        drawn_point high = low;
        for (uint32_t k = node.begin; k < node.end; ++k) {
            const drawn_point& p = points[tree.order[k]];
            low = {std::min(low.x, p.x), std::min(low.y, p.y)};
            high = {std::max(high.x, p.x), std::max(high.y, p.y)};
        }
        tree.nodes[at].low = low;
        tree.nodes[at].high = high;
        if (node.end - node.begin <= LEAF_CORNERS) {
            for (uint32_t k = node.begin; k < node.end; ++k) {
                tree.leaf_of[tree.order[k]] = at;
            }
            continue;
        }
        bool across = double(high.x) - low.x >= double(high.y) - low.y;
        uint32_t middle = node.begin + (node.end - node.begin) / 2;
        std::nth_element(tree.order.begin() + node.begin, tree.order.begin() + middle, tree.order.begin() + node.end,
                         [&](uint32_t u, uint32_t v) { return across ? points[u].x < points[v].x : points[u].y < points[v].y; });
        tree.nodes[at].children = uint32_t(tree.nodes.size());
        tree.nodes.push_back({{}, {}, node.begin, middle, 0, at, 0});
        tree.nodes.push_back({{}, {}, middle, node.end, 0, at, 0});
    }
    return tree;
}

// Marks whether a corner blocks, by its turn, and counts it in the nodes above it.
void mark(corner_tree& tree, uint32_t corner, bool blocks)
{
    if (tree.blocks[corner] == blocks) {
        return;
    }
    tree.blocks[corner] = blocks;
    for (uint32_t node = tree.leaf_of[corner];; node = tree.nodes[node].parent) {
        tree.nodes[node].blocking += blocks ? 1 : uint32_t(-1);
        if (node == 0) {
            break;
        }
    }
}

// Whether every corner of the box lies strictly outside one edge of the triangle (filled order).
bool box_outside(const box_node& node, const std::array<drawn_point, 3>& triangle)
{
    const drawn_point corners[] = {node.low, {node.high.x, node.low.y}, node.high, {node.low.x, node.high.y}};
    for (size_t k = 0; k < 3; ++k) {
        const drawn_point& p = triangle[k];
        const drawn_point& q = triangle[(k + 1) % 3];
        if (std::all_of(std::begin(corners), std::end(corners),
                        [&](const drawn_point& corner) { return orientation(p, q, corner) < 0; })) {
            return true;
        }
    }
    return false;
}

// Whether a blocking corner other than the triangle's own lies inside the triangle or on its border.
bool blocked(const corner_tree& tree, std::span<const drawn_point> points, const std::array<uint32_t, 3>& ear)
{
    const std::array<drawn_point, 3> triangle = {points[ear[0]], points[ear[1]], points[ear[2]]};
    float x0 = std::min({triangle[0].x, triangle[1].x, triangle[2].x});
    float x1 = std::max({triangle[0].x, triangle[1].x, triangle[2].x});
    float y0 = std::min({triangle[0].y, triangle[1].y, triangle[2].y});
    float y1 = std::max({triangle[0].y, triangle[1].y, triangle[2].y});
    uint32_t waiting[64];  // a path down the tree and a sibling per level, far below 64
    size_t waiting_count = 1;
    waiting[0] = 0;
    while (waiting_count > 0) {
        const box_node& node = tree.nodes[waiting[--waiting_count]];
        if (node.blocking == 0 || node.high.x < x0 || node.low.x > x1 || node.high.y < y0 || node.low.y > y1 ||
            box_outside(node, triangle)) {
            continue;
        }
        if (node.children != 0) {
            waiting[waiting_count++] = node.children;
            waiting[waiting_count++] = node.children + 1;
            continue;
        }
        for (uint32_t k = node.begin; k < node.end; ++k) {
            uint32_t other = tree.order[k];
            if (tree.blocks[other] && other != ear[0] && other != ear[1] && other != ear[2] &&
                side_of_convex(triangle, points[other]) != point_side::outside) {
                return true;
            }
        }
    }
    return false;
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
    corner_tree blocking = tree_of_corners(points);  // the corners that do not turn the filled way
    for (uint32_t i = 0; i < count; ++i) {
        mark(blocking, i, corner_turn(i) <= 0);
    }
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
        return !blocked(blocking, points, {a, i, c});
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
        mark(blocking, at, false);
        links.next[a] = c;
        links.previous[c] = a;
        --left;
        tried = 0;
        // a corner turning the filled way can no longer be inside an ear, even on its border, since
        // every ear lies inside the ring
        for (uint32_t neighbour : {a, c}) {
            mark(blocking, neighbour, corner_turn(neighbour) <= 0);
        }
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

// Hertel and Mehlhorn: every diagonal, in turn, goes when the two pieces beside it stay convex
// together. Each piece is a ring of corner nodes, so that removing a diagonal splices two rings
// without copying either: a long piece grows one triangle at a time at no cost.
std::vector<std::vector<uint32_t>> merge_triangles(std::span<const drawn_point> points,
                                                   std::span<const std::array<uint32_t, 3>> triangles)
{
    uint32_t count = uint32_t(points.size());
    std::vector<uint32_t> corner;  // node n is corner `corner[n]` of piece n / 3, before merging
    std::vector<uint32_t> next;
    std::vector<uint32_t> previous;
    std::vector<std::pair<uint64_t, uint32_t>> sides;  // each diagonal, and the node that starts it
    for (const auto& triangle : triangles) {
        if (orientation(points[triangle[0]], points[triangle[1]], points[triangle[2]]) <= 0) {
            continue;  // a sliver of three points on a line adds nothing
        }
        uint32_t first = uint32_t(corner.size());
        for (uint32_t k = 0; k < 3; ++k) {
            uint32_t u = triangle[k];
            uint32_t v = triangle[(k + 1) % 3];
            if ((u + 1) % count != v && (v + 1) % count != u) {
                sides.emplace_back(diagonal_key(u, v), first + k);
            }
            corner.push_back(u);
            next.push_back(first + (k + 1) % 3);
            previous.push_back(first + (k + 2) % 3);
        }
    }
    std::sort(sides.begin(), sides.end());

    // a merged piece is known by the lowest number among its triangles, and starts at `start`
    uint32_t pieces = uint32_t(corner.size() / 3);
    std::vector<uint32_t> merged_into(pieces);
    std::iota(merged_into.begin(), merged_into.end(), 0);
    std::vector<uint32_t> start(pieces);
    for (uint32_t piece = 0; piece < pieces; ++piece) {
        start[piece] = 3 * piece;
    }
    auto find = [&](uint32_t piece) {
        while (merged_into[piece] != piece) {
            piece = merged_into[piece] = merged_into[merged_into[piece]];
        }
        return piece;
    };
    // a splice drops two nodes; the edges they started are then started by the nodes kept
    std::vector<uint32_t> started_by(corner.size());
    std::iota(started_by.begin(), started_by.end(), 0);
    auto node_of = [&](uint32_t node) {
        while (started_by[node] != node) {
            node = started_by[node] = started_by[started_by[node]];
        }
        return node;
    };
    for (size_t k = 0; k < sides.size(); ++k) {
        bool pair = k + 1 < sides.size() && sides[k + 1].first == sides[k].first &&
                    (k + 2 == sides.size() || sides[k + 2].first != sides[k].first);
        if (!pair) {
            while (k + 1 < sides.size() && sides[k + 1].first == sides[k].first) {
                ++k;
            }
            continue;
        }
        uint32_t u_in_a = node_of(sides[k].second);  // piece a runs u to v, piece b v to u
        uint32_t v_in_b = node_of(sides[k + 1].second);
        ++k;
        uint32_t first = find(u_in_a / 3);
        uint32_t second = find(v_in_b / 3);
        if (first == second) {
            continue;
        }
        uint32_t v_in_a = next[u_in_a];
        uint32_t u_in_b = next[v_in_b];
        // the corners at u and v once the diagonal is gone
        const drawn_point& before_u = points[corner[previous[u_in_a]]];
        const drawn_point& after_u = points[corner[next[u_in_b]]];
        const drawn_point& before_v = points[corner[previous[v_in_b]]];
        const drawn_point& after_v = points[corner[next[v_in_a]]];
        if (orientation(before_u, points[corner[u_in_a]], after_u) < 0 ||
            orientation(before_v, points[corner[v_in_b]], after_v) < 0) {
            continue;
        }
        next[u_in_a] = next[u_in_b];
        previous[next[u_in_b]] = u_in_a;
        next[v_in_b] = next[v_in_a];
        previous[next[v_in_a]] = v_in_b;
        started_by[v_in_a] = v_in_b;
        started_by[u_in_b] = u_in_a;
        uint32_t kept = std::min(first, second);
        start[kept] = v_in_b;
        merged_into[std::max(first, second)] = kept;
    }

    // a corner where merging left a straight line is no corner: without it, a long edge is one edge,
    // and each piece still holds its part of the drawing, so the pieces still hold all of it
    std::vector<std::vector<uint32_t>> convex;
    for (uint32_t piece = 0; piece < pieces; ++piece) {
        if (find(piece) != piece) {
            continue;
        }
        std::vector<uint32_t> corners;
        uint32_t node = start[piece];
        do {
            const drawn_point& before = points[corners.empty() ? corner[previous[start[piece]]] : corners.back()];
            if (orientation(before, points[corner[node]], points[corner[next[node]]]) != 0) {
                corners.push_back(corner[node]);
            }
            node = next[node];
        } while (node != start[piece]);
        convex.push_back(std::move(corners));
    }
    return convex;
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
