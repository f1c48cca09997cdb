// Watertight edges: stored lines moved out by the least that their 1/256 steps allow, so that each
// holds every vertex of its convex polygon as drawn, exactly.
#pragma once

#include "collision_file.h"
#include "drawing.h"

#include <span>
#include <vector>

// The edge from outline[edge] to the next vertex, moved out from its `computed` values by the least
// that the stored steps of 1/256 allow so that every vertex of the convex outline (its first vertex
// not repeated) lies inside it exactly; its normal stays within one step per value, and within 1 %
// of unit length, of the computed one. Where no such edge exists the computed one comes back, which
// stored_edge_holds tells.
// `sines` are corner_sines(outline), shared by the outline's edges.
edge_equation contained_edge(std::span<const drawn_point> outline, size_t edge, const edge_equation& computed,
                             std::span<const double> sines);

// The sine of half of each corner's angle, at least 1e-3: corner k is outline[k].
void corner_sines(std::span<const drawn_point> outline, std::vector<double>& sines);

// Whether every vertex of the outline lies inside the edge stored in the 8 bytes of an edge record,
// exactly.
bool stored_edge_holds(std::span<const drawn_point> outline, const uint8_t* stored);
