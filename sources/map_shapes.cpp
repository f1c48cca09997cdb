// A map's collision shapes as the drawing's shapes in the world: objects with their rotation, tiles
// with their flips, layers with their groups' offsets, all scaled and moved as the user asks, each
// with its source.
#include "map_model.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

namespace {

constexpr uint32_t FLIPPED_HORIZONTALLY = 0x80000000u;
constexpr uint32_t FLIPPED_VERTICALLY = 0x40000000u;
constexpr uint32_t FLIPPED_DIAGONALLY = 0x20000000u;
constexpr uint32_t ROTATED_HEXAGONALLY = 0x10000000u;
constexpr uint32_t GID_BITS = ~(FLIPPED_HORIZONTALLY | FLIPPED_VERTICALLY | FLIPPED_DIAGONALLY | ROTATED_HEXAGONALLY);
constexpr double ELLIPSE_OVERSHOOT = 0.5;  // world units an ellipse's polygon may stick out of it
constexpr int MIN_ELLIPSE_CORNERS = 8;
constexpr int MAX_ELLIPSE_CORNERS = 4096;  // enough for an ellipse wider than the working area

// A placement of shapes: shape coordinates are turned by `rotation` degrees clockwise about the
// origin, then moved by (x, y).
struct placement {
    double x = 0.0;
    double y = 0.0;
    double rotation = 0.0;
};

map_point placed(const placement& where, map_point point)
{
    double turn = where.rotation * std::numbers::pi / 180.0;
    double c = std::cos(turn);
    double s = std::sin(turn);
    // with y growing downward, this turns clockwise on the picture
    return {where.x + point.x * c - point.y * s, where.y + point.x * s + point.y * c};
}

// The corners of an object's shape, relative to its (x, y), in the order that fills a polygon when
// the shape has none of its own; empty for a shape without area.
std::vector<map_point> outline_of(const map_object& object, double scale, bool& approximated)
{
    std::vector<map_point> corners;
    if (object.shape == "polygon") {
        return object.points;  // the order the designer clicked
    }
    if (object.shape == "rectangle" && object.width > 0.0 && object.height > 0.0) {
        return {{0, 0}, {0, object.height}, {object.width, object.height}, {object.width, 0}};
    }
    if (object.shape == "ellipse" && object.width > 0.0 && object.height > 0.0) {
        // the polygon that touches the ellipse at the middle of each edge holds it; its corners stick
        // out by r (1 / cos(pi / n) - 1), which the count of corners keeps within the allowance
        double rx = object.width / 2.0;
        double ry = object.height / 2.0;
        double radius = std::max(rx, ry) * scale;
        int count = MIN_ELLIPSE_CORNERS;
        while (count < MAX_ELLIPSE_CORNERS && radius * (1.0 / std::cos(std::numbers::pi / count) - 1.0) > ELLIPSE_OVERSHOOT) {
            count *= 2;
        }
        double stretch = 1.0 / std::cos(std::numbers::pi / count);
        for (int k = 0; k < count; ++k) {
            double angle = -2.0 * std::numbers::pi * k / count;  // falling angles: the filled order
            corners.push_back({rx + rx * stretch * std::cos(angle), ry + ry * stretch * std::sin(angle)});
        }
        approximated = true;
    }
    return corners;
}

std::string quoted(const std::string& text)
{
    std::string quoted_text = "\"";
    quoted_text.append(printable(text)).append("\"");
    return quoted_text;
}

// The drawing that the map's shapes go to, with each name given a number once.
struct emitter {
    const map_settings& settings;
    drawing& drawn;
    std::map<std::string, uint32_t> numbers = {};

    uint32_t name_number(const std::string& name)
    {
        if (name.empty()) {
            return NO_INDEX;
        }
        auto [found, added] = numbers.try_emplace(name, uint32_t(drawn.names.size()));
        if (added) {
            drawn.names.push_back(name);
        }
        return found->second;
    }

    // Adds the shape, closed as polygon text lists it, and returns its source's number.
    uint32_t add(const map_layer& layer, const shape_source& source, const std::vector<map_point>& corners)
    {
        if (corners.size() < 2) {
            return NO_INDEX;
        }
        add_shape(drawn, source);
        for (size_t i = 0; i <= corners.size(); ++i) {
            const map_point& corner = corners[i % corners.size()];
            add_vertex(drawn, {float((corner.x + layer.offset_x) * settings.scale + settings.offset_x),
                               float((corner.y + layer.offset_y) * settings.scale + settings.offset_y)});
        }
        return uint32_t(drawn.sources.size() - 1);
    }
};

uint32_t line_number(size_t line)
{
    return uint32_t(std::min<size_t>(line, UINT32_MAX));
}

const map_tileset* tileset_of(const tiled_map& map, uint32_t gid)
{
    const map_tileset* found = nullptr;
    for (const map_tileset& tileset : map.tilesets) {
        if (tileset.first_gid <= gid && (!found || tileset.first_gid > found->first_gid)) {
            found = &tileset;
        }
    }
    return found;
}

// A tile's shapes in a box of width x height whose top left corner is the origin, flipped as the gid
// says: across the diagonal first, then horizontally, then vertically. A mirrored outline keeps its
// winding, so it is reversed after an odd number of mirrorings.
std::vector<std::vector<map_point>> tile_shapes(const map_tileset& tileset, uint32_t gid, double width, double height,
                                                double scale)
{
    std::vector<std::vector<map_point>> shapes;
    auto found = tileset.shapes.find((gid & GID_BITS) - tileset.first_gid);
    if (found == tileset.shapes.end()) {
        return shapes;
    }
    bool diagonal = gid & FLIPPED_DIAGONALLY;
    bool horizontal = gid & FLIPPED_HORIZONTALLY;
    bool vertical = gid & FLIPPED_VERTICALLY;
    double sx = width / (diagonal ? tileset.tile_height : tileset.tile_width);
    double sy = height / (diagonal ? tileset.tile_width : tileset.tile_height);
    for (const map_object& shape : found->second) {
        bool approximated = false;
        std::vector<map_point> corners = outline_of(shape, scale, approximated);
        for (map_point& corner : corners) {
            map_point point = placed({shape.x, shape.y, shape.rotation}, corner);  // in the tile
            if (diagonal) {
                std::swap(point.x, point.y);
            }
            point = {point.x * sx, point.y * sy};
            if (horizontal) {
                point.x = width - point.x;
            }
            if (vertical) {
                point.y = height - point.y;
            }
            corner = point;
        }
        if ((int(diagonal) + int(horizontal) + int(vertical)) % 2 == 1) {
            std::reverse(corners.begin(), corners.end());
        }
        shapes.push_back(std::move(corners));
    }
    return shapes;
}

bool chosen(const map_settings& settings, const map_layer& layer)
{
    if (!layer.visible) {
        return false;
    }
    return settings.layers.empty() ||
           std::find(settings.layers.begin(), settings.layers.end(), layer.path) != settings.layers.end();
}

}  // namespace

bool map_drawing(const tiled_map& map, const map_settings& settings, drawing& drawn, std::vector<note>& notes,
                 refusal& refused)
{
    drawn.from_text = false;
    emitter out{settings, drawn};
    for (const map_layer& layer : map.layers) {
        if (!chosen(settings, layer)) {
            continue;
        }
        uint32_t layer_name = out.name_number(layer.path);
        if (layer.tiles) {
            for (const map_layer::block& block : layer.blocks) {
                for (int row = 0; row < block.height; ++row) {
                    for (int column = 0; column < block.width; ++column) {
                        uint32_t gid = block.gids[size_t(row) * size_t(block.width) + size_t(column)];
                        const map_tileset* tileset = gid & GID_BITS ? tileset_of(map, gid & GID_BITS) : nullptr;
                        if (!tileset) {
                            continue;
                        }
                        if (tileset->image_collection) {
                            refused = refusal_at({0, line_number(layer.line), NO_INDEX},
                                                 "layer " + quoted(layer.path) +
                                                     " places a tile of an image collection, whose tiles have sizes "
                                                     "of their own; place it as a tile object instead");
                            return false;
                        }
                        int64_t x = int64_t(block.x) + column;
                        int64_t y = int64_t(block.y) + row;
                        uint32_t tile = (gid & GID_BITS) - tileset->first_gid;
                        auto kind = tileset->kinds.find(tile);
                        shape_source source = {.file = 0,
                                               .line = line_number(layer.line),
                                               .layer = layer_name,
                                               .kind = kind != tileset->kinds.end() ? out.name_number(kind->second)
                                                                                     : NO_INDEX,
                                               .tile = tile,
                                               .cell_x = int32_t(x),
                                               .cell_y = int32_t(y)};
                        // a tile is drawn from its cell's bottom left corner
                        placement cell = {double(x) * map.tile_width,
                                          double(y + 1) * map.tile_height - tileset->tile_height, 0.0};
                        for (auto& shape :
                             tile_shapes(*tileset, gid, tileset->tile_width, tileset->tile_height, settings.scale)) {
                            for (map_point& corner : shape) {
                                corner = placed(cell, corner);
                            }
                            out.add(layer, source, shape);
                        }
                    }
                }
            }
            continue;
        }
        size_t skipped = 0;
        for (const map_object& object : layer.objects) {
            if (!object.visible) {
                continue;
            }
            shape_source source = {.file = object.file,
                                   .line = line_number(object.line),
                                   .layer = layer_name,
                                   .name = out.name_number(object.name),
                                   .kind = out.name_number(object.kind),
                                   .object = object.id};
            placement where = {object.x, object.y, object.rotation};
            if (object.shape == "tile") {
                const map_tileset* tileset = tileset_of(map, object.gid & GID_BITS);
                if (!tileset) {
                    continue;
                }
                source.tile = (object.gid & GID_BITS) - tileset->first_gid;
                auto kind = tileset->kinds.find(source.tile);
                if (source.kind == NO_INDEX && kind != tileset->kinds.end()) {
                    source.kind = out.name_number(kind->second);  // an object's class falls back to its tile's
                }
                double width = object.width > 0.0 ? object.width : tileset->tile_width;
                double height = object.height > 0.0 ? object.height : tileset->tile_height;
                // a tile object stands on its (x, y): its bottom left corner
                for (auto& shape : tile_shapes(*tileset, object.gid, width, height, settings.scale)) {
                    for (map_point& corner : shape) {
                        corner = placed(where, {corner.x, corner.y - height});
                    }
                    out.add(layer, source, shape);
                }
                continue;
            }
            if (object.shape == "polyline" || object.shape == "point" || object.shape == "text") {
                ++skipped;
                continue;
            }
            bool approximated = false;
            std::vector<map_point> corners = outline_of(object, settings.scale, approximated);
            for (map_point& corner : corners) {
                corner = placed(where, corner);
            }
            uint32_t added = out.add(layer, source, corners);
            if (approximated) {
                notes.push_back({{source.file, source.line, added},
                                 "an ellipse, stored as a polygon of " + std::to_string(corners.size()) +
                                     " corners that holds it and sticks out by at most 0.5"});
            }
        }
        if (skipped != 0) {
            notes.push_back({{0, line_number(layer.line), NO_INDEX},
                             "layer " + quoted(layer.path) + ": " + std::to_string(skipped) +
                                 " polylines, points or texts skipped: they are not areas"});
        }
    }
    // the drawing is kept for the whole run, so a large map gives back what its growth left spare
    drawn.points.shrink_to_fit();
    drawn.shapes.shrink_to_fit();
    drawn.sources.shrink_to_fit();
    return true;
}
