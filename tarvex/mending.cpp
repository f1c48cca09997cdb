// Mending what the warnings point at, before anything is computed: each polygon as drawn becomes
// convex pieces in the filled order, closed, without repeated vertices or corners on a straight line,
// written out as polygon text that is then compiled like any other.
#include "tarvex.h"

#include <algorithm>
#include <cmath>

namespace {

double turn(const vertex_line& o, const vertex_line& a, const vertex_line& b)
{
    return (double(a.y) - o.y) * (double(b.x) - o.x) - (double(a.x) - o.x) * (double(b.y) - o.y);
}

bool same_place(const vertex_line& a, const vertex_line& b)
{
    return a.x == b.x && a.y == b.y;
}

// Twice the area, positive in the filled order.
double filled_area(std::span<const vertex_line> outline)
{
    double sum = 0.0;
    for (size_t i = 0; i < outline.size(); ++i) {
        const vertex_line& a = outline[i];
        const vertex_line& b = outline[(i + 1) % outline.size()];
        sum += double(b.x) * a.y - double(a.x) * b.y;
    }
    return sum;
}

struct cleanup {
    size_t repeated = 0;
    size_t straight = 0;
};

// Drops, round the closed outline, every vertex that repeats the one before it and every corner that
// does not turn, going straight on or straight back, until none is left.
cleanup clean_outline(std::vector<vertex_line>& outline)
{
    cleanup dropped;
    for (bool changed = true; changed && outline.size() >= 2;) {
        changed = false;
        std::vector<vertex_line> kept;
        for (const vertex_line& vertex : outline) {
            if (!kept.empty() && same_place(kept.back(), vertex)) {
                ++dropped.repeated;
                changed = true;
            } else {
                kept.push_back(vertex);
            }
        }
        while (kept.size() >= 2 && same_place(kept.back(), kept.front())) {
            kept.pop_back();
            ++dropped.repeated;
            changed = true;
        }
        outline.clear();
        size_t count = kept.size();
        for (size_t i = 0; i < count; ++i) {
            const vertex_line& before = outline.empty() ? kept[(i + count - 1) % count] : outline.back();
            if (count >= 3 && turn(before, kept[i], kept[(i + 1) % count]) == 0.0) {
                ++dropped.straight;
                changed = true;
            } else {
                outline.push_back(kept[i]);
            }
        }
    }
    return dropped;
}

bool is_convex(std::span<const vertex_line> outline)
{
    for (size_t i = 0; i < outline.size(); ++i) {
        if (turn(outline[i], outline[(i + 1) % outline.size()], outline[(i + 2) % outline.size()]) < 0.0) {
            return false;
        }
    }
    return true;
}

void add_line(mended_drawing& mended, std::string_view text, size_t input_line)
{
    mended.text += text;
    mended.text += "\r\n";
    mended.lines.push_back(input_line);
}

// A corner sharper than this (the sine of half its angle) is blunted: two stored lines that meet at
// so small an angle cross far beyond the drawn corner, as their normals keep 8 fraction bits.
constexpr double SHARP_HALF_SINE = 0.1;  // about 11.5 degrees
constexpr double BLUNT_DEPTH = 0.1;      // world units beyond the corner that its cap stands
constexpr double BLUNT_HALF_WIDTH = 0.1;

// Blunts each sharp corner of a convex piece: the corner becomes two corners a little beyond it, one
// to each side of its bisector, joined by a short cap, so the piece holds all it held and its stored
// lines meet near the drawing. A blunting that float rounding would leave dented, or not holding the
// corner, is not made; every check is exact on the float corners.
void blunt_sharp_corners(std::vector<vertex_line>& piece)
{
    for (size_t i = 0; i < piece.size() && piece.size() < MAX_EDGES - 1; ++i) {
        size_t count = piece.size();
        const vertex_line before = piece[(i + count - 1) % count];
        const vertex_line corner = piece[i];
        const vertex_line after = piece[(i + 1) % count];
        if (corner_half_sine(before, corner, after) >= SHARP_HALF_SINE) {
            continue;
        }
        double ux = double(before.x) - corner.x;
        double uy = double(before.y) - corner.y;
        double vx = double(after.x) - corner.x;
        double vy = double(after.y) - corner.y;
        double u_length = std::hypot(ux, uy);
        double v_length = std::hypot(vx, vy);
        ux /= u_length;
        uy /= u_length;
        vx /= v_length;
        vy /= v_length;
        // out along the bisector, and across it toward each neighbour
        double bx = -(ux + vx) / std::hypot(ux + vx, uy + vy);
        double by = -(uy + vy) / std::hypot(ux + vx, uy + vy);
        double nx = (ux - vx) / std::hypot(ux - vx, uy - vy);
        double ny = (uy - vy) / std::hypot(ux - vx, uy - vy);
        vertex_line first = corner;
        first.x = float(corner.x + BLUNT_DEPTH * bx + BLUNT_HALF_WIDTH * nx);
        first.y = float(corner.y + BLUNT_DEPTH * by + BLUNT_HALF_WIDTH * ny);
        vertex_line second = corner;
        second.x = float(corner.x + BLUNT_DEPTH * bx - BLUNT_HALF_WIDTH * nx);
        second.y = float(corner.y + BLUNT_DEPTH * by - BLUNT_HALF_WIDTH * ny);
        const vertex_line& before_before = piece[(i + count - 2) % count];
        const vertex_line& after_after = piece[(i + 2) % count];
        bool sound = turn(before, first, corner) >= 0.0 && turn(first, second, corner) >= 0.0 &&
                     turn(second, after, corner) >= 0.0 && turn(before_before, before, first) > 0.0 &&
                     turn(before, first, second) > 0.0 && turn(first, second, after) > 0.0 &&
                     turn(second, after, after_after) > 0.0;
        if (!sound) {
            continue;
        }
        piece[i] = first;
        piece.insert(piece.begin() + long(i) + 1, second);
        ++i;
    }
}

void add_piece(mended_drawing& mended, const drawn_shape& shape, std::span<const vertex_line> piece)
{
    add_line(mended, "newpolygon", shape.line);
    for (size_t i = 0; i <= piece.size(); ++i) {
        const vertex_line& vertex = piece[i % piece.size()];
        add_line(mended, number_text(vertex.x) + "," + number_text(vertex.y), vertex.line);
    }
    add_line(mended, "endpolygon", shape.end_line);
}

std::string counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void note(mended_drawing& mended, size_t line, size_t drawn, size_t stored, const std::string& words)
{
    std::string text = "polygon " + std::to_string(drawn);
    if (stored != drawn) {
        text += " (stored as polygon " + std::to_string(stored) + ")";
    }
    mended.notes.push_back({line, text + words});
}

}  // namespace

bool mend_shapes(std::span<const drawn_shape> shapes, mended_drawing& mended)
{
    mended.lines.assign(1, 0);  // lines count from 1
    size_t stored = 0;
    for (size_t drawn = 0; drawn < shapes.size(); ++drawn) {
        const drawn_shape& shape = shapes[drawn];
        std::vector<vertex_line> outline = shape.vertices;
        bool closed = outline.size() >= 2 && same_place(outline.front(), outline.back());
        cleanup dropped = clean_outline(outline);
        dropped.repeated -= closed ? 1 : 0;  // the closing repeat is no mistake
        if (outline.size() < 3 || filled_area(outline) == 0.0) {
            note(mended, shape.line, drawn, stored, " has no area; dropped");
            continue;
        }
        if (!closed) {
            note(mended, shape.line, drawn, stored, " is not closed; closed by repeating its first vertex");
        }
        if (dropped.repeated + dropped.straight != 0) {
            std::string words = ": ";
            if (dropped.repeated != 0) {
                words += counted(dropped.repeated, "repeated vertex", "repeated vertices");
                words += dropped.straight != 0 ? " and " : "";
            }
            if (dropped.straight != 0) {
                words += counted(dropped.straight, "vertex", "vertices") + " on a straight line";
            }
            note(mended, shape.line, drawn, stored, words + " dropped");
        }
        if (filled_area(outline) < 0.0) {
            std::reverse(outline.begin(), outline.end());
            note(mended, shape.line, drawn, stored, " runs clockwise on the picture; its vertices are reversed");
        }

        std::vector<drawn_point> points;
        for (const vertex_line& vertex : outline) {
            points.push_back({vertex.x, vertex.y});
        }
        polygon_crossing crossing = find_crossing(points);
        if (crossing.found) {
            const vertex_line& first = outline[crossing.first_edge];
            const vertex_line& second = outline[crossing.second_edge];
            mended.error_line = first.line;
            mended.error = "Line " + std::to_string(first.line) + ": polygon crosses itself.";
            mended.error_detail = "polygon " + std::to_string(drawn) + " crosses itself: its edges from lines " +
                                  std::to_string(first.line) + " and " + std::to_string(second.line) +
                                  " meet at " + point_text(crossing.x, crossing.y);
            return false;
        }
        if (is_convex(outline)) {
            blunt_sharp_corners(outline);
            add_piece(mended, shape, outline);
            ++stored;
            continue;
        }
        std::vector<std::vector<uint32_t>> pieces = convex_pieces(points);
        note(mended, shape.line, drawn, stored,
             " is concave; stored as polygons " + std::to_string(stored) + " to " +
                 std::to_string(stored + pieces.size() - 1) + " (" + std::to_string(pieces.size()) +
                 " convex pieces)");
        std::vector<vertex_line> piece_outline;
        for (const std::vector<uint32_t>& piece : pieces) {
            piece_outline.clear();
            for (uint32_t index : piece) {
                piece_outline.push_back(outline[index]);
            }
            blunt_sharp_corners(piece_outline);
            add_piece(mended, shape, piece_outline);
            ++stored;
        }
    }
    return true;
}
