// Reading Tiled maps: TMX with pugixml, JSON with nlohmann-json, and the tilesets and templates they
// name (.tsx, .tsj, .tx, .tj) beside them, into one model. Tile data may be CSV, base64, and base64
// compressed with zlib or gzip (zlib) or zstd. Every number is read whole, of the type it must have,
// and what a map may ask for is bounded, so a broken or hostile map is refused with its file and
// line, never misread.
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
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace {

constexpr int MAX_GROUP_DEPTH = 64;
constexpr double MAX_COORDINATE = 1e9;  // editor pixels: far beyond any map, and safe to multiply

// Why a map cannot be read, at the file and line where the map says it, if any. Thrown from deep in
// the reading, and caught once where the map is read.
[[noreturn]] void refuse(const std::string& text, size_t line = 0, uint32_t file = 0)
{
    throw refusal_at({file, uint32_t(std::min<size_t>(line, UINT32_MAX)), NO_INDEX}, text);
}

// What the reading of one map keeps: its files, the map first, then each tileset and template as it
// is read, so that a refusal can name the file it is about; the tilesets that templates bring; and
// the cells read so far, against the map's budget.
struct map_reading {
    std::vector<std::string>& names;
    tiled_map& map;
    uint64_t cells = 0;
};

bool ends_with(const std::string& name, std::string_view ending)
{
    if (name.size() < ending.size()) {
        return false;
    }
    std::string tail = name.substr(name.size() - ending.size());
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ending;
}

// A file that the map names, relative to the folder of the file that names it.
std::string beside(const std::string& naming_file, const std::string& file)
{
    std::filesystem::path folder = path_of(naming_file.c_str()).parent_path();
    return (folder / path_of(file.c_str())).string();
}

// Reads a file that the map names, and adds it to the map's files; returns its number there.
uint32_t read_named(map_reading& reading, const std::string& name, const char* what, std::string& content,
                    size_t line, uint32_t from)
{
    std::vector<uint8_t> bytes;
    input_result read = read_input(name.c_str(), bytes);
    if (read.error != input_error::none) {
        std::string reason = input_failure_text(name.c_str(), read);
        reason.pop_back();  // its full stop: the refusal ends in one of its own
        refuse(std::string("the ") + what + " " + printable(name) + " cannot be read: " + printable(reason), line,
               from);
    }
    content.assign(bytes.begin(), bytes.end());
    reading.names.push_back(name);
    return uint32_t(reading.names.size() - 1);
}

// A number of the map that must be an integer within [low, high].
bool integral_within(double value, double low, double high)
{
    return value == std::floor(value) && value >= low && value <= high;
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

// The cells of a layer or a chunk, counted against the map's budget before any of them is read.
size_t cells_of(map_reading& reading, int width, int height, size_t line)
{
    if (width < 0 || height < 0) {
        refuse("a tile layer of negative size", line);
    }
    size_t cells = size_t(width) * size_t(height);
    reading.cells += cells;
    if (reading.cells > MAX_MAP_CELLS) {
        refuse(with_thousands(reading.cells) + " tile cells, more than the " + with_thousands(MAX_MAP_CELLS) +
                   " a map may have",
               line);
    }
    return cells;
}

// CSV tile data: every value a gid of 32 bits, nothing else.
std::vector<uint32_t> csv_gids(std::string_view text, size_t cells, size_t line)
{
    std::vector<uint32_t> gids;
    gids.reserve(cells);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(',', at);
        std::string_view value = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        size_t first = value.find_first_not_of(" \t\r\n");
        if (first == std::string_view::npos) {
            if (end == std::string_view::npos && !gids.empty()) {
                break;  // blanks after the last value
            }
            refuse("tile data holds an empty value", line);
        }
        value = value.substr(first, value.find_last_not_of(" \t\r\n") + 1 - first);
        uint64_t gid = 0;
        auto [stop, error] = std::from_chars(value.data(), value.data() + value.size(), gid);
        if (error != std::errc() || stop != value.data() + value.size() || gid > UINT32_MAX) {
            refuse("tile data holds \"" + printable(value) + "\", which is no gid of 32 bits", line);
        }
        if (gids.size() == cells) {
            refuse("tile data holds more than its " + std::to_string(cells) + " tiles", line);
        }
        gids.push_back(uint32_t(gid));
    }
    return gids;
}

std::vector<uint32_t> gids_of(const std::string& encoding, const std::string& compression, std::string_view text,
                              size_t cells, size_t line)
{
    std::vector<uint32_t> gids;
    if (encoding == "csv") {
        gids = csv_gids(text, cells, line);
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

const char* const ALIGNMENTS[] = {"unspecified", "topleft", "top",    "topright",    "left",
                                  "center",      "right",   "bottomleft", "bottom", "bottomright"};

void check_alignment(const std::string& alignment, size_t line, uint32_t file)
{
    if (std::find(std::begin(ALIGNMENTS), std::end(ALIGNMENTS), alignment) == std::end(ALIGNMENTS)) {
        refuse("the object alignment \"" + printable(alignment) + "\" is not the editor's", line, file);
    }
}

void check_tile_size(const map_tileset& tileset, size_t line, uint32_t file)
{
    if (!(tileset.tile_width > 0.0 && tileset.tile_height > 0.0 && tileset.tile_width < 1e6 &&
          tileset.tile_height < 1e6)) {
        refuse("a tileset without a tile size", line, file);
    }
}

// An object's size, or a tile's, must be a size.
void check_object(const map_object& object, size_t line, uint32_t file)
{
    if (object.width < 0.0 || object.height < 0.0) {
        refuse("an object of negative size", line, file);
    }
    for (double value : {object.x, object.y, object.width, object.height}) {
        if (std::fabs(value) > MAX_COORDINATE) {
            refuse("an object beyond a billion pixels", line, file);
        }
    }
    for (const map_point& point : object.points) {
        if (std::fabs(point.x) > MAX_COORDINATE || std::fabs(point.y) > MAX_COORDINATE) {
            refuse("a point beyond a billion pixels", line, file);
        }
    }
}

// The tiles a tileset holds: its tile count, or past it the highest id that it describes.
void note_extent(map_tileset& tileset, uint32_t id)
{
    tileset.tile_count = std::max<uint64_t>(tileset.tile_count, uint64_t(id) + 1);
}

// ---- JSON ----

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

// A member that must be a number, when it is there.
double number_at(const nlohmann::json& node, const char* key, double fallback, uint32_t file)
{
    const nlohmann::json& found = member(node, key);
    if (found.is_null()) {
        return fallback;
    }
    if (!found.is_number() || !std::isfinite(found.get<double>())) {
        refuse("\"" + std::string(key) + "\" is " + printable(found.dump()) + ", not a number", 0, file);
    }
    return found.get<double>();
}

// A member that must be an integer within [low, high], when it is there.
int64_t integer_at(const nlohmann::json& node, const char* key, int64_t fallback, int64_t low, int64_t high,
                   uint32_t file)
{
    const nlohmann::json& found = member(node, key);
    if (found.is_null()) {
        return fallback;
    }
    double value = number_at(node, key, 0.0, file);
    if (!integral_within(value, double(low), double(high))) {
        refuse("\"" + std::string(key) + "\" is " + printable(found.dump()) + ", not an integer from " +
                   std::to_string(low) + " to " + std::to_string(high),
               0, file);
    }
    return int64_t(value);
}

std::string text_at(const nlohmann::json& node, const char* key, uint32_t file)
{
    const nlohmann::json& found = member(node, key);
    if (found.is_null()) {
        return {};
    }
    if (!found.is_string()) {
        refuse("\"" + std::string(key) + "\" is " + printable(found.dump()) + ", not a text", 0, file);
    }
    return found.get<std::string>();
}

bool flag_at(const nlohmann::json& node, const char* key, bool fallback, uint32_t file)
{
    const nlohmann::json& found = member(node, key);
    if (found.is_null()) {
        return fallback;
    }
    if (!found.is_boolean()) {
        refuse("\"" + std::string(key) + "\" is " + printable(found.dump()) + ", not true or false", 0, file);
    }
    return found.get<bool>();
}

nlohmann::json parse_json(const std::string& name, const std::string& content, uint32_t file)
{
    try {
        return nlohmann::json::parse(content);
    } catch (const nlohmann::json::parse_error& error) {
        refuse(printable(name) + " is not JSON: " + error.what(), 0, file);
    }
}

map_object template_object(map_reading& reading, const std::string& file, uint32_t from, size_t line);

// A value of a class property, whose members' types the map does not write: told by their JSON types.
property json_member(const std::string& name, const nlohmann::json& value)
{
    property member{name, "string", "", "", {}};
    if (value.is_object()) {
        member.type = "class";
        for (const auto& [key, inner] : value.items()) {
            member.members.push_back(json_member(key, inner));
        }
    } else if (value.is_boolean()) {
        member.type = "bool";
        member.value = value.get<bool>() ? "true" : "false";
    } else if (value.is_number_integer()) {
        member.type = "int";
        member.value = value.dump();
    } else if (value.is_number()) {
        member.type = "float";
        member.value = value.dump();
    } else if (value.is_string()) {
        member.value = value.get<std::string>();
    }
    return member;
}

// A node's custom properties.
std::vector<property> json_properties(const nlohmann::json& node, uint32_t file)
{
    std::vector<property> properties;
    for (const auto& item : member(node, "properties")) {
        std::string type = text_at(item, "type", file);
        property given = json_member(text_at(item, "name", file), member(item, "value"));
        given.type = type.empty() ? "string" : type;
        given.class_name = text_at(item, "propertytype", file);
        properties.push_back(std::move(given));
    }
    return properties;
}

// An object's or a tile's class: `class` since the editor's version 1.9, `type` before.
std::string json_kind(const nlohmann::json& node, const std::string& fallback, uint32_t file)
{
    for (const char* key : {"class", "type"}) {
        std::string kind = text_at(node, key, file);
        if (!kind.empty()) {
            return kind;
        }
    }
    return fallback;
}

// An object's values that the node gives, over those it has already.
void apply_json(const nlohmann::json& node, map_object& object, uint32_t file)
{
    object.id = int(integer_at(node, "id", object.id, 0, INT32_MAX, file));
    if (node.contains("name")) {
        object.name = text_at(node, "name", file);
    }
    object.x = number_at(node, "x", object.x, file);
    object.y = number_at(node, "y", object.y, file);
    object.width = number_at(node, "width", object.width, file);
    object.height = number_at(node, "height", object.height, file);
    object.rotation = number_at(node, "rotation", object.rotation, file);
    object.visible = flag_at(node, "visible", object.visible, file);
    object.kind = json_kind(node, object.kind, file);
    merge_properties(object.properties, json_properties(node, file));
    if (node.contains("gid")) {
        object.gid = uint32_t(integer_at(node, "gid", 0, 0, UINT32_MAX, file));
        object.shape = "tile";
        object.tileset = -1;  // the gid of the map's own tilesets
    }
    for (const char* kind : {"polygon", "polyline"}) {
        if (node.contains(kind)) {
            object.shape = kind;
            object.points.clear();
            for (const auto& point : member(node, kind)) {
                object.points.push_back({number_at(point, "x", 0.0, file), number_at(point, "y", 0.0, file)});
            }
        }
    }
    for (const char* kind : {"ellipse", "capsule", "point"}) {
        if (flag_at(node, kind, false, file)) {
            object.shape = kind;
        }
    }
    if (node.contains("text")) {
        object.shape = "text";
    }
}

map_object json_object(map_reading& reading, const nlohmann::json& node, uint32_t file)
{
    std::string template_file = text_at(node, "template", file);
    map_object object = template_file.empty() ? map_object{} : template_object(reading, template_file, file, 0);
    if (template_file.empty()) {
        object.shape = "rectangle";
    }
    apply_json(node, object, file);
    object.file = file;
    check_object(object, 0, file);
    return object;
}

map_tileset json_tileset(map_reading& reading, const nlohmann::json& node, uint32_t first_gid, uint32_t file)
{
    map_tileset tileset;
    tileset.first_gid = first_gid;
    tileset.file = file;
    tileset.tile_width = number_at(node, "tilewidth", 0.0, file);
    tileset.tile_height = number_at(node, "tileheight", 0.0, file);
    check_tile_size(tileset, 0, file);
    tileset.tile_count = uint64_t(integer_at(node, "tilecount", 0, 0, UINT32_MAX, file));
    tileset.alignment = text_at(node, "objectalignment", file);
    tileset.alignment = tileset.alignment.empty() ? "unspecified" : tileset.alignment;
    check_alignment(tileset.alignment, 0, file);
    const nlohmann::json& offset = member(node, "tileoffset");
    tileset.offset_x = number_at(offset, "x", 0.0, file);
    tileset.offset_y = number_at(offset, "y", 0.0, file);
    const nlohmann::json& tiles = member(node, "tiles");
    tileset.image_collection = !node.contains("image") && tiles.is_array() && !tiles.empty() &&
                               tiles.front().contains("image");
    for (const auto& tile : tiles) {
        auto id = uint32_t(integer_at(tile, "id", 0, 0, UINT32_MAX, file));
        note_extent(tileset, id);
        std::string kind = json_kind(tile, "", file);
        if (!kind.empty()) {
            tileset.kinds[id] = kind;
        }
        if (tile.contains("properties")) {
            tileset.properties[id] = json_properties(tile, file);
        }
        if (tile.contains("imagewidth") || tile.contains("imageheight")) {
            tileset.sizes[id] = {number_at(tile, "imagewidth", 0.0, file), number_at(tile, "imageheight", 0.0, file)};
        }
        if (tile.contains("objectgroup")) {
            std::vector<map_object>& shapes = tileset.shapes[id];
            for (const auto& object : member(member(tile, "objectgroup"), "objects")) {
                shapes.push_back(json_object(reading, object, file));
            }
        }
    }
    return tileset;
}

map_tileset load_tileset(map_reading& reading, const std::string& file, uint32_t first_gid, uint32_t from,
                         size_t line);

void json_layers(map_reading& reading, const nlohmann::json& layers, const std::string& path, double offset_x,
                 double offset_y, bool visible, int depth = 0)
{
    if (depth > MAX_GROUP_DEPTH) {
        refuse("groups nested more than " + std::to_string(MAX_GROUP_DEPTH) + " deep");
    }
    for (const auto& node : layers) {
        std::string type = text_at(node, "type", 0);
        std::string name = path.empty() ? text_at(node, "name", 0) : path + "/" + text_at(node, "name", 0);
        double x = offset_x + number_at(node, "offsetx", 0.0, 0);
        double y = offset_y + number_at(node, "offsety", 0.0, 0);
        bool shown = visible && flag_at(node, "visible", true, 0);
        if (type == "group") {
            json_layers(reading, member(node, "layers"), name, x, y, shown, depth + 1);
            continue;
        }
        map_layer layer{.path = name, .visible = shown, .offset_x = x, .offset_y = y};
        if (type == "objectgroup") {
            for (const auto& object : member(node, "objects")) {
                layer.objects.push_back(json_object(reading, object, 0));
            }
        } else if (type == "tilelayer") {
            layer.tiles = true;
            std::string encoding = text_at(node, "encoding", 0);
            std::string compression = text_at(node, "compression", 0);
            auto block_of = [&](const nlohmann::json& holder, int64_t bx, int64_t by) {
                auto width = int(integer_at(holder, "width", 0, 0, INT32_MAX, 0));
                auto height = int(integer_at(holder, "height", 0, 0, INT32_MAX, 0));
                map_layer::block block{int(bx), int(by), width, height, {}};
                size_t cells = cells_of(reading, width, height, 0);
                const nlohmann::json& data = member(holder, "data");
                if (data.is_array()) {
                    block.gids.reserve(cells);
                    for (const auto& gid : data) {
                        if (!gid.is_number_unsigned() || gid.get<uint64_t>() > UINT32_MAX) {
                            refuse("tile data of layer \"" + printable(name) + "\" holds " + printable(gid.dump()) +
                                   ", which is no gid of 32 bits");
                        }
                        block.gids.push_back(uint32_t(gid.get<uint64_t>()));
                    }
                    if (block.gids.size() != cells) {
                        refuse("tile data of layer \"" + printable(name) + "\" does not fill it");
                    }
                } else if (data.is_string()) {
                    block.gids = gids_of(encoding.empty() ? "base64" : encoding, compression, data.get<std::string>(),
                                         cells, 0);
                } else {
                    refuse("tile data of layer \"" + printable(name) + "\" is neither a list nor a text");
                }
                layer.blocks.push_back(std::move(block));
            };
            if (node.contains("chunks")) {
                for (const auto& chunk : member(node, "chunks")) {
                    block_of(chunk, integer_at(chunk, "x", 0, INT32_MIN / 2, INT32_MAX / 2, 0),
                             integer_at(chunk, "y", 0, INT32_MIN / 2, INT32_MAX / 2, 0));
                }
            } else {
                block_of(node, 0, 0);
            }
        } else {
            continue;  // an image layer holds no shapes
        }
        reading.map.layers.push_back(std::move(layer));
    }
}

void json_map(map_reading& reading, const std::string& content)
{
    const std::string& name = reading.names[0];
    nlohmann::json root = parse_json(name, content, 0);
    // older editors wrote no type; a map has its layers either way
    bool typed = root.is_object() && root.contains("type");
    if (!root.is_object() || (typed ? text_at(root, "type", 0) != "map" : !root.contains("layers"))) {
        refuse(name + " holds no Tiled map");
    }
    tiled_map& map = reading.map;
    map.orientation = text_at(root, "orientation", 0);
    check_orientation(map.orientation, 0);
    map.tile_width = number_at(root, "tilewidth", 0.0, 0);
    map.tile_height = number_at(root, "tileheight", 0.0, 0);
    for (const auto& node : member(root, "tilesets")) {
        auto first_gid = uint32_t(integer_at(node, "firstgid", 1, 1, GID_LIMIT, 0));
        std::string source = text_at(node, "source", 0);
        map.tilesets.push_back(source.empty() ? json_tileset(reading, node, first_gid, 0)
                                              : load_tileset(reading, source, first_gid, 0, 0));
    }
    json_layers(reading, member(root, "layers"), "", 0.0, 0.0, true);
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

// A number written as text, whole: blanks around it, nothing else. False for anything else, and for
// a number that is not finite.
bool parse_number(std::string_view text, double& value)
{
    size_t start = text.find_first_not_of(" \t\r\n");
    size_t end = text.find_last_not_of(" \t\r\n");
    if (start == std::string_view::npos) {
        return false;
    }
    const char* first = text.data() + start;
    const char* last = text.data() + end + 1;
    first += *first == '+' ? 1 : 0;
    auto [stop, error] = std::from_chars(first, last, value);
    return error == std::errc() && stop == last && std::isfinite(value);
}

// An attribute that must be a number, when it is there.
double xml_number(const xml_file& file, const pugi::xml_node& node, const char* key, double fallback)
{
    pugi::xml_attribute attribute = node.attribute(key);
    if (!attribute) {
        return fallback;
    }
    double value = 0.0;
    if (!parse_number(attribute.value(), value)) {
        refuse(std::string(key) + "=\"" + printable(attribute.value()) + "\" of <" + printable(node.name()) +
                   "> is not a number",
               file.line_of(node), file.index);
    }
    return value;
}

// An attribute that must be an integer within [low, high], when it is there.
int64_t xml_integer(const xml_file& file, const pugi::xml_node& node, const char* key, int64_t fallback, int64_t low,
                    int64_t high)
{
    pugi::xml_attribute attribute = node.attribute(key);
    if (!attribute) {
        return fallback;
    }
    double value = 0.0;
    if (!parse_number(attribute.value(), value) || !integral_within(value, double(low), double(high))) {
        refuse(std::string(key) + "=\"" + printable(attribute.value()) + "\" of <" + printable(node.name()) +
                   "> is not an integer from " + std::to_string(low) + " to " + std::to_string(high),
               file.line_of(node), file.index);
    }
    return int64_t(value);
}

// A polygon's points, "x,y x,y ...", each number whole.
std::vector<map_point> points_of(const xml_file& file, const pugi::xml_node& node)
{
    std::vector<map_point> points;
    std::string_view text = node.attribute("points").value();
    size_t at = 0;
    while ((at = text.find_first_not_of(" \t\r\n", at)) != std::string_view::npos) {
        size_t end = std::min(text.find_first_of(" \t\r\n", at), text.size());
        std::string_view pair = text.substr(at, end - at);
        size_t comma = pair.find(',');
        map_point point{};
        if (comma == std::string_view::npos || !parse_number(pair.substr(0, comma), point.x) ||
            !parse_number(pair.substr(comma + 1), point.y)) {
            refuse("the point \"" + printable(pair) + "\" of <" + printable(node.name()) + "> is not x,y",
                   file.line_of(node), file.index);
        }
        points.push_back(point);
        at = end;
    }
    return points;
}

// A node's custom properties; a class value holds its members as properties of its own.
std::vector<property> xml_properties(const pugi::xml_node& node, int depth = 0)
{
    std::vector<property> properties;
    if (depth > MAX_GROUP_DEPTH) {
        return properties;
    }
    for (pugi::xml_node item : node.child("properties").children("property")) {
        property given{item.attribute("name").value(), item.attribute("type").as_string("string"),
                       item.attribute("propertytype").value(), {}, {}};
        // a text of several lines is written as the element's own text
        given.value = item.attribute("value") ? item.attribute("value").value() : item.text().get();
        if (given.type == "class") {
            given.value.clear();
            given.members = xml_properties(item, depth + 1);
        }
        properties.push_back(std::move(given));
    }
    return properties;
}

// An object's or a tile's class: `class` since the editor's version 1.9, `type` before.
std::string xml_kind(const pugi::xml_node& node, const std::string& fallback)
{
    for (const char* key : {"class", "type"}) {
        if (pugi::xml_attribute kind = node.attribute(key); kind && *kind.value() != '\0') {
            return kind.value();
        }
    }
    return fallback;
}

// An object's values, from its template first and then from itself.
void take_object(const xml_file& file, const pugi::xml_node& node, map_object& object)
{
    object.id = int(xml_integer(file, node, "id", object.id, 0, INT32_MAX));
    if (pugi::xml_attribute name = node.attribute("name")) {
        object.name = name.value();
    }
    object.kind = xml_kind(node, object.kind);
    merge_properties(object.properties, xml_properties(node));
    object.x = xml_number(file, node, "x", object.x);
    object.y = xml_number(file, node, "y", object.y);
    object.width = xml_number(file, node, "width", object.width);
    object.height = xml_number(file, node, "height", object.height);
    object.rotation = xml_number(file, node, "rotation", object.rotation);
    object.visible = xml_integer(file, node, "visible", object.visible ? 1 : 0, 0, 1) != 0;
    if (node.attribute("gid")) {
        object.gid = uint32_t(xml_integer(file, node, "gid", 0, 0, UINT32_MAX));
        object.shape = "tile";
        object.tileset = -1;  // the gid of the map's own tilesets
    }
    for (const char* kind : {"polygon", "polyline"}) {
        if (pugi::xml_node shape = node.child(kind)) {
            object.shape = kind;
            object.points = points_of(file, shape);
        }
    }
    for (const char* kind : {"ellipse", "capsule", "point", "text"}) {
        if (node.child(kind)) {
            object.shape = kind;
        }
    }
}

map_object xml_object(map_reading& reading, const xml_file& file, const pugi::xml_node& node)
{
    map_object object;
    object.shape = "rectangle";
    size_t line = file.line_of(node);
    if (pugi::xml_attribute template_file = node.attribute("template")) {
        object = template_object(reading, template_file.value(), file.index, line);
    }
    take_object(file, node, object);
    object.file = file.index;
    object.line = line;
    check_object(object, line, file.index);
    return object;
}

map_tileset xml_tileset(map_reading& reading, const xml_file& file, const pugi::xml_node& node, uint32_t first_gid)
{
    map_tileset tileset;
    tileset.first_gid = first_gid;
    tileset.file = file.index;
    tileset.line = file.line_of(node);
    tileset.tile_width = xml_number(file, node, "tilewidth", 0.0);
    tileset.tile_height = xml_number(file, node, "tileheight", 0.0);
    check_tile_size(tileset, tileset.line, file.index);
    tileset.tile_count = uint64_t(xml_integer(file, node, "tilecount", 0, 0, UINT32_MAX));
    tileset.alignment = node.attribute("objectalignment").as_string("unspecified");
    check_alignment(tileset.alignment, tileset.line, file.index);
    if (pugi::xml_node offset = node.child("tileoffset")) {
        tileset.offset_x = xml_number(file, offset, "x", 0.0);
        tileset.offset_y = xml_number(file, offset, "y", 0.0);
    }
    tileset.image_collection = !node.child("image") && node.child("tile").child("image");
    for (pugi::xml_node tile : node.children("tile")) {
        auto id = uint32_t(xml_integer(file, tile, "id", 0, 0, UINT32_MAX));
        note_extent(tileset, id);
        std::string kind = xml_kind(tile, "");
        if (!kind.empty()) {
            tileset.kinds[id] = kind;
        }
        if (tile.child("properties")) {
            tileset.properties[id] = xml_properties(tile);
        }
        if (pugi::xml_node image = tile.child("image")) {
            tileset.sizes[id] = {xml_number(file, image, "width", 0.0), xml_number(file, image, "height", 0.0)};
        }
        pugi::xml_node group = tile.child("objectgroup");
        if (!group) {
            continue;
        }
        std::vector<map_object>& shapes = tileset.shapes[id];
        for (pugi::xml_node object : group.children("object")) {
            shapes.push_back(xml_object(reading, file, object));
        }
    }
    return tileset;
}

void xml_layers(map_reading& reading, const xml_file& file, const pugi::xml_node& parent, const std::string& path,
                double offset_x, double offset_y, bool visible, int depth = 0)
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
        double x = offset_x + xml_number(file, node, "offsetx", 0.0);
        double y = offset_y + xml_number(file, node, "offsety", 0.0);
        bool shown = visible && xml_integer(file, node, "visible", 1, 0, 1) != 0;
        if (kind == "group") {
            xml_layers(reading, file, node, name, x, y, shown, depth + 1);
            continue;
        }
        map_layer layer{.path = name, .visible = shown, .offset_x = x, .offset_y = y};
        layer.line = file.line_of(node);
        if (kind == "objectgroup") {
            for (pugi::xml_node object : node.children("object")) {
                layer.objects.push_back(xml_object(reading, file, object));
            }
        } else {
            layer.tiles = true;
            pugi::xml_node data = node.child("data");
            std::string encoding = data.attribute("encoding").as_string();
            std::string compression = data.attribute("compression").as_string();
            if (encoding.empty()) {
                refuse("tile data as XML elements, which is not read; save the map with CSV or base64", file.line_of(data));
            }
            auto block_of = [&](const pugi::xml_node& holder, const pugi::xml_node& sized, int64_t bx, int64_t by) {
                auto width = int(xml_integer(file, sized, "width", 0, 0, INT32_MAX));
                auto height = int(xml_integer(file, sized, "height", 0, 0, INT32_MAX));
                size_t cells = cells_of(reading, width, height, file.line_of(holder));
                layer.blocks.push_back({int(bx), int(by), width, height,
                                        gids_of(encoding, compression, holder.text().as_string(), cells, file.line_of(holder))});
            };
            if (data.child("chunk")) {
                for (pugi::xml_node chunk : data.children("chunk")) {
                    block_of(chunk, chunk, xml_integer(file, chunk, "x", 0, INT32_MIN / 2, INT32_MAX / 2),
                             xml_integer(file, chunk, "y", 0, INT32_MIN / 2, INT32_MAX / 2));
                }
            } else {
                block_of(data, node, 0, 0);
            }
        }
        reading.map.layers.push_back(std::move(layer));
    }
}

void xml_map(map_reading& reading, const std::string& content)
{
    const std::string name = reading.names[0];
    xml_file file;
    parse_xml(file, name, content, 0);
    pugi::xml_node root = file.document.child("map");
    if (!root) {
        refuse(name + " holds no <map>");
    }
    tiled_map& map = reading.map;
    map.orientation = root.attribute("orientation").as_string();
    check_orientation(map.orientation, file.line_of(root));
    map.tile_width = xml_number(file, root, "tilewidth", 0.0);
    map.tile_height = xml_number(file, root, "tileheight", 0.0);
    for (pugi::xml_node node : root.children("tileset")) {
        auto first_gid = uint32_t(xml_integer(file, node, "firstgid", 1, 1, GID_LIMIT));
        pugi::xml_attribute source = node.attribute("source");
        map.tilesets.push_back(source ? load_tileset(reading, source.value(), first_gid, 0, file.line_of(node))
                                      : xml_tileset(reading, file, node, first_gid));
    }
    xml_layers(reading, file, root, "", 0.0, 0.0, true);
}

#endif

// The tileset that a template's tile object names: kept beside the map's own, and reached by the
// object directly, as its gid counts in the template's tilesets, not the map's.
int template_tileset(map_reading& reading, const std::string& template_name, const std::string& source,
                     uint32_t first_gid, uint32_t from, size_t line)
{
    map_tileset tileset = load_tileset(reading, beside(template_name, source), first_gid, from, line);
    tileset.from_template = true;
    reading.map.tilesets.push_back(std::move(tileset));
    return int(reading.map.tilesets.size() - 1);
}

// The object of a template that the object at `line` of file `from` names. A template of a tile
// object brings its own tileset.
map_object template_object(map_reading& reading, const std::string& file, uint32_t from, size_t line)
{
    std::string name = beside(reading.names[from], file);
    std::string content;
    uint32_t index = read_named(reading, name, "template", content, line, from);
    map_object object;
    object.shape = "rectangle";
    if (ends_with(file, ".tx")) {
#ifdef TARVEX_HAS_PUGIXML
        xml_file base;
        parse_xml(base, name, content, index);
        pugi::xml_node root = base.document.child("template");
        pugi::xml_node node = root.child("object");
        if (!node) {
            refuse("the template " + printable(file) + " holds no object", line, from);
        }
        take_object(base, node, object);
        if (object.gid != 0) {
            pugi::xml_node tileset = root.child("tileset");
            if (!tileset || !tileset.attribute("source")) {
                refuse("the template " + printable(file) + " places a tile without naming its tileset", line, from);
            }
            auto first_gid = uint32_t(xml_integer(base, tileset, "firstgid", 1, 1, GID_LIMIT));
            object.tileset = template_tileset(reading, name, tileset.attribute("source").value(), first_gid, index,
                                              base.line_of(tileset));
        }
#else
        refuse("the template " + printable(file) + " is XML, which this build cannot read", line, from);
#endif
    } else {
        nlohmann::json whole = parse_json(name, content, index);
        if (!whole.contains("object")) {
            refuse("the template " + printable(file) + " holds no object", line, from);
        }
        apply_json(member(whole, "object"), object, index);
        if (object.gid != 0) {
            const nlohmann::json& tileset = member(whole, "tileset");
            std::string source = text_at(tileset, "source", index);
            if (source.empty()) {
                refuse("the template " + printable(file) + " places a tile without naming its tileset", line, from);
            }
            auto first_gid = uint32_t(integer_at(tileset, "firstgid", 1, 1, GID_LIMIT, index));
            object.tileset = template_tileset(reading, name, source, first_gid, index, 0);
        }
    }
    return object;
}

// A tileset file that the map or a template names; `file` is already beside the map, or for a
// template, beside the template.
map_tileset load_tileset(map_reading& reading, const std::string& file, uint32_t first_gid, uint32_t from,
                         size_t line)
{
    std::string name = from == 0 ? beside(reading.names[0], file) : file;
    std::string content;
    uint32_t index = read_named(reading, name, "tileset", content, line, from);
    if (ends_with(file, ".tsx")) {
#ifdef TARVEX_HAS_PUGIXML
        xml_file tileset_file;
        parse_xml(tileset_file, name, content, index);
        pugi::xml_node node = tileset_file.document.child("tileset");
        if (!node) {
            refuse(printable(name) + " holds no <tileset>", 0, index);
        }
        return xml_tileset(reading, tileset_file, node, first_gid);
#else
        refuse("the tileset " + printable(file) + " is XML, which this build cannot read", line, from);
#endif
    }
    return json_tileset(reading, parse_json(name, content, index), first_gid, index);
}

}  // namespace

bool names_map(const std::string& name)
{
    return ends_with(name, ".tmx") || ends_with(name, ".tmj") || ends_with(name, ".json");
}

bool parse_map(const std::string& content, std::vector<std::string>& files, tiled_map& map, refusal& refused)
{
    map_reading reading{files, map};
    const std::string& name = files[0];
    try {
        if (ends_with(name, ".tmx")) {
#ifdef TARVEX_HAS_PUGIXML
            xml_map(reading, content);
            return true;
#else
            refuse(name + " is a TMX map, which this build cannot read; export it as JSON");
#endif
        }
        json_map(reading, content);
        return true;
    } catch (refusal& failure) {
        refused = std::move(failure);
    } catch (const nlohmann::json::exception& failure) {
        refused = refusal_at({}, name + " is not a Tiled map: " + failure.what());
    }
    return false;
}
