// Reading Tiled maps: TMX with pugixml, JSON with nlohmann-json, and the tilesets and templates they
// name (.tsx, .tsj, .tx, .tj) beside them, into one model. Tile data may be CSV, base64, and base64
// compressed with zlib or gzip (zlib) or zstd.
#include "map_model.h"

#include "file_io.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#ifdef TARVEX_HAS_PUGIXML
#include <pugixml.hpp>
#endif
#ifdef TARVEX_HAS_ZSTD
#include <zstd.h>
#endif

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace {

constexpr size_t MAX_LAYER_CELLS = size_t(1) << 24;  // 4096 x 4096 tiles: far beyond the working area
constexpr int MAX_GROUP_DEPTH = 64;

// The files of one map: the map first, then each tileset and template as it is read, so that a
// refusal can name the file it is about.
struct map_files {
    std::vector<std::string>& names;
};

// Why a map cannot be read, at the file and line where the map says it, if any. Thrown from deep in
// the reading, and caught once where the map is read.
[[noreturn]] void refuse(const std::string& text, size_t line = 0, uint32_t file = 0)
{
    throw refusal_at({file, uint32_t(std::min<size_t>(line, UINT32_MAX)), NO_INDEX}, text);
}

bool ends_with(const std::string& name, std::string_view ending)
{
    if (name.size() < ending.size()) {
        return false;
    }
    std::string tail = name.substr(name.size() - ending.size());
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ending;
}

// A file that the map names, relative to the map's own folder.
std::string beside(const std::string& map_name, const std::string& file)
{
    std::filesystem::path folder = path_of(map_name.c_str()).parent_path();
    return (folder / path_of(file.c_str())).string();
}

// Reads a file that the map names, and adds it to the map's files; returns its number there.
uint32_t read_named(map_files& files, const std::string& name, const char* what, std::string& content)
{
    std::vector<uint8_t> bytes;
    input_result read = read_input(name.c_str(), bytes);
    if (read.error != input_error::none) {
        refuse(std::string("the ") + what + " " + printable(name) + " cannot be read: " +
               printable(input_failure_text(name.c_str(), read)));
    }
    content.assign(bytes.begin(), bytes.end());
    files.names.push_back(name);
    return uint32_t(files.names.size() - 1);
}

// Tile data: base64, then the compression, then 32-bit little-endian gids.
std::vector<uint8_t> from_base64(std::string_view text, size_t line)
{
    static const std::string_view DIGITS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=' || std::isspace(static_cast<unsigned char>(c))) {
            continue;
        }
        size_t digit = DIGITS.find(c);
        if (digit == std::string_view::npos) {
            refuse("tile data is not base64", line);
        }
        bits = bits << 6 | uint32_t(digit);
        if ((count += 6) >= 8) {
            count -= 8;
            bytes.push_back(uint8_t(bits >> count));
        }
    }
    return bytes;
}

std::vector<uint8_t> uncompressed(const std::vector<uint8_t>& packed, const std::string& compression, size_t size,
                                  size_t line)
{
    if (compression.empty()) {
        return packed;
    }
    std::vector<uint8_t> bytes(size);
    if (compression == "zlib" || compression == "gzip") {
        z_stream stream{};
        if (inflateInit2(&stream, 15 + 32) != Z_OK) {  // 32: a zlib or a gzip header
            refuse("cannot start zlib", line);
        }
        stream.next_in = const_cast<Bytef*>(packed.data());
        stream.avail_in = uInt(packed.size());
        stream.next_out = bytes.data();
        stream.avail_out = uInt(bytes.size());
        int result = inflate(&stream, Z_FINISH);
        inflateEnd(&stream);
        if (result != Z_STREAM_END || stream.total_out != size) {
            refuse("tile data does not inflate to its layer's size", line);
        }
        return bytes;
    }
    if (compression == "zstd") {
#ifdef TARVEX_HAS_ZSTD
        size_t got = ZSTD_decompress(bytes.data(), bytes.size(), packed.data(), packed.size());
        if (ZSTD_isError(got) || got != size) {
            refuse("tile data does not decompress to its layer's size", line);
        }
        return bytes;
#else
        refuse("tile data compressed with zstd, which this build cannot read", line);
#endif
    }
    refuse("tile data compressed with " + printable(compression) + ", which is not a Tiled compression", line);
}

// The cells of a layer or a chunk, refused beyond what any map of the working area needs.
size_t cells_of(int width, int height, size_t line)
{
    size_t cells = size_t(std::max(width, 0)) * size_t(std::max(height, 0));
    if (cells > MAX_LAYER_CELLS) {
        refuse("a tile layer of " + std::to_string(cells) + " tiles, more than " + std::to_string(MAX_LAYER_CELLS),
               line);
    }
    return cells;
}

std::vector<uint32_t> gids_of(const std::string& encoding, const std::string& compression, std::string_view text,
                              size_t cells, size_t line)
{
    std::vector<uint32_t> gids;
    if (encoding == "csv") {
        std::string digits(text);
        std::replace(digits.begin(), digits.end(), ',', ' ');
        std::istringstream in(digits);
        for (uint64_t gid = 0; in >> gid;) {
            gids.push_back(uint32_t(gid));
        }
    } else if (encoding == "base64") {
        std::vector<uint8_t> bytes = uncompressed(from_base64(text, line), compression, cells * 4, line);
        for (size_t at = 0; at + 3 < bytes.size(); at += 4) {
            gids.push_back(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                           uint32_t(bytes[at + 3]) << 24);
        }
    } else {
        refuse("tile data in the encoding \"" + printable(encoding) + "\", which is not read", line);
    }
    if (gids.size() != cells) {
        refuse("tile data holds " + std::to_string(gids.size()) + " tiles, not " + std::to_string(cells), line);
    }
    return gids;
}

// Only orthogonal maps place tiles and objects on the plain grid that the world is.
void check_orientation(const std::string& orientation, size_t line)
{
    if (orientation != "orthogonal") {
        refuse("the map is " + printable(orientation) + "; only orthogonal maps are read", line);
    }
}

// ---- JSON ----

double number_at(const nlohmann::json& node, const char* key, double fallback = 0.0)
{
    auto found = node.find(key);
    return found != node.end() && found->is_number() ? found->get<double>() : fallback;
}

// A number as an integer of the map: a gid, an id, a size or a place. A value beyond the range the
// map's integers have is read as 0, so that no conversion overflows.
int int_of(double value)
{
    return value > -2147483649.0 && value < 2147483648.0 ? int(value) : 0;
}

uint32_t gid_of(double value)
{
    return value >= 0.0 && value < 4294967296.0 ? uint32_t(value) : 0;
}

std::string text_at(const nlohmann::json& node, const char* key)
{
    auto found = node.find(key);
    return found != node.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// A member of an object, or null where it is missing or the node is no object: reading a missing key
// of a const value is not defined, so every member is reached through here.
const nlohmann::json& member(const nlohmann::json& node, const char* key)
{
    static const nlohmann::json NOTHING;
    if (!node.is_object()) {
        return NOTHING;
    }
    auto found = node.find(key);
    return found != node.end() ? *found : NOTHING;
}

bool flag_at(const nlohmann::json& node, const char* key, bool fallback)
{
    auto found = node.find(key);
    return found != node.end() && found->is_boolean() ? found->get<bool>() : fallback;
}

nlohmann::json parse_json(const std::string& name, const std::string& content, uint32_t file)
{
    try {
        return nlohmann::json::parse(content);
    } catch (const nlohmann::json::parse_error& error) {
        refuse(printable(name) + " is not JSON: " + error.what(), 0, file);
    }
}

map_object template_object(map_files& files, const std::string& file, uint32_t from, size_t line);

// An object's or a tile's class: `class` since the editor's version 1.9, `type` before.
std::string json_kind(const nlohmann::json& node, const std::string& fallback)
{
    for (const char* key : {"class", "type"}) {
        auto found = node.find(key);
        if (found != node.end() && found->is_string() && !found->get<std::string>().empty()) {
            return found->get<std::string>();
        }
    }
    return fallback;
}

// An object's values that the node gives, over those it has already.
void apply_json(const nlohmann::json& node, map_object& object)
{
    object.id = int_of(number_at(node, "id", object.id));
    if (node.contains("name")) {
        object.name = text_at(node, "name");
    }
    object.x = number_at(node, "x", object.x);
    object.y = number_at(node, "y", object.y);
    object.width = number_at(node, "width", object.width);
    object.height = number_at(node, "height", object.height);
    object.rotation = number_at(node, "rotation", object.rotation);
    object.visible = flag_at(node, "visible", object.visible);
    object.kind = json_kind(node, object.kind);
    if (node.contains("gid")) {
        object.gid = gid_of(number_at(node, "gid"));
        object.shape = "tile";
    }
    for (const char* kind : {"polygon", "polyline"}) {
        if (node.contains(kind)) {
            object.shape = kind;
            object.points.clear();
            for (const auto& point : node[kind]) {
                object.points.push_back({number_at(point, "x"), number_at(point, "y")});
            }
        }
    }
    for (const char* kind : {"ellipse", "point"}) {
        if (flag_at(node, kind, false)) {
            object.shape = kind;
        }
    }
    if (node.contains("text")) {
        object.shape = "text";
    }
}

map_object json_object(map_files& files, const nlohmann::json& node, uint32_t file)
{
    std::string template_file = text_at(node, "template");
    map_object object = template_file.empty() ? map_object{} : template_object(files, template_file, file, 0);
    if (template_file.empty()) {
        object.shape = "rectangle";
    }
    apply_json(node, object);
    object.file = file;
    return object;
}

void check_tile_size(const map_tileset& tileset, size_t line, uint32_t file)
{
    if (!(tileset.tile_width > 0.0 && tileset.tile_height > 0.0 && tileset.tile_width < 1e6 &&
          tileset.tile_height < 1e6)) {
        refuse("a tileset without a tile size", line, file);
    }
}

map_tileset json_tileset(map_files& files, const nlohmann::json& node, uint32_t first_gid, uint32_t file)
{
    map_tileset tileset;
    tileset.first_gid = first_gid;
    tileset.tile_width = number_at(node, "tilewidth");
    tileset.tile_height = number_at(node, "tileheight");
    check_tile_size(tileset, 0, file);
    tileset.image_collection = !node.contains("image") && node.contains("tiles") && member(node, "tiles").is_array() &&
                               !member(node, "tiles").empty() && member(node, "tiles").front().contains("image");
    if (node.contains("tiles")) {
        for (const auto& tile : member(node, "tiles")) {
            uint32_t id = gid_of(number_at(tile, "id"));
            std::string kind = json_kind(tile, "");
            if (!kind.empty()) {
                tileset.kinds[id] = kind;
            }
            if (tile.contains("objectgroup")) {
                std::vector<map_object>& shapes = tileset.shapes[id];
                for (const auto& object : member(member(tile, "objectgroup"), "objects")) {
                    shapes.push_back(json_object(files, object, file));
                }
            }
        }
    }
    return tileset;
}

map_tileset load_tileset(map_files& files, const std::string& file, uint32_t first_gid);

void json_layers(map_files& files, const nlohmann::json& layers, const std::string& path, double offset_x,
                 double offset_y, bool visible, tiled_map& map, int depth = 0)
{
    if (depth > MAX_GROUP_DEPTH) {
        refuse("groups nested more than " + std::to_string(MAX_GROUP_DEPTH) + " deep");
    }
    for (const auto& node : layers) {
        std::string type = text_at(node, "type");
        std::string name = path.empty() ? text_at(node, "name") : path + "/" + text_at(node, "name");
        double x = offset_x + number_at(node, "offsetx");
        double y = offset_y + number_at(node, "offsety");
        bool shown = visible && flag_at(node, "visible", true);
        if (type == "group") {
            json_layers(files, member(node, "layers"), name, x, y, shown, map, depth + 1);
            continue;
        }
        map_layer layer{.path = name, .visible = shown, .offset_x = x, .offset_y = y};
        if (type == "objectgroup") {
            for (const auto& object : member(node, "objects")) {
                layer.objects.push_back(json_object(files, object, 0));
            }
        } else if (type == "tilelayer") {
            layer.tiles = true;
            std::string encoding = text_at(node, "encoding");
            std::string compression = text_at(node, "compression");
            auto block_of = [&](const nlohmann::json& data, int bx, int by, int width, int height) {
                map_layer::block block{bx, by, width, height, {}};
                size_t cells = cells_of(width, height, 0);
                if (data.is_array()) {
                    for (const auto& gid : data) {
                        block.gids.push_back(gid_of(gid.get<double>()));
                    }
                    if (block.gids.size() != cells) {
                        refuse("tile data of layer \"" + printable(name) + "\" does not fill it");
                    }
                } else {
                    block.gids = gids_of(encoding.empty() ? "base64" : encoding, compression, data.get<std::string>(),
                                         cells, 0);
                }
                layer.blocks.push_back(std::move(block));
            };
            if (node.contains("chunks")) {
                for (const auto& chunk : member(node, "chunks")) {
                    block_of(member(chunk, "data"), int_of(number_at(chunk, "x")), int_of(number_at(chunk, "y")),
                             int_of(number_at(chunk, "width")), int_of(number_at(chunk, "height")));
                }
            } else {
                block_of(member(node, "data"), 0, 0, int_of(number_at(node, "width")), int_of(number_at(node, "height")));
            }
        } else {
            continue;  // an image layer holds no shapes
        }
        map.layers.push_back(std::move(layer));
    }
}

tiled_map json_map(map_files& files, const std::string& content)
{
    const std::string& name = files.names[0];
    nlohmann::json root = parse_json(name, content, 0);
    if (!root.is_object() || text_at(root, "type") != "map") {
        refuse(name + " holds no Tiled map");
    }
    tiled_map map;
    map.orientation = text_at(root, "orientation");
    check_orientation(map.orientation, 0);
    map.tile_width = number_at(root, "tilewidth");
    map.tile_height = number_at(root, "tileheight");
    for (const auto& node : member(root, "tilesets")) {
        uint32_t first_gid = gid_of(number_at(node, "firstgid", 1));
        std::string source = text_at(node, "source");
        map.tilesets.push_back(source.empty() ? json_tileset(files, node, first_gid, 0)
                                              : load_tileset(files, source, first_gid));
    }
    json_layers(files, member(root, "layers"), "", 0.0, 0.0, true, map);
    return map;
}

// ---- TMX ----

#ifdef TARVEX_HAS_PUGIXML

// An XML file as parsed, with where its lines start, so that a node's line is found by a binary
// search rather than by counting from the start for every node.
struct xml_file {
    std::string name;
    uint32_t index = 0;  // in the map's files
    std::vector<size_t> line_starts;
    pugi::xml_document document;

    size_t line_at(ptrdiff_t offset) const
    {
        if (offset < 0) {
            return 0;
        }
        return size_t(std::upper_bound(line_starts.begin(), line_starts.end(), size_t(offset)) - line_starts.begin());
    }

    size_t line_of(const pugi::xml_node& node) const { return line_at(node.offset_debug()); }
};

void parse_xml(xml_file& file, std::string name, const std::string& content, uint32_t index)
{
    file.name = std::move(name);
    file.index = index;
    file.line_starts.assign(1, 0);
    for (size_t at = content.find('\n'); at != std::string::npos; at = content.find('\n', at + 1)) {
        file.line_starts.push_back(at + 1);
    }
    pugi::xml_parse_result parsed = file.document.load_buffer(content.data(), content.size());
    if (!parsed) {
        refuse(printable(file.name) + " is not XML: " + parsed.description(), file.line_at(parsed.offset), index);
    }
}

std::vector<map_point> points_of(const char* text)
{
    std::vector<map_point> points;
    std::istringstream in(text);
    for (std::string pair; in >> pair;) {
        size_t comma = pair.find(',');
        points.push_back({std::strtod(pair.substr(0, comma).c_str(), nullptr),
                          comma == std::string::npos ? 0.0 : std::strtod(pair.substr(comma + 1).c_str(), nullptr)});
    }
    return points;
}

// An object's values, from its template first and then from itself.
void take_object(const pugi::xml_node& node, map_object& object)
{
    auto number = [&](const char* key, double& value) {
        if (pugi::xml_attribute attribute = node.attribute(key)) {
            value = attribute.as_double();
        }
    };
    if (pugi::xml_attribute id = node.attribute("id")) {
        object.id = id.as_int();
    }
    if (pugi::xml_attribute name = node.attribute("name")) {
        object.name = name.as_string();
    }
    // its class: `class` since the editor's version 1.9, `type` before
    for (const char* key : {"class", "type"}) {
        if (pugi::xml_attribute kind = node.attribute(key); kind && *kind.as_string() != '\0') {
            object.kind = kind.as_string();
            break;
        }
    }
    number("x", object.x);
    number("y", object.y);
    number("width", object.width);
    number("height", object.height);
    number("rotation", object.rotation);
    if (pugi::xml_attribute visible = node.attribute("visible")) {
        object.visible = visible.as_int() != 0;
    }
    if (pugi::xml_attribute gid = node.attribute("gid")) {
        object.gid = gid.as_uint();
        object.shape = "tile";
    }
    for (const char* kind : {"polygon", "polyline"}) {
        if (pugi::xml_node shape = node.child(kind)) {
            object.shape = kind;
            object.points = points_of(shape.attribute("points").as_string());
        }
    }
    for (const char* kind : {"ellipse", "point", "text"}) {
        if (node.child(kind)) {
            object.shape = kind;
        }
    }
}

map_object template_object(map_files& files, const std::string& file, uint32_t from, size_t line);

map_object xml_object(map_files& files, const xml_file& file, const pugi::xml_node& node)
{
    map_object object;
    object.shape = "rectangle";
    size_t line = file.line_of(node);
    if (pugi::xml_attribute template_file = node.attribute("template")) {
        object = template_object(files, template_file.as_string(), file.index, line);
    }
    take_object(node, object);
    object.file = file.index;
    object.line = line;
    return object;
}

map_tileset xml_tileset(map_files& files, const xml_file& file, const pugi::xml_node& node, uint32_t first_gid)
{
    map_tileset tileset;
    tileset.first_gid = first_gid;
    tileset.tile_width = node.attribute("tilewidth").as_double();
    tileset.tile_height = node.attribute("tileheight").as_double();
    check_tile_size(tileset, file.line_of(node), file.index);
    tileset.image_collection = !node.child("image") && node.child("tile").child("image");
    for (pugi::xml_node tile : node.children("tile")) {
        uint32_t id = tile.attribute("id").as_uint();
        for (const char* key : {"class", "type"}) {
            if (pugi::xml_attribute kind = tile.attribute(key); kind && *kind.as_string() != '\0') {
                tileset.kinds[id] = kind.as_string();
                break;
            }
        }
        pugi::xml_node group = tile.child("objectgroup");
        if (!group) {
            continue;
        }
        std::vector<map_object>& shapes = tileset.shapes[id];
        for (pugi::xml_node object : group.children("object")) {
            shapes.push_back(xml_object(files, file, object));
        }
    }
    return tileset;
}

void xml_layers(map_files& files, const xml_file& file, const pugi::xml_node& parent, const std::string& path, double offset_x,
                double offset_y, bool visible, tiled_map& map, int depth = 0)
{
    if (depth > MAX_GROUP_DEPTH) {
        refuse("groups nested more than " + std::to_string(MAX_GROUP_DEPTH) + " deep", file.line_of(parent));
    }
    for (pugi::xml_node node : parent.children()) {
        std::string kind = node.name();
        if (kind != "group" && kind != "layer" && kind != "objectgroup") {
            continue;
        }
        std::string name = path.empty() ? node.attribute("name").as_string() : path + "/" + node.attribute("name").as_string();
        double x = offset_x + node.attribute("offsetx").as_double();
        double y = offset_y + node.attribute("offsety").as_double();
        bool shown = visible && node.attribute("visible").as_int(1) != 0;
        if (kind == "group") {
            xml_layers(files, file, node, name, x, y, shown, map, depth + 1);
            continue;
        }
        map_layer layer{.path = name, .visible = shown, .offset_x = x, .offset_y = y};
        layer.line = file.line_of(node);
        if (kind == "objectgroup") {
            for (pugi::xml_node object : node.children("object")) {
                layer.objects.push_back(xml_object(files, file, object));
            }
        } else {
            layer.tiles = true;
            pugi::xml_node data = node.child("data");
            std::string encoding = data.attribute("encoding").as_string();
            std::string compression = data.attribute("compression").as_string();
            if (encoding.empty()) {
                refuse("tile data as XML elements, which is not read; save the map with CSV or base64", file.line_of(data));
            }
            auto block_of = [&](const pugi::xml_node& holder, int bx, int by, int width, int height) {
                size_t cells = cells_of(width, height, file.line_of(holder));
                layer.blocks.push_back({bx, by, width, height,
                                        gids_of(encoding, compression, holder.text().as_string(), cells, file.line_of(holder))});
            };
            if (data.child("chunk")) {
                for (pugi::xml_node chunk : data.children("chunk")) {
                    block_of(chunk, chunk.attribute("x").as_int(), chunk.attribute("y").as_int(),
                             chunk.attribute("width").as_int(), chunk.attribute("height").as_int());
                }
            } else {
                block_of(data, 0, 0, node.attribute("width").as_int(), node.attribute("height").as_int());
            }
        }
        map.layers.push_back(std::move(layer));
    }
}

tiled_map xml_map(map_files& files, const std::string& content)
{
    const std::string name = files.names[0];
    xml_file file;
    parse_xml(file, name, content, 0);
    pugi::xml_node root = file.document.child("map");
    if (!root) {
        refuse(name + " holds no <map>");
    }
    tiled_map map;
    map.orientation = root.attribute("orientation").as_string();
    check_orientation(map.orientation, file.line_of(root));
    map.tile_width = root.attribute("tilewidth").as_double();
    map.tile_height = root.attribute("tileheight").as_double();
    for (pugi::xml_node node : root.children("tileset")) {
        uint32_t first_gid = node.attribute("firstgid").as_uint(1);
        pugi::xml_attribute source = node.attribute("source");
        map.tilesets.push_back(source ? load_tileset(files, source.as_string(), first_gid)
                                      : xml_tileset(files, file, node, first_gid));
    }
    xml_layers(files, file, root, "", 0.0, 0.0, true, map);
    return map;
}

#endif

// The object that a template holds, .tx or .tj; a template of a tile object is refused.
// The object of a template that the object at `line` of file `from` names.
map_object template_object(map_files& files, const std::string& file, uint32_t from, size_t line)
{
    std::string name = beside(files.names[0], file);
    std::string content;
    uint32_t index = read_named(files, name, "template", content);
    map_object object;
    object.shape = "rectangle";
    if (ends_with(file, ".tx")) {
#ifdef TARVEX_HAS_PUGIXML
        xml_file base;
        parse_xml(base, name, content, index);
        pugi::xml_node node = base.document.child("template").child("object");
        if (!node) {
            refuse("the template " + printable(file) + " holds no object", line, from);
        }
        take_object(node, object);
#else
        refuse("the template " + printable(file) + " is XML, which this build cannot read", line, from);
#endif
    } else {
        nlohmann::json whole = parse_json(name, content, index);
        if (!whole.contains("object")) {
            refuse("the template " + printable(file) + " holds no object", line, from);
        }
        apply_json(member(whole, "object"), object);
    }
    if (object.gid != 0) {
        refuse("the template " + printable(file) + " is of a tile object, which is not read", line, from);
    }
    return object;
}

map_tileset load_tileset(map_files& files, const std::string& file, uint32_t first_gid)
{
    std::string name = beside(files.names[0], file);
    std::string content;
    uint32_t index = read_named(files, name, "tileset", content);
    if (ends_with(file, ".tsx")) {
#ifdef TARVEX_HAS_PUGIXML
        xml_file tileset_file;
        parse_xml(tileset_file, name, content, index);
        return xml_tileset(files, tileset_file, tileset_file.document.child("tileset"), first_gid);
#else
        refuse("the tileset " + printable(file) + " is XML, which this build cannot read");
#endif
    }
    return json_tileset(files, parse_json(name, content, index), first_gid, index);
}

}  // namespace

bool names_map(const std::string& name)
{
    return ends_with(name, ".tmx") || ends_with(name, ".tmj") || ends_with(name, ".json");
}

bool parse_map(const std::string& content, std::vector<std::string>& files, tiled_map& map, refusal& refused)
{
    map_files reading{files};
    const std::string& name = files[0];
    try {
        if (ends_with(name, ".tmx")) {
#ifdef TARVEX_HAS_PUGIXML
            map = xml_map(reading, content);
            return true;
#else
            refuse(name + " is a TMX map, which this build cannot read; export it as JSON");
#endif
        }
        map = json_map(reading, content);
        return true;
    } catch (refusal& failure) {
        refused = std::move(failure);
    } catch (const nlohmann::json::exception& failure) {
        refused = refusal_at({}, name + " is not a Tiled map: " + failure.what());
    }
    return false;
}
