// Merging: shapes united exactly into regions, and each region cut through its holes into outlines
// without holes, in the filled order, ready to be mended into convex pieces.
#pragma once

#include "drawing.h"

#include <span>
#include <vector>

// What merging may make of one class's shapes before it gives up, and they are stored one by one:
// mending a longer outline, or cutting more holes, costs more than the shapes it saves.
constexpr size_t MAX_MERGED_CORNERS = 8000;
constexpr int MAX_MERGED_HOLES = 256;

// The outlines of the union of the shapes, each shape a closed outline of any winding, its first
// point not repeated. Coordinates are united on a grid of 1/256, the precision edges are stored
// with; a region with holes is cut by lines through its holes, never along the splitspace cells,
// into regions without; a region that touches itself at a corner is split there. The outlines are in
// the filled order. False when an outline would have more than MAX_MERGED_CORNERS corners, or the
// regions more than MAX_MERGED_HOLES holes.
[[nodiscard]] bool merged_outlines(std::span<const std::vector<drawn_point>> shapes,
                                   std::vector<std::vector<drawn_point>>& outlines);

// The outlines of one region bounded by `outer` with `holes` in it (any winding, none touching),
// cut through its holes as merged regions are, of any number of corners. False when the region has
// more than MAX_MERGED_HOLES holes.
[[nodiscard]] bool holed_outlines(const std::vector<drawn_point>& outer,
                                  std::span<const std::vector<drawn_point>> holes,
                                  std::vector<std::vector<drawn_point>>& outlines);
