// Maps from the Tiled map editor, read from TMX (XML) or JSON into one model, and the polygon text
// made of their collision shapes.
#pragma once

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
    std::string shape;  // "rectangle", "polygon", "ellipse", "polyline", "point", "text", "tile"
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    double rotation = 0.0;  // degrees, clockwise on the picture, about (x, y)
    bool visible = true;
    uint32_t gid = 0;  // a tile object's tile, with its flip bits
    std::vector<map_point> points;
    size_t line = 0;  // where the file gives one
};

// A tileset: its tiles' size and each tile's collision shapes.
struct map_tileset {
    uint32_t first_gid = 1;
    double tile_width = 0.0;
    double tile_height = 0.0;
    bool image_collection = false;  // tiles of their own sizes
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

// A polygon made from the map: where it comes from, for the messages, and its corners in the world.
struct map_polygon {
    size_t line;
    std::string source;  // object 12 "ledge" (layer "ground")
    std::vector<map_point> corners;
};

// Why a map cannot be read; empty when it can.
struct map_result {
    std::string error;
    size_t error_line = 0;
    std::vector<map_polygon> polygons;
    std::vector<std::pair<size_t, std::string>> notes;  // what was skipped or approximated, at a line
};

// Whether the name is that of a map rather than polygon text: .tmx, .tmj, or .json.
bool names_map(const std::string& name);

// Reads the map and the tilesets and templates it names, beside it; on failure `error` says why, at
// `error_line` of the file where there is one.
tiled_map parse_map(const std::string& name, const std::string& content, std::string& error, size_t& error_line);

// The map's collision shapes as polygons in the world, in layer order, then object order.
map_result map_polygons(const tiled_map& map, const map_settings& settings);
