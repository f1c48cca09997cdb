// Polygon text made in memory: from a map's polygons, or from the text's own polygons moved onto the
// world by --scale and --offset. Each line remembers the input line and the words it comes from.
#include "tarvex.h"

namespace {

void add_line(made_text& made, std::string_view text, size_t line, const std::string& source)
{
    made.text += text;
    made.text += "\r\n";
    made.lines.push_back(line);
    made.sources.push_back(source);
}

std::string vertex_line_text(double x, double y)
{
    return number_text(float(x)) + "," + number_text(float(y));
}

}  // namespace

made_text text_of_map(std::span<const map_polygon> polygons)
{
    made_text made;
    made.lines.assign(1, 0);
    made.sources.assign(1, "");
    for (const map_polygon& polygon : polygons) {
        add_line(made, "newpolygon", polygon.line, polygon.source);
        // the editor's shapes are closed without repeating a corner
        for (size_t i = 0; i <= polygon.corners.size(); ++i) {
            const map_point& corner = polygon.corners[i % polygon.corners.size()];
            add_line(made, vertex_line_text(corner.x, corner.y), polygon.line, polygon.source);
        }
        add_line(made, "endpolygon", polygon.line, polygon.source);
    }
    return made;
}

made_text text_of_shapes(std::span<const drawn_shape> shapes, const map_settings& settings)
{
    made_text made;
    made.lines.assign(1, 0);
    made.sources.assign(1, "");
    for (const drawn_shape& shape : shapes) {
        add_line(made, "newpolygon", shape.line, "");
        for (const vertex_line& vertex : shape.vertices) {
            add_line(made,
                     vertex_line_text(double(vertex.x) * settings.scale + settings.offset_x,
                                      double(vertex.y) * settings.scale + settings.offset_y),
                     vertex.line, "");
        }
        add_line(made, "endpolygon", shape.end_line, "");
    }
    return made;
}
