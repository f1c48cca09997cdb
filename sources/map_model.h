// Maps from the Tiled map editor, read from TMX (XML) or JSON into one model, and the drawing made
// of their collision shapes.
#pragma once

#include "drawing.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct map_point {
    double x;
    double y;
};

// An object of an object layer, or a collision shape of a tile, in the editor's pixels.
struct map_object {
    int id = 0;
    std::string name;
    std::string kind;   // its class, or in older maps its type
    std::string shape;  // "rectangle", "polygon", "ellipse", "polyline", "point", "text", "tile"
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    double rotation = 0.0;  // degrees, clockwise on the picture, about (x, y)
    bool visible = true;
    uint32_t gid = 0;  // a tile object's tile, with its flip bits
    std::vector<map_point> points;
    uint32_t file = 0;  // the map's, a template's or a tileset's, in the drawing's files
    size_t line = 0;    // where the file gives one
};

// A tileset: its tiles' size and each tile's collision shapes.
struct map_tileset {
    uint32_t first_gid = 1;
    double tile_width = 0.0;
    double tile_height = 0.0;
    bool image_collection = false;  // tiles of their own sizes
    std::map<uint32_t, std::string> kinds;  // each tile's class, where it has one
    std::map<uint32_t, std::vector<map_object>> shapes;  // by local tile id
};

// A layer with its groups' offsets added and its path of group names.
struct map_layer {
    std::string path;  // "group/layer"
    bool tiles = false;
    bool visible = true;
    double offset_x = 0.0;
    double offset_y = 0.0;
    size_t line = 0;
    std::vector<map_object> objects = {};
    // a tile layer: cells of gids, one block for a finite map, chunks for an infinite one
    struct block {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
        std::vector<uint32_t> gids;
    };
    std::vector<block> blocks = {};
};

struct tiled_map {
    std::string orientation;
    double tile_width = 0.0;
    double tile_height = 0.0;
    std::vector<map_layer> layers;
    std::vector<map_tileset> tilesets;
};

// How the map's pixels land in the world, and which layers are read.
struct map_settings {
    double scale = 1.0;
    double offset_x = 0.0;
    double offset_y = 0.0;
    std::vector<std::string> layers;  // empty: every visible layer
};

// Whether the name is that of a map rather than polygon text: .tmx, .tmj, or .json.
bool names_map(const std::string& name);

// Reads the map, whose name is files[0], and the tilesets and templates it names, beside it; each
// file read is added to `files`. False, with the refusal at the file and line where the map says it,
// when the map cannot be read. Running out of memory throws bad_alloc.
[[nodiscard]] bool parse_map(const std::string& content, std::vector<std::string>& files, tiled_map& map,
                             refusal& refused);

// The map's collision shapes added to the drawing, each with its source, in the world, in layer order
// and then object order; what was skipped or approximated is noted. False, with the refusal, for
// what cannot be stored as the editor shows it.
[[nodiscard]] bool map_drawing(const tiled_map& map, const map_settings& settings, drawing& drawn,
                               std::vector<note>& notes, refusal& refused);
