// Mending: each shape as drawn becomes convex pieces in the filled order, closed, without repeated
// vertices or corners on a straight line, in a drawing that is then compiled like any other.
#include "mending.h"

#include "collision_file.h"
#include "geometry.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <numeric>

namespace {

// A vertex with the line it was drawn on, so that a piece's vertices keep their places.
struct corner {
    drawn_point at;
    uint32_t line;
};

bool same_place(const corner& a, const corner& b)
{
    return a.at.x == b.at.x && a.at.y == b.at.y;
}

void points_into(std::span<const corner> outline, std::vector<drawn_point>& points)
{
    points.clear();
    for (const corner& vertex : outline) {
        points.push_back(vertex.at);
    }
}

std::vector<drawn_point> points_of(std::span<const corner> outline)
{
    std::vector<drawn_point> points;
    points_into(outline, points);
    return points;
}

struct cleanup {
    size_t repeated = 0;
    size_t straight = 0;
};

// Drops, round the closed outline, every vertex that repeats the one before it and every corner that
// does not turn, going straight on or straight back, until none is left.
cleanup clean_outline(std::vector<corner>& outline)
{
    cleanup dropped;
    for (bool changed = true; changed && outline.size() >= 2;) {
        changed = false;
        std::vector<corner> kept;
        kept.reserve(outline.size());
        for (const corner& vertex : outline) {
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
            const corner& before = outline.empty() ? kept[(i + count - 1) % count] : outline.back();
            if (count >= 3 && orientation(before.at, kept[i].at, kept[(i + 1) % count].at) == 0) {
                ++dropped.straight;
                changed = true;
            } else {
                outline.push_back(kept[i]);
            }
        }
    }
    return dropped;
}

// A reflex corner this close to its neighbours' chord (the stored precision) is noise, as rounding
// written coordinates leaves along a curve: splitting there would make slivers that hold no point.
constexpr double WELD_DISTANCE = 1.0 / 256.0;
constexpr size_t MAX_WELDED_RUN = 64;  // drawn corners that one chord may stand for

// Welds the reflex corners of a simple outline in the filled order that lie within WELD_DISTANCE of
// their neighbours' chord, again as welds make new neighbours, while every corner a chord replaces
// stays that close to it. Welding a reflex corner adds a sliver outside the outline, so nothing drawn
// is lost. Returns how many corners went; an outline that welding would make touch itself is kept.
// `points` are the outline's corners.
size_t weld_reflex_corners(std::vector<corner>& outline, std::span<const drawn_point> points)
{
    size_t count = outline.size();
    std::vector<uint32_t> previous(count);
    std::vector<uint32_t> next(count);
    for (size_t i = 0; i < count; ++i) {
        previous[i] = uint32_t((i + count - 1) % count);
        next[i] = uint32_t((i + 1) % count);
    }
    auto within = [&](uint32_t a, uint32_t c) {
        return (c + count - a) % count <= MAX_WELDED_RUN + 1 && chord_holds(points, a, c, WELD_DISTANCE);
    };
    std::vector<uint32_t> waiting(count);
    std::iota(waiting.rbegin(), waiting.rend(), 0);
    std::vector<bool> welded(count, false);
    size_t left = count;
    while (!waiting.empty() && left > 3) {
        uint32_t b = waiting.back();
        waiting.pop_back();
        uint32_t a = previous[b];
        uint32_t c = next[b];
        if (welded[b] || orientation(points[a], points[b], points[c]) >= 0 || !within(a, c)) {
            continue;
        }
        welded[b] = true;
        next[a] = c;
        previous[c] = a;
        --left;
        waiting.push_back(c);
        waiting.push_back(a);
    }
    if (left == count) {
        return 0;
    }
    std::vector<corner> kept;
    for (size_t i = 0; i < count; ++i) {
        if (!welded[i]) {
            kept.push_back(outline[i]);
        }
    }
    std::vector<drawn_point> kept_points = points_of(kept);
    if (find_crossing(kept_points).found || twice_area(kept_points) <= 0.0) {
        return 0;
    }
    outline = std::move(kept);
    return count - outline.size();
}

// Whether an outline whose every corner turns the filled way goes round once, so that it cannot cross
// itself: its edges' directions then change half-plane (above or below, the direction along +x
// counted above and along -x below) exactly twice, each corner turning less than half a turn.
bool winds_once(std::span<const drawn_point> outline)
{
    size_t count = outline.size();
    auto upper = [&](size_t i) {
        const drawn_point& a = outline[i];
        const drawn_point& b = outline[(i + 1) % count];
        return b.y > a.y || (b.y == a.y && b.x > a.x);
    };
    size_t changes = 0;
    for (size_t i = 0; i < count; ++i) {
        changes += upper(i) != upper((i + 1) % count) ? 1 : 0;
    }
    return changes == 2;
}

bool is_convex(std::span<const drawn_point> outline)
{
    for (size_t i = 0; i < outline.size(); ++i) {
        if (orientation(outline[i], outline[(i + 1) % outline.size()], outline[(i + 2) % outline.size()]) < 0) {
            return false;
        }
    }
    return true;
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
void blunt_sharp_corners(std::vector<corner>& piece)
{
    for (size_t i = 0; i < piece.size() && piece.size() < MAX_EDGES - 1; ++i) {
        size_t count = piece.size();
        const drawn_point before = piece[(i + count - 1) % count].at;
        const corner at_corner = piece[i];
        const drawn_point middle = at_corner.at;
        const drawn_point after = piece[(i + 1) % count].at;
        double ux = double(before.x) - middle.x;
        double uy = double(before.y) - middle.y;
        double vx = double(after.x) - middle.x;
        double vy = double(after.y) - middle.y;
        // a right or wider angle is never sharp, and most corners are: the sine is left unworked
        if (ux * vx + uy * vy <= 0.0 || corner_half_sine(before, middle, after) >= SHARP_HALF_SINE) {
            continue;
        }
        double u_length = std::hypot(ux, uy);
        double v_length = std::hypot(vx, vy);
        ux /= u_length;
        uy /= u_length;
        vx /= v_length;
        vy /= v_length;
        // out along the bisector, and across it toward each neighbour; a corner so sharp that its two
        // directions round to one (a corner far beyond its neighbours) has no bisector to blunt along
        double along = std::hypot(ux + vx, uy + vy);
        double across = std::hypot(ux - vx, uy - vy);
        if (along == 0.0 || across == 0.0) {
            continue;
        }
        double bx = -(ux + vx) / along;
        double by = -(uy + vy) / along;
        double nx = (ux - vx) / across;
        double ny = (uy - vy) / across;
        drawn_point first = {float(middle.x + BLUNT_DEPTH * bx + BLUNT_HALF_WIDTH * nx),
                             float(middle.y + BLUNT_DEPTH * by + BLUNT_HALF_WIDTH * ny)};
        drawn_point second = {float(middle.x + BLUNT_DEPTH * bx - BLUNT_HALF_WIDTH * nx),
                              float(middle.y + BLUNT_DEPTH * by - BLUNT_HALF_WIDTH * ny)};
        const drawn_point before_before = piece[(i + count - 2) % count].at;
        const drawn_point after_after = piece[(i + 2) % count].at;
        bool sound = orientation(before, first, middle) >= 0 && orientation(first, second, middle) >= 0 &&
                     orientation(second, after, middle) >= 0 && orientation(before_before, before, first) > 0 &&
                     orientation(before, first, second) > 0 && orientation(first, second, after) > 0 &&
                     orientation(second, after, after_after) > 0;
        if (!sound) {
            continue;
        }
        piece[i] = {first, at_corner.line};
        piece.insert(piece.begin() + long(i) + 1, corner{second, at_corner.line});
        ++i;
    }
}

// Adds a piece to the mended drawing, closed by repeating its first vertex, as polygon text lists it.
void add_piece(drawing& mended, uint32_t source, std::span<const corner> piece)
{
    mended.shapes.push_back({uint32_t(mended.points.size()), 0, source});
    for (size_t i = 0; i <= piece.size(); ++i) {
        const corner& vertex = piece[i % piece.size()];
        add_vertex(mended, vertex.at, vertex.line);
    }
}

std::string counted(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// What mending one shape says, at the shape's place.
struct shape_notes {
    std::vector<note>& notes;
    place where;
    size_t drawn;
    size_t stored;
    bool quiet;  // a merged region's or a traced outline's mending is what made it for, and goes unsaid

    void add(const std::string& words)
    {
        if (quiet) {
            return;
        }
        std::string text = "polygon " + std::to_string(drawn);
        if (stored != drawn) {
            text += " (stored as polygon " + std::to_string(stored) + ")";
        }
        notes.push_back({where, text + words});
    }
};

// Where an outline crosses itself, in words: by its vertices' lines where they differ, else by its
// vertices.
std::string crossing_words(size_t drawn, const corner& first, const corner& second, drawn_point at)
{
    std::string edges = first.line != second.line
                            ? "lines " + std::to_string(first.line) + " and " + std::to_string(second.line)
                            : point_text(first.at) + " and " + point_text(second.at);
    return "polygon " + std::to_string(drawn) + " crosses itself: its edges from " + edges + " meet at " +
           point_text(at);
}

// Splits a simple outline in the filled order into convex pieces, each checked against it exactly.
bool split_into_pieces(std::span<const corner> outline, std::vector<std::vector<corner>>& pieces)
{
    std::vector<drawn_point> points = points_of(outline);
    std::vector<std::vector<uint32_t>> indices = convex_pieces(points);
    std::vector<std::vector<drawn_point>> piece_points;
    pieces.clear();
    for (const std::vector<uint32_t>& piece : indices) {
        std::vector<corner>& corners = pieces.emplace_back();
        std::vector<drawn_point>& at = piece_points.emplace_back();
        for (uint32_t index : piece) {
            corners.push_back(outline[index]);
            at.push_back(points[index]);
        }
    }
    bool valid = validate_pieces(points, piece_points);
    assert(valid && "the convex pieces must cover the outline exactly");
    return valid;
}

// A convex piece of more corners than the cap, split along diagonals into strips: each takes the last
// strip's diagonal and as many corners as the cap allows, alternately from either side, so the count is
// the least, (m - 2) / (cap - 2) rounded up, and no corner is shared by every strip.
void split_to_cap(std::vector<corner>&& piece, size_t cap, std::vector<std::vector<corner>>& out)
{
    if (cap < 3 || piece.size() <= cap) {
        out.push_back(std::move(piece));
        return;
    }
    size_t left = 0;  // the ends of the diagonal that the next strip starts from
    size_t right = piece.size() - 1;
    while (right - left + 1 > cap) {
        size_t take = cap - 2;  // corners beyond the diagonal
        size_t from_left = (take + 1) / 2;
        size_t from_right = take - from_left;
        std::vector<corner> strip;
        for (size_t i = left; i <= left + from_left; ++i) {
            strip.push_back(piece[i]);
        }
        for (size_t i = right - from_right; i <= right; ++i) {
            strip.push_back(piece[i]);
        }
        out.push_back(std::move(strip));
        left += from_left;
        right -= from_right;
    }
    std::vector<corner> last(piece.begin() + long(left), piece.begin() + long(right) + 1);
    out.push_back(std::move(last));
}

}  // namespace

bool validate_pieces(std::span<const drawn_point> polygon, std::span<const std::vector<drawn_point>> pieces)
{
    for (const std::vector<drawn_point>& piece : pieces) {
        if (piece.size() < 3) {
            return false;
        }
        for (size_t i = 0; i < piece.size(); ++i) {
            if (orientation(piece[i], piece[(i + 1) % piece.size()], piece[(i + 2) % piece.size()]) <= 0) {
                return false;
            }
        }
    }
    return areas_sum_exactly(polygon, pieces);
}

bool mend_drawing(const drawing& drawn, size_t max_corners, drawing& mended, std::vector<note>& notes,
                  refusal& refused)
{
    mended = empty_like(drawn);
    mended.sources = drawn.sources;  // pieces add theirs after these
    size_t stored = 0;
    size_t more_pieces = 0;  // that the cap on corners adds
    std::vector<corner> outline;
    std::vector<drawn_point> points;
    std::vector<std::vector<corner>> pieces;
    std::vector<std::vector<corner>> capped;
    for (size_t number = 0; number < drawn.shapes.size(); ++number) {
        const drawn_shape& shape = drawn.shapes[number];
        outline.clear();
        for (uint32_t i = shape.first; i < shape.first + shape.count; ++i) {
            outline.push_back({drawn.points[i], line_of(drawn, shape.source, i)});
        }
        shape_notes say{notes, place_of(drawn, shape.source), number, stored,
                        drawn.sources[shape.source].merged || drawn.sources[shape.source].traced};
        bool closed = outline.size() >= 2 && same_place(outline.front(), outline.back());
        cleanup dropped = clean_outline(outline);
        dropped.repeated -= closed ? 1 : 0;  // the closing repeat is no mistake
        points_into(outline, points);
        auto refuse_crossing = [&]() {
            polygon_crossing crossing = find_crossing(points);
            if (crossing.found) {
                const corner& first = outline[crossing.first_edge];
                const corner& second = outline[crossing.second_edge];
                refused = refusal_at({say.where.file, first.line, shape.source}, "polygon crosses itself",
                                     crossing_words(number, first, second, crossing.at));
            }
            return crossing.found;
        };
        if (outline.size() < 3) {
            say.add(" has no area; dropped");
            continue;
        }
        double area = twice_area(points);
        if (area == 0.0) {
            // a crossing outline may cancel its own area, as a bow tie does: it is refused all the same
            if (refuse_crossing()) {
                return false;
            }
            say.add(" has no area; dropped");
            continue;
        }
        if (!closed) {
            say.add(" is not closed; closed by repeating its first vertex");
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
            say.add(words + " dropped");
        }
        if (area < 0.0) {
            std::reverse(outline.begin(), outline.end());
            std::reverse(points.begin(), points.end());
            say.add(" runs clockwise on the picture; its vertices are reversed");
        }
        bool convex = is_convex(points);  // then it has no reflex corner to weld
        if (!(convex && winds_once(points)) && refuse_crossing()) {
            return false;
        }
        if (size_t welded = convex ? 0 : weld_reflex_corners(outline, points); welded != 0) {
            points_into(outline, points);
            convex = is_convex(points);
            say.add(": " + counted(welded, "reflex corner", "reflex corners") +
                    " within 1/256 unit of a straight line welded");
        }
        if (convex) {
            blunt_sharp_corners(outline);
            if (max_corners < 3 || outline.size() <= max_corners) {
                add_piece(mended, shape.source, outline);  // as most shapes are: one piece, said nothing of
                ++stored;
                continue;
            }
            pieces.assign(1, outline);
        } else if (!split_into_pieces(outline, pieces)) {
            refused = refusal_at(say.where, "polygon could not be split into convex pieces",
                                 "polygon " + std::to_string(number) + " could not be split into convex pieces");
            return false;
        }
        size_t convex_pieces = pieces.size();
        capped.clear();
        for (std::vector<corner>& piece : pieces) {
            if (!convex) {
                blunt_sharp_corners(piece);  // a convex outline's corners are blunted already
            }
            split_to_cap(std::move(piece), max_corners, capped);
        }
        more_pieces += capped.size() - convex_pieces;
        std::string stored_as = capped.size() == 1 ? "" : "; stored as polygons " + std::to_string(stored) + " to " +
                                                              std::to_string(stored + capped.size() - 1) + " (" +
                                                              std::to_string(capped.size());
        if (!convex) {
            say.add(" is concave" + stored_as + " convex pieces)");
        } else if (capped.size() > 1) {
            say.add(" has more than " + std::to_string(max_corners) + " corners" + stored_as + " pieces)");
        }
        for (size_t k = 0; k < capped.size(); ++k) {
            uint32_t source = shape.source;
            if (capped.size() > 1) {
                shape_source piece = drawn.sources[shape.source];
                piece.piece = uint32_t(k + 1);
                piece.pieces = uint32_t(capped.size());
                piece.origin = shape.source;
                mended.sources.push_back(piece);
                source = uint32_t(mended.sources.size() - 1);
            }
            add_piece(mended, source, capped[k]);
            ++stored;
        }
    }
    if (more_pieces != 0) {
        notes.push_back({{}, "pieces of at most " + std::to_string(max_corners) + " corners: " +
                                 counted(more_pieces, "piece", "pieces") + " more than without the cap"});
    }
    return true;
}
