// The preview: the rendered owners of the pixels drawn for people. Polygons next to each other in the
// file get far-apart hues and an outline a shade darker, each carries its number where it fits, and
// the splitspace grid is drawn with its cells' names. The exact picture is never touched.
#include "picture.h"

#include <stb_easy_font.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr double GOLDEN_ANGLE = 137.50776405003785;  // degrees between the hues of polygons k and k + 1
constexpr double SATURATION = 0.6;
constexpr double FILL_LIGHTNESS = 0.62;
constexpr double OUTLINE_LIGHTNESS = 0.34;
constexpr colour BACKGROUND = {24, 26, 31};
constexpr colour GRID = {170, 176, 186};
constexpr colour TEXT = {255, 255, 255};
constexpr colour TEXT_EDGE = {0, 0, 0};
constexpr colour LOST = {255, 0, 255};   // drawn, but in no stored polygon: cracks and lost area
constexpr colour EXTRA = {0, 230, 255};  // stored, but outside every drawn polygon
constexpr colour MARK = {255, 215, 0};   // a warning's place
constexpr colour BENEATH = {36, 38, 46};  // the seams of what stored polygons were made of
constexpr double DRAWN_LIGHTNESS = 0.86;
constexpr int MARK_RADIUS = 7;
constexpr int LABEL_SCALE = 2;         // screen pixels per pixel of the bitmap font
constexpr int DIGIT_HEIGHT = 7;        // of the bitmap font's digits, in its own pixels
constexpr int LABEL_HEIGHT = DIGIT_HEIGHT * LABEL_SCALE;
constexpr int LABEL_ROOM = 5;          // pixels that a number's square needs beyond the number
constexpr int TEXT_EDGE_WIDTH = 1;     // of the dark edge around every text
constexpr int NAME_HEIGHT = 9;         // of a cell's name, whose brackets reach lower
constexpr int CELL_LABEL_INSET = 6;    // from the top left corner of a cell
constexpr size_t FONT_QUAD_SIZE = 64;  // four vertices of x, y, z and a colour

colour from_hsl(double hue, double saturation, double lightness)
{
    double chroma = (1.0 - std::fabs(2.0 * lightness - 1.0)) * saturation;
    double sector = std::fmod(hue, 360.0) / 60.0;
    double second = chroma * (1.0 - std::fabs(std::fmod(sector, 2.0) - 1.0));
    double rgb[3] = {0.0, 0.0, 0.0};
    int at = int(sector);
    const int first_of[6] = {0, 1, 1, 2, 2, 0};
    const int second_of[6] = {1, 0, 2, 1, 0, 2};
    rgb[first_of[at % 6]] = chroma;
    rgb[second_of[at % 6]] = second;
    double lift = lightness - chroma / 2.0;
    auto byte = [&](double value) { return uint8_t(std::lround((value + lift) * 255.0)); };
    return {byte(rgb[0]), byte(rgb[1]), byte(rgb[2])};
}

// The palette: each polygon's fill, its stored outline and its drawn outline, then the colours that
// every preview shares.
struct preview_palette {
    uint32_t outline_base;
    uint32_t drawn_base;
    uint32_t grid;
    uint32_t text;
    uint32_t text_edge;
    uint32_t lost;
    uint32_t extra;
    uint32_t mark;
};

preview_palette make_palette(picture& image, size_t polygons)
{
    image.palette.clear();
    for (double lightness : {FILL_LIGHTNESS, OUTLINE_LIGHTNESS, DRAWN_LIGHTNESS}) {
        for (size_t k = 0; k < polygons; ++k) {
            image.palette.push_back(from_hsl(GOLDEN_ANGLE * double(k), SATURATION, lightness));
        }
    }
    uint32_t shared = uint32_t(3 * polygons);
    preview_palette palette = {uint32_t(polygons), uint32_t(2 * polygons), shared,     shared + 1,
                               shared + 2,         shared + 3,            shared + 4, shared + 5};
    image.palette.insert(image.palette.end(), {GRID, TEXT, TEXT_EDGE, LOST, EXTRA, MARK});
    image.background = BACKGROUND;
    return palette;
}

// A pixel whose owner differs from a neighbour's lies on its polygon's outline.
void draw_outlines(std::span<const uint32_t> owners, int side, uint32_t outline_base, picture& image)
{
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            size_t at = size_t(y) * size_t(side) + size_t(x);
            uint32_t owner = owners[at];
            if (owner == NO_POLYGON) {
                continue;
            }
            bool edge = (x > 0 && owners[at - 1] != owner) || (x + 1 < side && owners[at + 1] != owner) ||
                        (y > 0 && owners[at - size_t(side)] != owner) ||
                        (y + 1 < side && owners[at + size_t(side)] != owner);
            if (edge) {
                image.pixels[at] = outline_base + owner;
            }
        }
    }
}

// Where a cell's name stands: in its top left corner.
struct rectangle {
    int x0;
    int y0;
    int x1;  // past the last column
    int y1;  // past the last row
};

int text_width(const std::string& text);

std::string cell_name(int cx, int cy)
{
    char name[32];
    std::snprintf(name, sizeof name, "(%d,%d)", cx, cy);
    return name;
}

rectangle cell_name_place(int cx, int cy)
{
    int x = cx * CELL_SIZE + CELL_LABEL_INSET;
    int y = cy * CELL_SIZE + CELL_LABEL_INSET;
    return {x - 1, y - 1, x + text_width(cell_name(cx, cy)) + 1, y + NAME_HEIGHT * LABEL_SCALE + 1};
}

// Whether a text at the rectangle would cover a cell's name: only the names of the cells around it
// can be near.
bool covers_a_cell_name(const rectangle& text)
{
    for (int cy = std::max(text.y0 / CELL_SIZE - 1, 0); cy <= text.y1 / CELL_SIZE && cy < CELL_GRID; ++cy) {
        for (int cx = std::max(text.x0 / CELL_SIZE - 1, 0); cx <= text.x1 / CELL_SIZE && cx < CELL_GRID; ++cx) {
            rectangle name = cell_name_place(cx, cy);
            if (text.x0 < name.x1 && name.x0 < text.x1 && text.y0 < name.y1 && name.y0 < text.y1) {
                return true;
            }
        }
    }
    return false;
}

void draw_grid(int side, uint32_t grid, picture& image)
{
    for (int line = CELL_SIZE; line < side; line += CELL_SIZE) {
        for (int along = 0; along < side; ++along) {
            image.pixels[size_t(line) * size_t(side) + size_t(along)] = grid;
            image.pixels[size_t(along) * size_t(side) + size_t(line)] = grid;
        }
    }
}

void fill_rectangle(picture& image, int x0, int y0, int x1, int y1, uint32_t index)
{
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.side);
    y1 = std::min(y1, image.side);
    for (int y = y0; y < y1; ++y) {
        std::fill(&image.pixels[size_t(y) * size_t(image.side) + size_t(x0)],
                  &image.pixels[size_t(y) * size_t(image.side)] + std::max(x1, x0), index);
    }
}

int text_width(const std::string& text)
{
    std::string copy = text;
    return stb_easy_font_width(copy.data()) * LABEL_SCALE;
}

// Draws the text with its top left corner at (x, y), with a dark edge that keeps it readable on any
// colour.
void draw_text(picture& image, int x, int y, const std::string& text, uint32_t colour, const preview_palette& palette)
{
    std::string copy = text;
    std::vector<char> quads(FONT_QUAD_SIZE * (copy.size() * 16 + 1));
    int count = stb_easy_font_print(0.0f, 0.0f, copy.data(), nullptr, quads.data(), int(quads.size()));
    for (uint32_t pass : {palette.text_edge, colour}) {
        int grow = pass == palette.text_edge ? TEXT_EDGE_WIDTH : 0;
        for (int quad = 0; quad < count; ++quad) {
            float corner[2][2];  // the first and third vertices: opposite corners of the quad
            std::memcpy(corner[0], &quads[size_t(quad) * FONT_QUAD_SIZE], sizeof corner[0]);
            std::memcpy(corner[1], &quads[size_t(quad) * FONT_QUAD_SIZE + 32], sizeof corner[1]);
            int x0 = x + int(std::min(corner[0][0], corner[1][0])) * LABEL_SCALE - grow;
            int y0 = y + int(std::min(corner[0][1], corner[1][1])) * LABEL_SCALE - grow;
            int x1 = x + int(std::max(corner[0][0], corner[1][0])) * LABEL_SCALE + grow;
            int y1 = y + int(std::max(corner[0][1], corner[1][1])) * LABEL_SCALE + grow;
            fill_rectangle(image, x0, y0, x1, y1, pass);
        }
    }
}

// For every pixel, how far its owner's pixels reach around it: the largest d such that the square
// of pixels within d of it, in both x and y, all have its owner and lie in the picture.
std::vector<uint16_t> owned_reach(std::span<const uint32_t> owners, int side)
{
    std::vector<uint16_t> reach(owners.size(), 0);
    auto at = [side](int x, int y) { return size_t(y) * size_t(side) + size_t(x); };
    auto same = [&](int x, int y, uint32_t owner) {
        return x >= 0 && y >= 0 && x < side && y < side && owners[at(x, y)] == owner;
    };
    // two passes of the chessboard distance: from the top left, then from the bottom right
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            uint32_t owner = owners[at(x, y)];
            int best = 0;
            if (same(x - 1, y, owner) && same(x, y - 1, owner) && same(x - 1, y - 1, owner) &&
                same(x + 1, y - 1, owner)) {
                best = 1 + std::min({reach[at(x - 1, y)], reach[at(x, y - 1)], reach[at(x - 1, y - 1)],
                                     reach[at(x + 1, y - 1)]});
            }
            reach[at(x, y)] = uint16_t(best);
        }
    }
    for (int y = side - 1; y >= 0; --y) {
        for (int x = side - 1; x >= 0; --x) {
            uint32_t owner = owners[at(x, y)];
            int best = 0;
            if (same(x + 1, y, owner) && same(x, y + 1, owner) && same(x + 1, y + 1, owner) &&
                same(x - 1, y + 1, owner)) {
                best = 1 + std::min({reach[at(x + 1, y)], reach[at(x, y + 1)], reach[at(x + 1, y + 1)],
                                     reach[at(x - 1, y + 1)]});
            }
            reach[at(x, y)] = uint16_t(std::min<int>(reach[at(x, y)], best));
        }
    }
    return reach;
}

// Where a polygon's number goes: the point nearest the middle of its pixels around which the number
// fits inside them.
struct label_place {
    int width = 0;
    int need = 0;  // how far the polygon's pixels must reach around a point for the number to fit
    double middle_x = 0.0;
    double middle_y = 0.0;
    size_t pixels = 0;
    double distance = -1.0;  // of the best point so far from the middle; negative: none yet
    int x = 0;
    int y = 0;
};

// The rectangle that a number centred on (x, y) covers with its dark edge, a pixel wider to the right
// and below, where halving the width and height rounds down.
rectangle label_cover(int x, int y, int width)
{
    return {x - width / 2 - TEXT_EDGE_WIDTH, y - LABEL_HEIGHT / 2 - TEXT_EDGE_WIDTH,
            x + width / 2 + TEXT_EDGE_WIDTH + 1, y + LABEL_HEIGHT / 2 + TEXT_EDGE_WIDTH + 1};
}

void find_middles(std::span<const uint32_t> owners, int side, std::vector<label_place>& places)
{
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            uint32_t owner = owners[size_t(y) * size_t(side) + size_t(x)];
            if (owner != NO_POLYGON) {
                places[owner].middle_x += x;
                places[owner].middle_y += y;
                ++places[owner].pixels;
            }
        }
    }
    for (label_place& place : places) {
        place.middle_x /= double(std::max<size_t>(place.pixels, 1));
        place.middle_y /= double(std::max<size_t>(place.pixels, 1));
    }
}

// Each polygon's place: its pixel nearest its middle whose reach holds the number and where the
// number covers no cell's name.
void choose_places(std::span<const uint32_t> owners, int side, std::vector<label_place>& places)
{
    std::vector<uint16_t> reach = owned_reach(owners, side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            size_t at = size_t(y) * size_t(side) + size_t(x);
            if (owners[at] == NO_POLYGON || reach[at] < places[owners[at]].need) {
                continue;
            }
            label_place& place = places[owners[at]];
            double distance = std::hypot(x - place.middle_x, y - place.middle_y);
            if ((place.distance < 0.0 || distance < place.distance) &&
                !covers_a_cell_name(label_cover(x, y, place.width))) {
                place.distance = distance;
                place.x = x;
                place.y = y;
            }
        }
    }
}

// Each polygon's number, where it fits.
void draw_numbers(std::span<const uint32_t> owners, int side, std::span<const std::string> labels, picture& image,
                  const preview_palette& palette)
{
    std::vector<label_place> places(labels.size());
    for (size_t k = 0; k < labels.size(); ++k) {
        places[k].width = text_width(labels[k]);
        places[k].need = (std::max(places[k].width, LABEL_HEIGHT) + LABEL_ROOM) / 2;
    }
    find_middles(owners, side, places);
    choose_places(owners, side, places);
    for (size_t k = 0; k < labels.size(); ++k) {
        if (places[k].distance >= 0.0) {
            draw_text(image, places[k].x - places[k].width / 2, places[k].y - LABEL_HEIGHT / 2, labels[k],
                      palette.text, palette);
        }
    }
}

void set_pixel(picture& image, int x, int y, uint32_t index)
{
    if (x >= 0 && y >= 0 && x < image.side && y < image.side) {
        image.pixels[size_t(y) * size_t(image.side) + size_t(x)] = index;
    }
}

// The pixels that the drawing and the stored polygons disagree on.
void draw_differences(std::span<const uint32_t> owners, const std::vector<bool>& drawn, const preview_palette& palette,
                      picture& image)
{
    for (size_t at = 0; at < owners.size() && at < drawn.size(); ++at) {
        if (owners[at] == NO_POLYGON && drawn[at]) {
            image.pixels[at] = palette.lost;
        } else if (owners[at] != NO_POLYGON && !drawn[at]) {
            image.pixels[at] = palette.extra;
        }
    }
}

// A line one pixel wide between two points, stepped along its longer axis.
void draw_line(picture& image, picture_point a, picture_point b, uint32_t index)
{
    double steps = std::ceil(std::max(std::fabs(b.x - a.x), std::fabs(b.y - a.y)));
    steps = std::min(std::max(steps, 1.0), 4.0 * image.side);  // a line far off the picture is cut short
    for (double step = 0.0; step <= steps; ++step) {
        double t = step / steps;
        set_pixel(image, int(std::lround(a.x + (b.x - a.x) * t)), int(std::lround(a.y + (b.y - a.y) * t)), index);
    }
}

void draw_ring(picture& image, picture_point centre, uint32_t index)
{
    for (int dy = -MARK_RADIUS - 1; dy <= MARK_RADIUS + 1; ++dy) {
        for (int dx = -MARK_RADIUS - 1; dx <= MARK_RADIUS + 1; ++dx) {
            double distance = std::hypot(dx, dy);
            if (distance >= MARK_RADIUS - 1.0 && distance <= MARK_RADIUS + 0.5) {
                set_pixel(image, int(std::lround(centre.x)) + dx, int(std::lround(centre.y)) + dy, index);
            }
        }
    }
}

}  // namespace

picture preview_picture(std::span<const uint32_t> owners, int side, size_t polygons, const drawing_layer* drawing)
{
    picture image;
    image.side = side;
    image.pixels.assign(owners.begin(), owners.end());
    preview_palette palette = make_palette(image, polygons);
    draw_outlines(owners, side, palette.outline_base, image);
    if (drawing) {
        draw_differences(owners, drawing->drawn, palette, image);
    }
    if (drawing && !drawing->beneath.empty()) {
        uint32_t seam = uint32_t(image.palette.size());
        image.palette.push_back(BENEATH);
        for (const std::vector<picture_point>& outline : drawing->beneath) {
            for (size_t i = 0; i < outline.size(); ++i) {
                draw_line(image, outline[i], outline[(i + 1) % outline.size()], seam);
            }
        }
    }
    draw_grid(side, palette.grid, image);
    for (int cy = 0; cy < CELL_GRID; ++cy) {
        for (int cx = 0; cx < CELL_GRID; ++cx) {
            draw_text(image, cx * CELL_SIZE + CELL_LABEL_INSET, cy * CELL_SIZE + CELL_LABEL_INSET, cell_name(cx, cy),
                      palette.grid, palette);
        }
    }
    if (drawing) {
        for (size_t k = 0; k < drawing->outlines.size(); ++k) {
            size_t hue = k < drawing->hues.size() ? drawing->hues[k] : k;
            if (hue >= polygons) {
                continue;
            }
            const std::vector<picture_point>& outline = drawing->outlines[k];
            for (size_t i = 0; i + 1 < outline.size(); ++i) {
                draw_line(image, outline[i], outline[i + 1], palette.drawn_base + uint32_t(hue));
            }
        }
    }
    std::vector<std::string> numbers;
    bool labelled = drawing && drawing->labels.size() == polygons;
    for (size_t k = 0; k < polygons && !labelled; ++k) {
        numbers.push_back(std::to_string(k));
    }
    draw_numbers(owners, side, labelled ? drawing->labels : numbers, image, palette);
    if (drawing) {
        for (const picture_point& mark : drawing->marks) {
            draw_ring(image, mark, palette.mark);
        }
    }
    return image;
}
