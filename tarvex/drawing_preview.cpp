// The preparer's preview: what is stored, drawn as the imager's preview draws it, with the drawing
// laid over it, so that a designer sees whether what was drawn is what the game gets.
#include "passes.h"

#include <algorithm>
#include <cmath>

namespace {

// Marks the pixels of one row that the outline holds: between its crossings of the row taken in
// pairs, counting an edge that ends on the row once from above and once from below, so that points
// on the outline count as inside whichever way it runs.
void fill_row(std::span<const drawn_point> outline, int y, std::vector<double>& crossings, std::vector<bool>& drawn)
{
    for (bool from_above : {true, false}) {
        crossings.clear();
        for (size_t i = 0; i < outline.size(); ++i) {
            const drawn_point& a = outline[i];
            const drawn_point& b = outline[(i + 1) % outline.size()];
            double low = std::min(a.y, b.y);
            double high = std::max(a.y, b.y);
            bool crosses = from_above ? (low <= y && y < high) : (low < y && y <= high);
            if (crosses) {
                crossings.push_back(a.x + (y - double(a.y)) * (double(b.x) - a.x) / (double(b.y) - a.y));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
            double x0 = std::max(std::ceil(crossings[i]), 0.0);
            double x1 = std::min(std::floor(crossings[i + 1]), double(WORKING_SIDE - 1));
            for (double x = x0; x <= x1; ++x) {
                drawn[size_t(y) * WORKING_SIDE + size_t(x)] = true;
            }
        }
    }
}

void fill_drawn(std::span<const drawn_point> outline, std::vector<double>& crossings, std::vector<bool>& drawn)
{
    float top = outline.front().y;
    float bottom = top;
    for (const drawn_point& point : outline) {
        top = std::min(top, point.y);
        bottom = std::max(bottom, point.y);
    }
    int y0 = int(std::max(std::ceil(double(top)), 0.0));
    int y1 = int(std::min(std::floor(double(bottom)), double(WORKING_SIDE - 1)));
    for (int y = y0; y <= y1; ++y) {
        fill_row(outline, y, crossings, drawn);
    }
}

}  // namespace

picture drawing_preview(std::span<const preview_outline> outlines, std::span<const std::vector<drawn_point>> beneath,
                        std::span<const std::string> labels, const warning_list& warnings,
                        const std::vector<uint8_t>& collision_file)
{
    record_walk walk = walk_records(collision_file);
    std::vector<uint32_t> owners;
    render_owners(collision_file.data(), walk.records, WORKING_SIDE, owners);

    drawing_layer drawing;
    drawing.drawn.assign(size_t(WORKING_SIDE) * WORKING_SIDE, false);
    std::vector<double> crossings;
    for (const preview_outline& outline : outlines) {
        std::vector<picture_point>& line = drawing.outlines.emplace_back();
        for (const drawn_point& point : outline.points) {
            line.push_back({point.x, point.y});
        }
        if (outline.closed && !line.empty()) {
            line.push_back(line.front());  // the closing edge; an open polygon is drawn open
        }
        if (outline.points.size() >= 3) {
            fill_drawn(outline.points, crossings, drawing.drawn);
        }
        drawing.hues.push_back(outline.hue);
    }
    for (const std::vector<drawn_point>& shape : beneath) {
        std::vector<picture_point>& line = drawing.beneath.emplace_back();
        for (const drawn_point& point : shape) {
            line.push_back({point.x, point.y});
        }
    }
    drawing.labels.assign(labels.begin(), labels.end());
    for (const warning& found : warnings.shown) {
        drawing.marks.push_back({found.mark.x, found.mark.y});
    }
    return preview_picture(owners, WORKING_SIDE, walk.records.size(), &drawing);
}
