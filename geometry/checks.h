// The checks on the drawing as it is compiled: the mistakes that make a stored polygon differ from
// the drawn one, or vanish, and the cracks between polygons that share an edge. They never change
// what is stored.
#pragma once

#include "collision_file.h"
#include "drawing.h"

#include <cstdint>
#include <span>
#include <vector>

// Adds the warning for a vertex read with text after its second number that starts like a third.
void check_vertex(size_t number, place where, drawn_point vertex, warning_list& warnings);

// Adds the warnings for polygon `number`, begun at `polygon`, given its vertices as listed (the first
// repeated last when closed), each vertex's line, and the edges stored for them. False when the
// shape itself is at fault: not closed, without area, clockwise or not convex. Without
// `tell_pointless`, a polygon that holds no point of the working area goes unsaid.
bool check_polygon(size_t number, place polygon, std::span<const drawn_point> vertices,
                   std::span<const uint32_t> lines, std::span<const edge_equation> edges, warning_list& warnings,
                   bool tell_pointless = true);

// Whether the vertices, the first repeated last, make a closed, convex outline that runs
// counter-clockwise on the picture and has an area: a polygon that stores as drawn.
bool convex_and_filled(std::span<const drawn_point> vertices);

// A polygon as compiled: its record in the collision data beside its outline as drawn.
struct compiled_polygon {
    place where;  // of its newpolygon
    size_t record_offset;
    size_t edge_count;
    uint32_t first;  // its outline in the points, the closing vertex not repeated
    uint32_t count;
    bool sound;  // closed, convex, counter-clockwise and with an area: stored as drawn
};

// The collision data as compiled, and the outlines drawn for its records.
struct compiled_view {
    std::span<const uint8_t> records;
    std::span<const compiled_polygon> polygons;
    std::span<const drawn_point> points;
};

// Adds a warning for every crack between polygons that share an edge in the drawing: a place where
// points that they hold as drawn are in no stored polygon. Polygons whose shape has a warning of its
// own are left out.
void find_cracks(const compiled_view& first, warning_list& warnings);
