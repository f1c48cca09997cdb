// The manifest beside a collision file: for each stored record, where it lies in the file, what it
// holds, and the shape of the drawing it was compiled from, with that shape's custom properties, so
// a game can tell a ladder from a floor and a broken polygon from the object it came from.
#include "passes.h"

#include "fixed_point.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>

namespace {

using json = nlohmann::ordered_json;

// A property's value with the type the editor gave it: numbers as numbers, true and false as such.
json property_value(const property& given)
{
    if (given.type == "class") {
        json members = json::object();
        for (const property& member : given.members) {
            members[member.name] = property_value(member);
        }
        return members;
    }
    char* end = nullptr;
    if (given.type == "int" || given.type == "object") {
        long long value = std::strtoll(given.value.c_str(), &end, 10);
        return end != given.value.c_str() && *end == '\0' ? json(value) : json(given.value);
    }
    if (given.type == "float") {
        double value = std::strtod(given.value.c_str(), &end);
        return end != given.value.c_str() && *end == '\0' && std::isfinite(value) ? json(value) : json(given.value);
    }
    if (given.type == "bool") {
        return given.value == "true";
    }
    return given.value;
}

json properties_of(const std::vector<property>& properties)
{
    json all = json::object();
    for (const property& given : properties) {
        json entry = {{"type", given.type}};
        if (!given.class_name.empty()) {
            entry["propertytype"] = given.class_name;
        }
        entry["value"] = property_value(given);
        all[given.name] = std::move(entry);
    }
    return all;
}

// Where a record's shape came from: a file and its line, and for a map its layer, object or tile,
// class, and its place among the pieces that mending made of it.
json source_of(const drawing& drawn, const place& where)
{
    json source = {{"file", drawn.files[where.file]}, {"line", where.line}};
    if (where.source == NO_INDEX) {
        return source;
    }
    const shape_source& from = drawn.sources[where.source];
    auto name = [&](uint32_t index) { return index == NO_INDEX ? json(nullptr) : json(drawn.names[index]); };
    if (from.layer != NO_INDEX) {
        source["layer"] = name(from.layer);
        if (from.object != NO_OBJECT) {
            source["object"] = from.object;
            source["name"] = name(from.name);
        }
        source["class"] = name(from.kind);
        if (from.tile != NO_INDEX) {
            source["tile"] = from.tile;
        }
        if (from.object == NO_OBJECT) {
            source["cell"] = {from.cell_x, from.cell_y};
        }
    }
    if (from.traced) {
        source["pixel"] = {from.cell_x, from.cell_y};
    }
    if (from.pieces > 1) {
        source["piece"] = from.piece;
        source["pieces"] = from.pieces;
    }
    return source;
}

// The corners of a stored polygon: where each two consecutive stored lines meet.
json corners_of(const std::vector<edge_equation>& edges, double bounds[4])
{
    json corners = json::array();
    bounds[0] = bounds[1] = INFINITY;
    bounds[2] = bounds[3] = -INFINITY;
    for (size_t i = 0; i < edges.size(); ++i) {
        const edge_equation& a = edges[i];
        const edge_equation& b = edges[(i + 1) % edges.size()];
        // c1 + y c2 + x c3 = 0 for both lines
        double determinant = double(a.c3) * b.c2 - double(a.c2) * b.c3;
        if (determinant == 0.0) {
            continue;  // lines that do not meet make no corner
        }
        double x = (double(a.c2) * b.c1 - double(a.c1) * b.c2) / determinant + 0.0;  // + 0.0: never "-0.0"
        double y = (double(a.c1) * b.c3 - double(a.c3) * b.c1) / determinant + 0.0;
        corners.push_back({x, y});
        bounds[0] = std::min(bounds[0], x);
        bounds[1] = std::min(bounds[1], y);
        bounds[2] = std::max(bounds[2], x);
        bounds[3] = std::max(bounds[3], y);
    }
    return corners;
}

}  // namespace

std::string manifest_text(const drawing& drawn, const pass_one_result& first, const std::vector<uint8_t>& collision_file)
{
    record_walk walk = walk_records(collision_file);
    json records = json::array();
    std::vector<edge_equation> edges;
    for (size_t k = 0; k < walk.records.size() && k < first.polygons.size(); ++k) {
        const polygon_record& record = walk.records[k];
        decode_edges(collision_file.data(), record, edges);
        double bounds[4];
        json corners = corners_of(edges, bounds);
        json entry = {{"record", k},
                      {"offset", record.offset},
                      {"mask", get_be16(collision_file.data() + record.offset + 2)}};
        entry["bounds"] = corners.empty() ? json(nullptr) : json({bounds[0], bounds[1], bounds[2], bounds[3]});
        entry["corners"] = std::move(corners);
        const place& where = first.polygons[k].where;
        entry["source"] = source_of(drawn, where);
        uint32_t properties = where.source != NO_INDEX ? drawn.sources[where.source].properties : NO_INDEX;
        if (properties != NO_INDEX) {
            entry["properties"] = properties_of(drawn.properties[properties]);
        }
        records.push_back(std::move(entry));
    }
    // a record a line, so that a manifest of many records still reads, and compares, line by line
    std::string text = "{\"records\": [\n";
    for (size_t k = 0; k < records.size(); ++k) {
        text += records[k].dump() + (k + 1 < records.size() ? ",\n" : "\n");
    }
    return text + "]}\n";
}
