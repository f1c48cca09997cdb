// Mending what the warnings point at, before anything is computed: each shape of the drawing becomes
// convex pieces in the filled order, closed, without repeated vertices or corners on a straight line.
#pragma once

#include "drawing.h"

#include <cstdint>
#include <span>
#include <vector>

// Mends each drawn shape: repeated vertices and corners on a straight line are dropped, an open
// outline is closed, a clockwise one reversed, one without area dropped, a concave one split into
// convex pieces, and sharp corners blunted. A piece of more than `max_corners` corners (0: no cap) is
// split again along diagonals. Each piece keeps its shape's source and says which piece it is;
// `mended` keeps every source of `drawn` at its index, so notes and places name either. A shape whose
// outline crosses or touches itself is refused: its meaning cannot be known.
[[nodiscard]] bool mend_drawing(const drawing& drawn, size_t max_corners, drawing& mended, std::vector<note>& notes,
                                refusal& refused);

// Splits a simple polygon, given in the filled order without repeated vertices or corners on a
// straight line, into convex pieces in the same order: each a list of indices into `points`.
std::vector<std::vector<uint32_t>> convex_pieces(std::span<const drawn_point> points);

// Whether the pieces are a sound split of the polygon: each has three corners or more, all turning
// the filled way, and their areas sum exactly to the polygon's.
bool validate_pieces(std::span<const drawn_point> polygon, std::span<const std::vector<drawn_point>> pieces);
