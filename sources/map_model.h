// Maps from the Tiled map editor, read from TMX (XML) or JSON into one model, and the drawing made
// of their collision shapes.
#pragma once

#include "drawing.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What a map may ask for: cells of all its tile layers and chunks together, and the shapes and edges
// it may make, no more than 64 MiB of polygon text could hold.
constexpr uint64_t MAX_MAP_CELLS = uint64_t(1) << 24;  // 4096 x 4096 tiles: far beyond the working area
constexpr uint64_t MAX_MAP_SHAPES = 2000000;
constexpr uint64_t MAX_MAP_EDGES = 16000000;
constexpr uint32_t GID_LIMIT = 0x0FFFFFFFu;  // a gid's bits below its flips

struct map_point {
    double x;
    double y;
};

// An object of an object layer, or a collision shape of a tile, in the editor's pixels.
struct map_object {
    int id = 0;
    std::string name;
    std::string kind;   // its class, or in older maps its type
    std::string shape;  // "rectangle", "polygon", "ellipse", "capsule", "polyline", "point", "text", "tile"
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;
    double rotation = 0.0;  // degrees, clockwise on the picture, about (x, y)
    bool visible = true;
    uint32_t gid = 0;  // a tile object's tile, with its flip bits
    int tileset = -1;  // for a template's tile object, its own tileset; else found by the gid
    std::vector<map_point> points;
    std::vector<property> properties;  // its own over its template's
    uint32_t file = 0;  // the map's, a template's or a tileset's, in the drawing's files
    size_t line = 0;    // where the file gives one
};

// A tileset: its tiles' size, how tile objects stand on their place, and each tile's collision shapes.
struct map_tileset {
    uint32_t first_gid = 1;
    uint32_t file = 0;  // where it is written: the map, or a file of its own
    size_t line = 0;
    double tile_width = 0.0;   // the largest tile's, in an image collection
    double tile_height = 0.0;
    uint64_t tile_count = 0;   // the tiles it holds: gids beyond them place nothing
    std::string alignment = "unspecified";  // the point of a tile object that stands on its place
    double offset_x = 0.0;  // drawn this far from where a tile is placed
    double offset_y = 0.0;
    bool image_collection = false;  // tiles of their own sizes
    bool from_template = false;     // a template's own: its gids are not the map's
    std::map<uint32_t, std::pair<double, double>> sizes;  // each image's width and height, in a collection
    std::map<uint32_t, std::string> kinds;  // each tile's class, where it has one
    std::map<uint32_t, std::vector<property>> properties;  // each tile's custom properties
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

// How the map's pixels land in the world, and which layers and classes are read.
struct map_settings {
    double scale = 1.0;
    double offset_x = 0.0;
    double offset_y = 0.0;
    std::vector<std::string> layers;        // empty: every visible layer; named, hidden ones too
    std::vector<std::string> classes;       // empty: every class; else only these
    std::vector<std::string> skip_classes;  // and never these
    bool merge = false;         // the tiles' shapes of a layer united per class
    bool merge_layers = false;  // and across the tile layers
};

// A point of polygon text or a picture moved onto the world by the settings' scale and offset.
drawn_point placed(drawn_point point, const map_settings& settings);

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
