// A map's collision shapes as the drawing's shapes in the world, placed where the editor draws them:
// objects with their rotation, tile objects on the point their tileset aligns them by, tiles with
// their flips and their tileset's offset, layers with their groups' offsets, all scaled and moved as
// the user asks, each shape with its source. Shapes are chosen by layer and class.
#include "map_model.h"

#include "merging.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

namespace {

constexpr uint32_t FLIPPED_HORIZONTALLY = 0x80000000u;
constexpr uint32_t FLIPPED_VERTICALLY = 0x40000000u;
constexpr uint32_t FLIPPED_DIAGONALLY = 0x20000000u;
constexpr uint32_t GID_BITS = GID_LIMIT;
constexpr double ROUND_OVERSHOOT = 0.5;  // world units a round shape's polygon may stick out of it
constexpr int MIN_ROUND_CORNERS = 8;
constexpr int MAX_ROUND_CORNERS = 4096;  // enough for an ellipse wider than the working area

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

// Corners enough that a polygon holding a round shape of this radius, in world units, sticks out by
// at most ROUND_OVERSHOOT: its corners stick out by r (1 / cos(pi / n) - 1). A multiple of four.
int round_corners(double radius)
{
    int count = MIN_ROUND_CORNERS;
    while (count < MAX_ROUND_CORNERS &&
           radius * (1.0 / std::cos(std::numbers::pi / count) - 1.0) > ROUND_OVERSHOOT) {
        count *= 2;
    }
    return count;
}

// The corners of an object's shape, relative to its (x, y), in the order that fills a polygon when
// the shape has none of its own; empty for a shape without area. `scale` is how many world units one
// of the shape's pixels becomes, so that a round shape keeps within ROUND_OVERSHOOT of the world.
std::vector<map_point> outline_of(const map_object& object, double scale, bool& approximated)
{
    std::vector<map_point> corners;
    if (object.shape == "polygon") {
        return object.points;  // the order the designer clicked
    }
    bool sized = object.width > 0.0 && object.height > 0.0;
    if (object.shape == "rectangle" && sized) {
        return {{0, 0}, {0, object.height}, {object.width, object.height}, {object.width, 0}};
    }
    if (object.shape == "ellipse" && sized) {
        // the polygon that touches the ellipse at the middle of each edge holds it
        double rx = object.width / 2.0;
        double ry = object.height / 2.0;
        int count = round_corners(std::max(rx, ry) * scale);
        double stretch = 1.0 / std::cos(std::numbers::pi / count);
        for (int k = 0; k < count; ++k) {
            double angle = -2.0 * std::numbers::pi * k / count;  // falling angles: the filled order
            corners.push_back({rx + rx * stretch * std::cos(angle), ry + ry * stretch * std::sin(angle)});
        }
        approximated = true;
    }
    if (object.shape == "capsule" && sized) {
        // two half circles joined by straight sides: the corners of the circle's holding polygon, each
        // about the centre of its end; tangent at the straight sides, as the count is a multiple of four
        bool wide = object.width >= object.height;
        double r = std::min(object.width, object.height) / 2.0;
        int count = round_corners(r * scale);
        double far_end = (wide ? object.width : object.height) - r;
        double reach = r / std::cos(std::numbers::pi / count);
        for (int k = 0; k < count; ++k) {
            double angle = -std::numbers::pi * (2.0 * k + 1.0) / count;
            double c = std::cos(angle);
            double s = std::sin(angle);
            map_point centre = wide ? map_point{c > 0.0 ? far_end : r, r} : map_point{r, s > 0.0 ? far_end : r};
            corners.push_back({centre.x + reach * c, centre.y + reach * s});
        }
        approximated = true;
    }
    return corners;
}

uint32_t line_number(size_t line)
{
    return uint32_t(std::min<size_t>(line, UINT32_MAX));
}

std::string quoted(const std::string& text)
{
    std::string quoted_text = "\"";
    quoted_text.append(printable(text)).append("\"");
    return quoted_text;
}

// The drawing that the map's shapes go to, with each name given a number once, and the shapes and
// edges made so far against the map's budget.
struct emitter {
    const map_settings& settings;
    drawing& drawn;
    std::map<std::string, uint32_t> numbers = {};
    std::map<const map_object*, uint32_t> tile_shapes = {};
    std::map<std::pair<const map_tileset*, uint32_t>, uint32_t> tile_properties = {};

    // The number of a tile's properties, given once for all its placements.
    uint32_t tile_properties_number(const map_tileset& tileset, uint32_t tile)
    {
        auto [found, added] = tile_properties.try_emplace({&tileset, tile}, NO_INDEX);
        auto own = tileset.properties.find(tile);
        if (added && own != tileset.properties.end()) {
            found->second = properties_number(own->second);
        }
        return found->second;
    }
    uint64_t edges = 0;

    // The number of a set of properties in the drawing; NO_INDEX for none.
    uint32_t properties_number(std::vector<property> properties)
    {
        if (properties.empty()) {
            return NO_INDEX;
        }
        drawn.properties.push_back(std::move(properties));
        return uint32_t(drawn.properties.size() - 1);
    }

    // The number of a tile's collision shape, by where its tileset gives it.
    uint32_t tile_shape_number(const map_object* shape)
    {
        auto [found, added] = tile_shapes.try_emplace(shape, uint32_t(drawn.tile_shapes.size()));
        if (added) {
            drawn.tile_shapes.push_back({shape->file, line_number(shape->line), NO_INDEX});
        }
        return found->second;
    }

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

    // A point of the layer in the world.
    drawn_point world(const map_layer& layer, const map_point& corner) const
    {
        return {float((corner.x + layer.offset_x) * settings.scale + settings.offset_x),
                float((corner.y + layer.offset_y) * settings.scale + settings.offset_y)};
    }

    // Adds a shape already in the world, closed as polygon text lists it.
    void add_world(const shape_source& source, const std::vector<drawn_point>& corners)
    {
        add_shape(drawn, source);
        for (size_t i = 0; i <= corners.size(); ++i) {
            add_vertex(drawn, corners[i % corners.size()]);
        }
    }

    // Adds the shape, closed as polygon text lists it, and returns its source's number.
    uint32_t add(const map_layer& layer, const shape_source& source, const std::vector<map_point>& corners)
    {
        edges += corners.size();
        if (drawn.shapes.size() >= MAX_MAP_SHAPES || edges > MAX_MAP_EDGES) {
            throw refusal_at({0, source.line, NO_INDEX},
                             drawn.shapes.size() >= MAX_MAP_SHAPES
                                 ? "more than the " + with_thousands(MAX_MAP_SHAPES) + " shapes a map may make"
                                 : "more than the " + with_thousands(MAX_MAP_EDGES) + " edges a map may make");
        }
        add_shape(drawn, source);
        for (size_t i = 0; i <= corners.size(); ++i) {
            add_vertex(drawn, world(layer, corners[i % corners.size()]));
        }
        return uint32_t(drawn.sources.size() - 1);
    }
};

// The map's own tilesets in the order of their first gids, to find a gid's tileset by a binary search.
std::vector<const map_tileset*> by_first_gid(const tiled_map& map)
{
    std::vector<const map_tileset*> sorted;
    for (const map_tileset& tileset : map.tilesets) {
        if (!tileset.from_template) {
            sorted.push_back(&tileset);
        }
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const map_tileset* a, const map_tileset* b) { return a->first_gid < b->first_gid; });
    return sorted;
}

// The tileset that holds the gid (its flip bits off), or null when none does.
const map_tileset* tileset_of(std::span<const map_tileset* const> sorted, uint32_t gid)
{
    auto after = std::upper_bound(sorted.begin(), sorted.end(), gid,
                                  [](uint32_t value, const map_tileset* tileset) { return value < tileset->first_gid; });
    if (after == sorted.begin()) {
        return nullptr;
    }
    const map_tileset* tileset = *(after - 1);
    bool counted_tiles = tileset->tile_count != 0;
    return !counted_tiles || gid - tileset->first_gid < tileset->tile_count ? tileset : nullptr;
}

// A tile's own size: its image's in a collection, else its tileset's.
map_point tile_size(const map_tileset& tileset, uint32_t tile)
{
    auto own = tileset.sizes.find(tile);
    if (tileset.image_collection && own != tileset.sizes.end() && own->second.first > 0.0 &&
        own->second.second > 0.0) {
        return {own->second.first, own->second.second};
    }
    return {tileset.tile_width, tileset.tile_height};
}

// A tile's collision shape, placed.
struct tile_shape {
    const map_object* object;
    std::vector<map_point> corners;
};

// A tile's shapes in a box of width x height whose top left corner is the origin, flipped as the gid
// says: across the diagonal first, then horizontally, then vertically. A mirrored outline keeps its
// winding, so it is reversed after an odd number of mirrorings. Shapes other than areas are counted
// in `skipped`, and those without area in `empty`.
std::vector<tile_shape> tile_shapes(const map_tileset& tileset, uint32_t gid, double width, double height,
                                    double scale, size_t& skipped, size_t& empty)
{
    std::vector<tile_shape> shapes;
    uint32_t tile = (gid & GID_BITS) - tileset.first_gid;
    auto found = tileset.shapes.find(tile);
    if (found == tileset.shapes.end()) {
        return shapes;
    }
    bool diagonal = gid & FLIPPED_DIAGONALLY;
    bool horizontal = gid & FLIPPED_HORIZONTALLY;
    bool vertical = gid & FLIPPED_VERTICALLY;
    map_point own = tile_size(tileset, tile);
    double sx = width / (diagonal ? own.y : own.x);
    double sy = height / (diagonal ? own.x : own.y);
    for (const map_object& shape : found->second) {
        if (shape.shape == "polyline" || shape.shape == "point" || shape.shape == "text") {
            ++skipped;
            continue;
        }
        bool approximated = false;
        std::vector<map_point> corners = outline_of(shape, scale * std::max(std::fabs(sx), std::fabs(sy)), approximated);
        if (corners.size() < 2) {
            ++empty;
            continue;
        }
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
        shapes.push_back({&shape, std::move(corners)});
    }
    return shapes;
}

// Where a tile object's box stands against its (x, y): the point that its tileset aligns it by, as a
// fraction of its width and height from its top left corner. Unspecified is bottom left in an
// orthogonal map.
map_point alignment_of(const std::string& alignment)
{
    static const std::pair<const char*, map_point> POINTS[] = {
        {"topleft", {0.0, 0.0}},    {"top", {0.5, 0.0}},        {"topright", {1.0, 0.0}},
        {"left", {0.0, 0.5}},       {"center", {0.5, 0.5}},     {"right", {1.0, 0.5}},
        {"bottomleft", {0.0, 1.0}}, {"bottom", {0.5, 1.0}},     {"bottomright", {1.0, 1.0}},
        {"unspecified", {0.0, 1.0}}};
    for (const auto& [name, point] : POINTS) {
        if (alignment == name) {
            return point;
        }
    }
    return {0.0, 1.0};
}

// Whether a shape of this class is read.
bool class_chosen(const map_settings& settings, const std::string& kind)
{
    auto named = [&](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), kind) != list.end();
    };
    return (settings.classes.empty() || named(settings.classes)) && !named(settings.skip_classes);
}

// What a layer gave, by class, for its note.
struct class_counts {
    std::map<std::string, uint64_t> read;
    std::map<std::string, uint64_t> skipped;
};

void count_class(class_counts& counts, bool chosen, const std::string& kind, uint64_t shapes)
{
    if (shapes != 0) {
        (chosen ? counts.read : counts.skipped)[kind] += shapes;
    }
}

std::string class_words(const std::map<std::string, uint64_t>& counts)
{
    std::string words;
    for (const auto& [kind, count] : counts) {
        words += words.empty() ? "" : ", ";
        words += std::to_string(count) + (kind.empty() ? " without a class" : " of class " + quoted(kind));
    }
    return words;
}

// The note on a layer whose shapes have classes, or whose classes were chosen.
void note_classes(std::vector<note>& notes, const map_layer& layer, const class_counts& counts, bool chosen)
{
    bool classed = std::any_of(counts.read.begin(), counts.read.end(), [](const auto& c) { return !c.first.empty(); }) ||
                   std::any_of(counts.skipped.begin(), counts.skipped.end(), [](const auto& c) { return !c.first.empty(); });
    if (!classed && !chosen) {
        return;
    }
    std::string words = "layer " + quoted(layer.path) + ": ";
    words += counts.read.empty() ? "no shapes read" : "shapes read: " + class_words(counts.read);
    if (!counts.skipped.empty()) {
        words += "; skipped: " + class_words(counts.skipped);
    }
    notes.push_back({{0, line_number(layer.line), NO_INDEX}, words});
}

// Refuses a --layer that names no layer, listing the layers there are.
void check_layer_names(const tiled_map& map, const map_settings& settings)
{
    for (const std::string& wanted : settings.layers) {
        bool found = std::any_of(map.layers.begin(), map.layers.end(),
                                 [&](const map_layer& layer) { return layer.path == wanted; });
        if (!found) {
            std::string paths;
            for (const map_layer& layer : map.layers) {
                paths += (paths.empty() ? "" : ", ") + quoted(layer.path);
            }
            throw refusal_at({}, "no layer " + quoted(wanted) + " in the map; its layers are " +
                                     (paths.empty() ? "none" : paths));
        }
    }
}

bool chosen(const map_settings& settings, const map_layer& layer)
{
    if (settings.layers.empty()) {
        return layer.visible;
    }
    return std::find(settings.layers.begin(), settings.layers.end(), layer.path) != settings.layers.end();
}

// The tiles' shapes of one class waiting to be united: of one layer, or of every tile layer.
struct merge_group {
    uint32_t layer;  // the first layer's path
    uint32_t line;
    uint64_t tile_shapes = 0;
    std::vector<std::vector<drawn_point>> shapes = {};
    std::vector<shape_source> sources = {};  // each shape's own, should it be stored alone
};

// Tiles' shapes of one class beyond which merging is not tried: the union of the tiles of a whole
// 1024 x 1024 map would outgrow what mending can do in reasonable time.
constexpr uint64_t MAX_MERGED_TILE_SHAPES = 100000;

using merge_groups = std::map<std::string, merge_group>;  // by class

// Unites each class's tiles' shapes, and adds the regions, cut through their holes, as merged shapes.
void add_merged(emitter& out, merge_groups& groups, std::vector<note>& notes)
{
    std::map<uint32_t, drawing::merged_layer> summaries;
    std::vector<std::vector<drawn_point>> outlines;
    for (auto& [kind, group] : groups) {
        if (group.tile_shapes > MAX_MERGED_TILE_SHAPES || !merged_outlines(group.shapes, outlines)) {
            // stored one by one, as --no-merge stores them
            notes.push_back({{0, group.line, NO_INDEX},
                             "layer " + quoted(out.drawn.names[group.layer]) + ": the " +
                                 with_thousands(group.tile_shapes) + " tile shapes" +
                                 (kind.empty() ? std::string() : " of class " + quoted(kind)) +
                                 " make regions too large or too holed to merge; stored one by one"});
            for (size_t i = 0; i < group.shapes.size(); ++i) {
                out.add_world(group.sources[i], group.shapes[i]);
            }
            continue;
        }
        drawing::merged_layer& summary = summaries.try_emplace(group.layer, drawing::merged_layer{group.layer, group.line, 0, 0})
                                             .first->second;
        summary.tile_shapes += group.tile_shapes;
        ++summary.classes;
        shape_source source = {.file = 0, .line = group.line, .layer = group.layer, .kind = out.name_number(kind),
                               .merged = true};
        for (const std::vector<drawn_point>& outline : outlines) {
            out.add_world(source, outline);
        }
        std::move(group.shapes.begin(), group.shapes.end(), std::back_inserter(out.drawn.made_from));
    }
    for (const auto& [layer, summary] : summaries) {
        out.drawn.merged_layers.push_back(summary);
    }
    groups.clear();
}

// The shapes of a tile layer, each tile's at its cell; or, merging, gathered into `groups`.
void add_tile_layer(const tiled_map& map, std::span<const map_tileset* const> sorted, const map_layer& layer,
                    uint32_t layer_name, emitter& out, class_counts& counts, std::vector<note>& notes,
                    merge_groups& groups)
{
    size_t skipped = 0;
    size_t empty = 0;
    for (const map_layer::block& block : layer.blocks) {
        for (int row = 0; row < block.height; ++row) {
            for (int column = 0; column < block.width; ++column) {
                uint32_t gid = block.gids[size_t(row) * size_t(block.width) + size_t(column)];
                if ((gid & GID_BITS) == 0) {
                    continue;
                }
                int64_t x = int64_t(block.x) + column;
                int64_t y = int64_t(block.y) + row;
                const map_tileset* tileset = tileset_of(sorted, gid & GID_BITS);
                if (!tileset) {
                    throw refusal_at({0, line_number(layer.line), NO_INDEX},
                                     "layer " + quoted(layer.path) + " places gid " + std::to_string(gid & GID_BITS) +
                                         " at (" + std::to_string(x) + "," + std::to_string(y) +
                                         "), which no tileset holds");
                }
                if (tileset->image_collection) {
                    throw refusal_at({0, line_number(layer.line), NO_INDEX},
                                     "layer " + quoted(layer.path) +
                                         " places a tile of an image collection, whose tiles have sizes "
                                         "of their own; place it as a tile object instead");
                }
                uint32_t tile = (gid & GID_BITS) - tileset->first_gid;
                auto kind = tileset->kinds.find(tile);
                const std::string& tile_kind = kind != tileset->kinds.end() ? kind->second : std::string();
                // across its diagonal a tile that is not square lies on its side, on its cell's bottom
                bool diagonal = gid & FLIPPED_DIAGONALLY;
                double width = diagonal ? tileset->tile_height : tileset->tile_width;
                double height = diagonal ? tileset->tile_width : tileset->tile_height;
                placement cell = {double(x) * map.tile_width + tileset->offset_x,
                                  double(y + 1) * map.tile_height - height + tileset->offset_y, 0.0};
                for (tile_shape& shape : tile_shapes(*tileset, gid, width, height, out.settings.scale, skipped, empty)) {
                    // a collision shape's own class, else its tile's
                    const std::string& shape_kind = shape.object->kind.empty() ? tile_kind : shape.object->kind;
                    bool read = class_chosen(out.settings, shape_kind);
                    count_class(counts, read, shape_kind, 1);
                    if (!read) {
                        continue;
                    }
                    for (map_point& corner : shape.corners) {
                        corner = placed(cell, corner);
                    }
                    shape_source source = {.file = 0,
                                           .line = line_number(layer.line),
                                           .layer = layer_name,
                                           .kind = out.name_number(shape_kind),
                                           .tile = tile,
                                           .cell_x = int32_t(x),
                                           .cell_y = int32_t(y),
                                           .tile_shape = out.tile_shape_number(shape.object),
                                           .properties = out.tile_properties_number(*tileset, tile)};
                    if (out.settings.merge) {
                        merge_group& group = groups.try_emplace(shape_kind, merge_group{layer_name, line_number(layer.line)})
                                                 .first->second;
                        std::vector<drawn_point>& world = group.shapes.emplace_back();
                        for (const map_point& corner : shape.corners) {
                            world.push_back(out.world(layer, corner));
                        }
                        group.sources.push_back(source);
                        ++group.tile_shapes;
                        continue;
                    }
                    out.add(layer, source, shape.corners);
                }
            }
        }
    }
    if (skipped != 0) {
        notes.push_back({{0, line_number(layer.line), NO_INDEX},
                         "layer " + quoted(layer.path) + ": " + std::to_string(skipped) +
                             " polylines, points or texts among its tiles' shapes skipped: they are not areas"});
    }
    if (empty != 0) {
        notes.push_back({{0, line_number(layer.line), NO_INDEX},
                         "layer " + quoted(layer.path) + ": " + std::to_string(empty) +
                             " of its tiles' shapes have no area, and are skipped"});
    }
}

// The shapes of an object layer, in the objects' order.
void add_object_layer(const tiled_map& map, std::span<const map_tileset* const> sorted, const map_layer& layer,
                      uint32_t layer_name, emitter& out, class_counts& counts, std::vector<note>& notes)
{
    size_t skipped = 0;
    for (const map_object& object : layer.objects) {
        if (!object.visible) {
            continue;
        }
        shape_source source = {.file = object.file,
                               .line = line_number(object.line),
                               .layer = layer_name,
                               .name = out.name_number(object.name),
                               .object = object.id};
        placement where = {object.x, object.y, object.rotation};
        if (object.shape == "tile") {
            const map_tileset* tileset = object.tileset >= 0 ? &map.tilesets[size_t(object.tileset)]
                                                             : tileset_of(sorted, object.gid & GID_BITS);
            if (!tileset || (object.gid & GID_BITS) < tileset->first_gid) {
                throw refusal_at({object.file, source.line, NO_INDEX},
                                 "object " + std::to_string(object.id) + " places gid " +
                                     std::to_string(object.gid & GID_BITS) + ", which no tileset holds");
            }
            source.tile = (object.gid & GID_BITS) - tileset->first_gid;
            // the object's own properties, and its template's, over its tile's
            auto tile_properties = tileset->properties.find(source.tile);
            std::vector<property> properties =
                tile_properties != tileset->properties.end() ? tile_properties->second : std::vector<property>();
            merge_properties(properties, object.properties);
            source.properties = out.properties_number(std::move(properties));
            auto kind = tileset->kinds.find(source.tile);
            // an object's class falls back to its tile's
            std::string object_kind = !object.kind.empty() || kind == tileset->kinds.end() ? object.kind : kind->second;
            map_point own = tile_size(*tileset, source.tile);
            bool diagonal = object.gid & FLIPPED_DIAGONALLY;
            double width = object.width > 0.0 ? object.width : (diagonal ? own.y : own.x);
            double height = object.height > 0.0 ? object.height : (diagonal ? own.x : own.y);
            map_point anchor = alignment_of(tileset->alignment);
            size_t empty = 0;
            std::vector<tile_shape> shapes =
                tile_shapes(*tileset, object.gid, width, height, out.settings.scale, skipped, empty);
            bool read = class_chosen(out.settings, object_kind);
            count_class(counts, read, object_kind, shapes.size());
            source.kind = out.name_number(object_kind);
            for (tile_shape& shape : shapes) {
                if (!read) {
                    break;
                }
                for (map_point& corner : shape.corners) {
                    corner = placed(where, {corner.x - anchor.x * width + tileset->offset_x,
                                            corner.y - anchor.y * height + tileset->offset_y});
                }
                out.add(layer, source, shape.corners);
            }
            continue;
        }
        if (object.shape == "polyline" || object.shape == "point" || object.shape == "text") {
            ++skipped;
            continue;
        }
        bool approximated = false;
        std::vector<map_point> corners = outline_of(object, out.settings.scale, approximated);
        if (corners.size() < 3) {
            // a source without a shape, kept so that the note names the object in its words
            source.kind = out.name_number(object.kind);
            out.drawn.sources.push_back(source);
            uint32_t named = uint32_t(out.drawn.sources.size() - 1);
            notes.push_back({{object.file, source.line, named},
                             "a " + object.shape + (object.shape == "polygon" ? " of fewer than three points" : " without area") +
                                 ", skipped"});
            continue;
        }
        bool read = class_chosen(out.settings, object.kind);
        count_class(counts, read, object.kind, 1);
        if (!read) {
            continue;
        }
        source.kind = out.name_number(object.kind);
        source.properties = out.properties_number(object.properties);
        for (map_point& corner : corners) {
            corner = placed(where, corner);
        }
        uint32_t added = out.add(layer, source, corners);
        if (approximated) {
            notes.push_back({{source.file, source.line, added},
                             std::string(object.shape == "capsule" ? "a capsule" : "an ellipse") +
                                 ", stored as a polygon of " + std::to_string(corners.size()) +
                                 " corners that holds it and sticks out by at most 0.5"});
        }
    }
    if (skipped != 0) {
        notes.push_back({{0, line_number(layer.line), NO_INDEX},
                         "layer " + quoted(layer.path) + ": " + std::to_string(skipped) +
                             " polylines, points or texts skipped: they are not areas"});
    }
}

// How many shapes the chosen tile layers make, counted before any is made, so that a map of millions
// of tiny tiles is refused at once.
uint64_t tile_layer_shapes(const tiled_map& map, std::span<const map_tileset* const> sorted, const map_settings& settings)
{
    uint64_t shapes = 0;
    for (const map_layer& layer : map.layers) {
        if (!layer.tiles || !chosen(settings, layer)) {
            continue;
        }
        for (const map_layer::block& block : layer.blocks) {
            for (uint32_t gid : block.gids) {
                const map_tileset* tileset = (gid & GID_BITS) != 0 ? tileset_of(sorted, gid & GID_BITS) : nullptr;
                if (tileset) {
                    auto found = tileset->shapes.find((gid & GID_BITS) - tileset->first_gid);
                    shapes += found != tileset->shapes.end() ? found->second.size() : 0;
                }
            }
        }
    }
    return shapes;
}

}  // namespace

bool map_drawing(const tiled_map& map, const map_settings& settings, drawing& drawn, std::vector<note>& notes,
                 refusal& refused)
{
    drawn.from_text = false;
    emitter out{settings, drawn};
    std::vector<const map_tileset*> sorted = by_first_gid(map);
    bool classes_chosen = !settings.classes.empty() || !settings.skip_classes.empty();
    merge_groups groups;
    try {
        check_layer_names(map, settings);
        uint64_t tile_shapes_made = tile_layer_shapes(map, sorted, settings);
        if (tile_shapes_made > MAX_MAP_SHAPES) {
            throw refusal_at({}, with_thousands(tile_shapes_made) + " tile shapes, more than the " +
                                     with_thousands(MAX_MAP_SHAPES) + " a map may make");
        }
        std::string hidden;
        for (const map_layer& layer : map.layers) {
            if (!chosen(settings, layer)) {
                hidden += layer.visible ? "" : (hidden.empty() ? "" : ", ") + quoted(layer.path);
                continue;
            }
            uint32_t layer_name = out.name_number(layer.path);
            class_counts counts;
            if (layer.tiles) {
                add_tile_layer(map, sorted, layer, layer_name, out, counts, notes, groups);
                if (!settings.merge_layers) {
                    add_merged(out, groups, notes);
                }
            } else {
                add_object_layer(map, sorted, layer, layer_name, out, counts, notes);
            }
            note_classes(notes, layer, counts, classes_chosen);
        }
        add_merged(out, groups, notes);  // the tile layers' together
        if (!hidden.empty()) {
            notes.push_back({{}, "hidden layers skipped: " + hidden + "; --layer reads a hidden layer by name"});
        }
    } catch (refusal& failure) {
        refused = std::move(failure);
        return false;
    }
    if (drawn.shapes.empty()) {
        notes.push_back({{}, "the map has no collision shapes" +
                                 std::string(classes_chosen || !settings.layers.empty() ? " among those chosen" : "")});
    }
    // the drawing is kept for the whole run, so a large map gives back what its growth left spare
    drawn.points.shrink_to_fit();
    drawn.shapes.shrink_to_fit();
    drawn.sources.shrink_to_fit();
    return true;
}

drawn_point placed(drawn_point point, const map_settings& settings)
{
    return {float(double(point.x) * settings.scale + settings.offset_x),
            float(double(point.y) * settings.scale + settings.offset_y)};
}
