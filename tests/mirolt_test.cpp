// The imager's renderer, in memory: colours, row order, first polygon wins, and sameness with the
// pixel-by-pixel walk.
#include "mirolt.h"

#include "in_memory.h"
#include "random_polygons.h"
#include "reference.h"
#include "support.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <array>
#include <memory>
#include <random>

namespace {

using colour = std::array<uint8_t, 3>;  // as stored: blue, green, red
constexpr colour BLACK = {0, 0, 0};

colour polygon_colour(unsigned k)
{
    return {40, uint8_t(10 * k), 255};
}

// The picture's pixels as the TGA file stores them.
std::vector<uint8_t> render(const std::vector<uint8_t>& file, int side)
{
    record_walk walk = walk_records(file);
    EXPECT_EQ(walk.error, walk_error::none);
    std::vector<uint32_t> owners;
    render_owners(file.data(), walk.records, side, owners);
    picture image = plain_picture(std::move(owners), side, walk.records.size());
    std::vector<uint8_t> pixels(size_t(side) * size_t(side) * PIXEL_SIZE);
    for (int stored = 0; stored < side; ++stored) {
        tga_row(image, stored, &pixels[size_t(stored) * size_t(side) * PIXEL_SIZE]);
    }
    return pixels;
}

const std::vector<uint8_t> NO_EDGES_RECORD = hex("0008 FFFF 80808080");

// The pixel of world point (x, y): rows are stored from the bottom of the picture, y = side - 1.
colour pixel_at(const std::vector<uint8_t>& pixels, int side, int x, int y)
{
    size_t at = (size_t(side - 1 - y) * size_t(side) + size_t(x)) * 3;
    return {pixels[at], pixels[at + 1], pixels[at + 2]};
}

std::string square_text(int x0, int y0, int size)
{
    polygon corners = {{float(x0), float(y0)},
                       {float(x0), float(y0 + size)},
                       {float(x0 + size), float(y0 + size)},
                       {float(x0 + size), float(y0)}};
    return polygons_text({corners});
}

TEST(Render, APolygonWithoutEdgesFillsThePicture)
{
    std::vector<uint8_t> file = NO_EDGES_RECORD;
    file.insert(file.end(), {0x8F, 0x8F, 0x8F, 0x8F});
    std::vector<uint8_t> pixels = render(file, IMAGE_SIDE);
    for (size_t at = 0; at < pixels.size(); at += 3) {
        ASSERT_EQ(colour({pixels[at], pixels[at + 1], pixels[at + 2]}), colour({0x28, 0x00, 0xFF})) << at;
    }
}

TEST(Render, TheSquareColoursExactlyItsPointsInTheLastRows)
{
    std::vector<uint8_t> pixels = render(prepare(square_text(0, 0, 10)), IMAGE_SIDE);
    size_t coloured = 0;
    for (size_t at = 0; at < pixels.size(); at += 3) {
        if (pixels[at + 2] != 0) {
            ++coloured;
            size_t stored_row = at / 3 / IMAGE_SIDE;
            size_t column = at / 3 % IMAGE_SIDE;
            EXPECT_TRUE(stored_row >= IMAGE_SIDE - 11 && column <= 10) << stored_row << "," << column;
        }
    }
    EXPECT_EQ(coloured, 121u);
}

TEST(Render, APictureIsNeitherFlippedNorTransposed)
{
    // a tall thin triangle along the left edge, pointing down the picture
    std::vector<uint8_t> pixels = render(prepare("newpolygon\r\n0,0\r\n0,100\r\n20,0\r\n0,0\r\nendpolygon\r\n"), 128);
    EXPECT_EQ(pixel_at(pixels, 128, 2, 90), polygon_colour(0));
    EXPECT_EQ(pixel_at(pixels, 128, 90, 2), BLACK);
    EXPECT_EQ(pixel_at(pixels, 128, 3, 90), BLACK);
    EXPECT_EQ(pixel_at(pixels, 128, 19, 0), polygon_colour(0));
}

TEST(Render, ShadesCountPolygonsInFileOrderAndWrap)
{
    std::string text;
    for (int k = 0; k < 30; ++k) {
        text += square_text(20 * k, 0, 5);
    }
    std::vector<uint8_t> pixels = render(prepare(text), IMAGE_SIDE);
    EXPECT_EQ(pixel_at(pixels, IMAGE_SIDE, 2, 2), colour({40, 0, 255}));
    EXPECT_EQ(pixel_at(pixels, IMAGE_SIDE, 22, 2), colour({40, 10, 255}));
    EXPECT_EQ(pixel_at(pixels, IMAGE_SIDE, 25 * 20 + 2, 2), colour({40, 250, 255}));
    EXPECT_EQ(pixel_at(pixels, IMAGE_SIDE, 26 * 20 + 2, 2), colour({40, 4, 255}));
}

TEST(Render, TheEarlierPolygonKeepsOverlapsAndSharedBorders)
{
    std::vector<uint8_t> pixels =
        render(prepare(square_text(0, 0, 10) + square_text(10, 0, 10) + square_text(5, 5, 10)), 32);
    EXPECT_EQ(pixel_at(pixels, 32, 10, 3), polygon_colour(0));  // the shared border
    EXPECT_EQ(pixel_at(pixels, 32, 11, 3), polygon_colour(1));
    EXPECT_EQ(pixel_at(pixels, 32, 7, 7), polygon_colour(0));  // under both earlier squares
    EXPECT_EQ(pixel_at(pixels, 32, 12, 7), polygon_colour(1));
    EXPECT_EQ(pixel_at(pixels, 32, 12, 12), polygon_colour(2));
    EXPECT_EQ(pixel_at(pixels, 32, 16, 16), BLACK);
}

TEST(Render, AFileWithoutPolygonsIsBlack)
{
    std::vector<uint8_t> pixels = render(hex("8F8F8F8F"), IMAGE_SIDE);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), std::ptrdiff_t(pixels.size()));
}

// Files of overlapping polygons of every kind, and more than 26 so that the shades wrap.
std::vector<uint8_t> random_file(std::mt19937& rng, int count, double lo, double hi)
{
    std::vector<polygon> polygons;
    for (int i = 0; i < count; ++i) {
        polygons.push_back(random_test_polygon(rng, lo, hi, false));
    }
    std::vector<uint8_t> file = prepare(polygons_text(polygons));
    if (rng() % 3 == 0) {
        // a record without edges, which the preparer refuses: it takes every pixel still black
        file.insert(file.end() - 4, NO_EDGES_RECORD.begin(), NO_EDGES_RECORD.end());
    }
    return file;
}

TEST(Render, SameAsWalkingEveryPixel)
{
    std::mt19937 rng(4);
    for (int round = 0; round < 30; ++round) {
        const int side = 96;
        std::vector<uint8_t> file = random_file(rng, 40, -20.0, 116.0);
        std::vector<uint8_t> expected;
        reference_picture(file.data(), side, expected);
        ASSERT_EQ(render(file, side), expected) << "round " << round;
    }
}

TEST(Render, SameAsWalkingEveryPixelAtFullSize)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> file = random_file(rng, 12, -100.0, 1700.0);
    std::vector<uint8_t> expected;
    reference_picture(file.data(), IMAGE_SIDE, expected);
    EXPECT_EQ(render(file, IMAGE_SIDE), expected);
}

TEST(Picture, APngFileHoldsTheTgaFilesPixels)
{
    std::mt19937 rng(13);
    const int side = 96;
    std::vector<uint8_t> file = random_file(rng, 40, -20.0, 116.0);
    record_walk walk = walk_records(file);
    std::vector<uint32_t> owners;
    render_owners(file.data(), walk.records, side, owners);
    picture image = plain_picture(std::move(owners), side, walk.records.size());
    std::vector<uint8_t> png;
    png_file(image, png);
    int width = 0;
    int height = 0;
    int channels = 0;
    std::unique_ptr<uint8_t, void (*)(void*)> decoded(
        stbi_load_from_memory(png.data(), int(png.size()), &width, &height, &channels, 3), stbi_image_free);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(width, side);
    ASSERT_EQ(height, side);
    std::vector<uint8_t> tga = render(file, side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const uint8_t* rgb = decoded.get() + (size_t(y) * side + size_t(x)) * 3;
            ASSERT_EQ(colour({rgb[2], rgb[1], rgb[0]}), pixel_at(tga, side, x, y)) << x << "," << y;
        }
    }
}

TEST(Picture, ThePreviewTellsTouchingPolygonsApartAndDrawsTheGrid)
{
    std::vector<uint8_t> file = prepare(square_text(500, 500, 100) + square_text(600, 500, 100));
    record_walk walk = walk_records(file);
    std::vector<uint32_t> owners;
    render_owners(file.data(), walk.records, IMAGE_SIDE, owners);
    std::vector<uint8_t> rgb;
    rgb_pixels(preview_picture(owners, IMAGE_SIDE, walk.records.size()), rgb);
    auto at = [&](int x, int y) {
        const uint8_t* pixel = &rgb[(size_t(y) * IMAGE_SIDE + size_t(x)) * 3];
        return colour({pixel[0], pixel[1], pixel[2]});
    };
    auto brightness = [](const colour& shade) { return int(shade[0]) + shade[1] + shade[2]; };

    colour first = at(520, 520);
    colour second = at(680, 520);
    EXPECT_NE(first, second);
    // the shared border x = 600 belongs to the first square, x = 601 to the second: both are outline
    EXPECT_LT(brightness(at(600, 520)), brightness(first));
    EXPECT_LT(brightness(at(601, 520)), brightness(second));

    colour background = at(300, 1000);
    colour grid = at(400, 1000);
    EXPECT_NE(grid, background);
    for (int x : {800, 1200}) {
        EXPECT_EQ(at(x, 1000), grid) << x;
        EXPECT_EQ(at(1000, x), grid) << x;
        EXPECT_EQ(at(x + 1, 1000), background) << x + 1;
    }
}

}  // namespace
