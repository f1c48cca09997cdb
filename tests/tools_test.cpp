// The built programs end to end on good input: command lines, messages, exit statuses and files.
#include "collision_reader.h"
#include "fixed_point.h"
#include "in_memory.h"
#include "geometry.h"
#include "mirolt.h"
#include "programs.h"
#include "picture_tracing.h"
#include "random_polygons.h"
#include "square.h"
#include "support.h"

#include <nlohmann/json.hpp>

#ifdef HAVE_BOX2D
#include <box2d/box2d.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace {

class Tools : public ScratchTest {};

TEST_F(Tools, CommandLinesGetUsageHelpOrVersion)
{
    struct command_case {
        const std::string& program;
        std::vector<std::string> args;
        int status;
        std::string output_start;
        std::string errors;
    };
    const std::string tarvex_usage = "Usage: tarvex.exe inputname outputname\r\n";
    const std::string mirolt_usage = "Usage: mirolt.exe inputname outputname\r\n";
    const std::string sinetable_usage = "Usage: mirolt.exe outputname\r\n";
    const command_case cases[] = {
        {TARVEX, {}, 2, tarvex_usage, "tarvex: expected 2 names, got 0\r\n"},
        {TARVEX, {"a", "b", "c"}, 2, tarvex_usage, "tarvex: expected 2 names, got 3\r\n"},
        {TARVEX, {"--strict", "a"}, 2, tarvex_usage, "tarvex: expected 2 names, got 1\r\n"},
        {TARVEX, {"a", "--strict"}, 2, tarvex_usage, "tarvex: expected 2 names, got 1\r\n"},
        {MIROLT, {"a"}, 2, mirolt_usage, "mirolt: expected 2 names, got 1\r\n"},
        {MIROLT, {"a", "--preview"}, 2, mirolt_usage, "mirolt: expected 2 names, got 1\r\n"},
        {SINETABLE, {}, 2, sinetable_usage, "sinetable: expected 1 name, got 0\r\n"},
        {SINETABLE, {"a", "--frobnicate"}, 2, sinetable_usage, "sinetable: unknown option --frobnicate\r\n"},
        {TARVEX, {"--help"}, 0, "Usage: tarvex.exe [--strict] [--watertight]", ""},
        {MIROLT, {"a", "b", "-h"}, 0, "Usage: mirolt.exe [--preview] inputname outputname\r\nRenders a", ""},
        {SINETABLE, {"--help"}, 0, sinetable_usage + "Writes the sine table", ""},
        {SINETABLE, {"--version"}, 0, "sinetable " PROJECT_VERSION "\r\n", ""},
    };
    for (const command_case& test : cases) {
        SCOPED_TRACE(test.program + " " + (test.args.empty() ? "" : test.args[0]));
        tool_run run = run_tool(test.program, test.args);
        EXPECT_EQ(run.status, test.status);
        EXPECT_TRUE(run.output.starts_with(test.output_start)) << run.output;
        EXPECT_EQ(run.errors, test.errors);
    }
    // "--" ends the options, so a name may start with '-'
    EXPECT_EQ(run_tool(SINETABLE, {"--", file("-table")}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(file("-table")), 512u);
}

TEST_F(Tools, AnInputThatCannotBeOpenedExitsWithMinusOneAndSaysWhy)
{
    for (const std::string& program : {TARVEX, MIROLT}) {
        tool_run run = run_tool(program, {file("missing"), file("out")});
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.output, "Couldn't open.\r\n");
        std::string name = program == TARVEX ? "tarvex" : "mirolt";
        EXPECT_EQ(run.errors, name + ": can't open " + file("missing") + ": " + std::strerror(ENOENT) + "\r\n");
        EXPECT_FALSE(std::filesystem::exists(file("out")));
    }
}

TEST_F(Tools, ThePipelineWritesTheCollisionFileAndItsPicture)
{
    write_text(file("square.txt"), SQUARE_TEXT);
    tool_run prepared = run_tool(TARVEX, {file("square.txt"), file("square.col")});
    EXPECT_EQ(prepared.status, 0);
    EXPECT_EQ(prepared.errors, "");
    EXPECT_NE(prepared.output.find("Read: []\r\nStart of second pass.\r\nEncountered polygon 0.\r\n"),
              std::string::npos);
    EXPECT_TRUE(prepared.output.ends_with("Advancing 10 4-byte words to the next polygon.\r\n"
                                          "About to write.\r\nFinished normally.\r\n"));
    EXPECT_EQ(read_bytes(file("square.col")), hex(SQUARE_FILE));

    tool_run rendered = run_tool(MIROLT, {file("square.col"), file("square.tga")});
    EXPECT_EQ(rendered.status, 0);
    EXPECT_EQ(rendered.output,
              "Completed collision loops.\r\nWritten header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
    std::vector<uint8_t> picture = read_bytes(file("square.tga"));
    ASSERT_EQ(picture.size(), 7680018u);
    EXPECT_EQ(std::vector<uint8_t>(picture.begin(), picture.begin() + 18),
              hex("00 00 02 00 00 00 00 00 00 00 00 00 40 06 40 06 18 00"));
    // the square's corner (0, 0) is the first pixel of the last stored row
    size_t corner = 18 + 1599u * 1600u * 3u;
    EXPECT_EQ(std::vector<uint8_t>(picture.begin() + long(corner), picture.begin() + long(corner) + 6),
              hex("28 00 FF 28 00 FF"));
}

TEST_F(Tools, TheImagerWritesPngByNameAndAPreviewOnRequest)
{
    // the second record keeps x >= 1700 only: it holds no point of the picture
    write_bytes(file("far.col"), hex(SQUARE_RECORD + "0010 0000 FFF95A00 0000 0100 80808080 8F8F8F8F"));
    tool_run png = run_tool(MIROLT, {file("far.col"), file("far.PNG")});
    EXPECT_EQ(png.status, 0);
    EXPECT_EQ(png.output,
              "Completed collision loops.\r\nWritten header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
    EXPECT_TRUE(read_text(file("far.PNG")).starts_with("\x89PNG\r\n\x1a\n"));

    tool_run preview = run_tool(MIROLT, {"--preview", file("far.col"), file("far.tga")});
    EXPECT_EQ(preview.status, 0);
    EXPECT_EQ(preview.output, "Completed collision loops.\r\nPolygon 1 contains no point of the picture.\r\n"
                              "Written header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
    EXPECT_EQ(std::filesystem::file_size(file("far.tga")), 7680018u);
}

TEST_F(Tools, WarningsGoToStandardErrorAndStrictMakesThemErrors)
{
    const std::string clockwise = "newpolygon\r\n0,0\r\n10,0\r\n10,10\r\n0,10\r\n0,0\r\nendpolygon\r\n";
    const std::string text = SQUARE_TEXT + clockwise;
    write_text(file("level.txt"), text);
    pass_result first = run_pass_one(text);
    pass_result second = run_pass_two(first.bytes);
    const std::string log = first.log + "Start of second pass.\r\n" + second.log;
    const std::string warnings = file("level.txt") +
                                 ":8: warning: polygon 1 runs clockwise on the picture, so it contains no point; "
                                 "reverse its vertices\r\n" +
                                 file("level.txt") + ": 1 warning\r\n";

    tool_run warned = run_tool(TARVEX, {file("level.txt"), file("level.col")});
    EXPECT_EQ(warned.status, 0);
    EXPECT_EQ(warned.output, log + "About to write.\r\nFinished normally.\r\n");
    EXPECT_EQ(warned.errors, warnings);
    EXPECT_EQ(read_bytes(file("level.col")), second.bytes);

    tool_run strict = run_tool(TARVEX, {"--strict", file("level.txt"), file("strict.col")});
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.output, log + "Nothing written: 1 warning under --strict.\r\n");
    EXPECT_EQ(strict.errors, warnings + "tarvex: Nothing written: 1 warning under --strict.\r\n");
    EXPECT_FALSE(std::filesystem::exists(file("strict.col")));

    // a mistake on every line is shown a hundred times, then counted
    std::string commas = "newpolygon\r\n";
    for (int i = 0; i < 150; ++i) {
        commas += std::to_string(i) + "," + std::to_string(i % 2) + ",5\r\n";
    }
    write_text(file("commas.txt"), commas + "0,0,5\r\nendpolygon\r\n");
    tool_run many = run_tool(TARVEX, {file("commas.txt"), file("commas.col")});
    EXPECT_EQ(many.status, 0);
    EXPECT_NE(many.errors.find(":101: warning: polygon 0: text after"), std::string::npos);
    EXPECT_EQ(many.errors.find(":102: warning:"), std::string::npos);
    EXPECT_TRUE(many.errors.ends_with(file("commas.txt") + ": ... and 51 more like line 101\r\n" +
                                      file("commas.txt") + ": 152 warnings\r\n"));
}

// Points of the working area inside some drawn polygon that the collision file leaves to no polygon.
// The pixels of a 24-bit TGA picture in the preview's colour for points drawn but stored nowhere.
size_t loud_pixels(const std::vector<uint8_t>& tga)
{
    size_t count = 0;
    for (size_t at = TGA_HEADER_SIZE; at + 2 < tga.size(); at += PIXEL_SIZE) {
        count += tga[at] == 255 && tga[at + 1] == 0 && tga[at + 2] == 255;
    }
    return count;
}

size_t crack_points(const std::vector<polygon>& drawn, const std::vector<uint8_t>& collision_file)
{
    record_walk walk = walk_records(collision_file);
    std::vector<uint32_t> owners;
    render_owners(collision_file.data(), walk.records, IMAGE_SIDE, owners);
    size_t lost = 0;
    for (int y = 0; y < IMAGE_SIDE; ++y) {
        for (int x = 0; x < IMAGE_SIDE; ++x) {
            if (owners[size_t(y) * IMAGE_SIDE + size_t(x)] == NO_POLYGON &&
                std::any_of(drawn.begin(), drawn.end(),
                            [&](const polygon& corners) { return drawn_polygon_holds(corners, x, y); })) {
                ++lost;
            }
        }
    }
    return lost;
}

TEST_F(Tools, WatertightDataLeavesNoCrackWhereTheDrawingHasNone)
{
    // two triangles that share an edge leave a wedge between them unless stored watertight
    const std::vector<polygon> triangles = {{{200, 1400}, {1400, 300}, {100, 100}},
                                            {{1400, 300}, {200, 1400}, {1500, 1500}}};
    write_text(file("two.txt"), polygons_text(triangles));
    tool_run plain = run_tool(TARVEX, {file("two.txt"), file("two.col"), "--preview", file("two.tga")});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.errors, file("two.txt") + ":7: warning: polygons 0 and 1 (lines 1 and 7) leave a crack near "
                                              "(1396,308): 5095 points drawn inside them are in no stored polygon; "
                                              "--watertight closes it\r\n" +
                                file("two.txt") + ": 1 warning, 1 of them crack losing 5,095 points\r\n");
    EXPECT_GT(crack_points(triangles, read_bytes(file("two.col"))), 5095u);
    EXPECT_GT(loud_pixels(read_bytes(file("two.tga"))), 5095u);

    const std::vector<polygon> tiles = tiled_rectangle(5, 8, 6);
    write_text(file("tiles.txt"), polygons_text(tiles));
    EXPECT_NE(run_tool(TARVEX, {file("tiles.txt"), file("tiles.col")}).errors.find("leave a crack"),
              std::string::npos);
    for (const auto& [name, drawn] : {std::pair{"two", triangles}, std::pair{"tiles", tiles}}) {
        SCOPED_TRACE(name);
        std::string text = file(std::string(name) + ".txt");
        tool_run watertight =
            run_tool(TARVEX, {"--watertight", "--preview=" + file("sealed.tga"), text, file("sealed.col")});
        EXPECT_EQ(watertight.status, 0);
        EXPECT_EQ(watertight.errors, "");
        EXPECT_EQ(crack_points(drawn, read_bytes(file("sealed.col"))), 0u);
        EXPECT_EQ(loud_pixels(read_bytes(file("sealed.tga"))), 0u);
    }
}

// A newcomer's level: corners in reading order (clockwise), a floor left open, an L and a room with a
// door drawn as one outline each.
const char* const NEWCOMER_LEVEL = "# my first level\r\n"
                                   "newpolygon\r\n0,1500\r\n1599,1500\r\n1599,1599\r\n0,1599\r\nendpolygon\r\n"
                                   "newpolygon\r\n100,1400\r\n400,1200\r\n400,1400\r\n100,1400\r\nendpolygon\r\n"
                                   "newpolygon\r\n1100,800\r\n1100,1000\r\n1300,1000\r\n1300,950\r\n1150,950\r\n"
                                   "1150,800\r\n1100,800\r\nendpolygon\r\n"
                                   "newpolygon\r\n200,200\r\n200,700\r\n400,700\r\n400,650\r\n250,650\r\n"
                                   "250,250\r\n650,250\r\n650,650\r\n500,650\r\n500,700\r\n700,700\r\n700,200\r\n"
                                   "200,200\r\nendpolygon\r\n";

TEST_F(Tools, FixMendsALevelInOneRunAndItsTextCompilesTheSame)
{
    write_text(file("level.txt"), NEWCOMER_LEVEL);
    tool_run fixed = run_tool(TARVEX, {"--fix", "--text", file("mended.txt"), file("level.txt"), file("fixed.col")});
    EXPECT_EQ(fixed.status, 0);
    const std::string name = file("level.txt");
    EXPECT_EQ(fixed.errors, name + ":2: note: polygon 0 is not closed; closed by repeating its first vertex\r\n" +
                                name + ":2: note: polygon 0 runs clockwise on the picture; its vertices are reversed\r\n" +
                                name + ":8: note: polygon 1 runs clockwise on the picture; its vertices are reversed\r\n" +
                                name + ":14: note: polygon 2 is concave; stored as polygons 2 to 3 (2 convex pieces)\r\n" +
                                name + ":23: note: polygon 3 (stored as polygon 4) is concave; stored as polygons 4 to 8 "
                                       "(5 convex pieces)\r\n");
    EXPECT_TRUE(fixed.output.starts_with("Read: [newpolygon\r\n]\r\nRead: [0,1599\r\n]\r\n"));
    EXPECT_NE(fixed.output.find("Encountered polygon 8.\r\n"), std::string::npos);

    // the mended text, kept in version control, compiles to the same file: --fix stores watertight
    tool_run again = run_tool(TARVEX, {"--watertight", file("mended.txt"), file("again.col")});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.errors, "");
    EXPECT_EQ(read_bytes(file("again.col")), read_bytes(file("fixed.col")));

    // without --fix the level is taken as drawn, the comment too, and every problem is told
    tool_run plain = run_tool(TARVEX, {file("level.txt"), file("plain.col")});
    EXPECT_EQ(plain.status, 0);
    EXPECT_NE(plain.errors.find(":6: warning: polygon 0 is not closed"), std::string::npos);
    EXPECT_NE(plain.errors.find(":2: warning: polygon 0 runs clockwise"), std::string::npos);

    // an error that stops the run is told in the compilers' form too
    write_text(file("twice.txt"), "newpolygon\r\n10,10\r\n10,10\r\nendpolygon\r\n");
    tool_run twice = run_tool(TARVEX, {file("twice.txt"), file("twice.col")});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(last_line(twice.output), "Line 3: two equal consecutive vertices.\r\n");
    EXPECT_EQ(twice.errors, file("twice.txt") + ":3: error: polygon 0: two equal consecutive vertices (10,10)\r\n");
}

// Whether some record of the collision file holds the point.
bool stored_holds(const std::vector<uint8_t>& collision_file, int x, int y)
{
    record_walk walk = walk_records(collision_file);
    return std::any_of(walk.records.begin(), walk.records.end(), [&](const polygon_record& record) {
        return point_in_polygon(collision_file.data() + record.offset, x, y);
    });
}

class Maps : public ScratchTest {
protected:
    void SetUp() override
    {
#ifdef _WIN32
        GTEST_SKIP() << "the test maps are TMX, and the MinGW build has no pugixml to read them";
#endif
        ScratchTest::SetUp();
        for (const auto& entry : std::filesystem::directory_iterator(MAPS_DIR)) {
            std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
        }
    }
};

// tests/maps/level.tmx has every kind of shape: tiles from an external and an embedded tileset,
// flipped, in layers of CSV, zlib, gzip and zstd data, one in nested groups with offsets, and
// objects: a concave polygon, a rotated rectangle, an ellipse, a tile object, a template, and
// lines, points, texts and an invisible object to skip. The places below are worked out by hand.
TEST_F(Maps, AMapsShapesLandWhereTheEditorDrawsThem)
{
    tool_run run = run_tool(TARVEX, {file("level.tmx"), file("level.col")});
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string name = file("level.tmx");
    EXPECT_EQ(run.errors, name + ": note: hidden layers skipped: \"hidden\"; --layer reads a hidden layer by name\r\n" +
                              name + ":62: note: layer \"objects\": 3 polylines, points or texts skipped: they are not "
                                     "areas\r\n" +
                              name + ":67: note: object 3 \"bumper\" (layer \"objects\"): an ellipse, stored as a "
                                     "polygon of 16 corners that holds it and sticks out by at most 0.5\r\n" +
                              name + ":63: note: object 1 \"ledge\" (layer \"objects\"): polygon 9 is concave; stored "
                                     "as polygons 9 to 10 (2 convex pieces)\r\n" +
                              name + ":12: note: layer \"ground\": 6 tile shapes merged into 5 pieces (1 class), worst "
                                     "cell 5 polygons\r\n");
    std::vector<uint8_t> stored = read_bytes(file("level.col"));
    struct place {
        const char* what;
        int x;
        int y;
        bool held;
    };
    const place places[] = {
        {"a slope flipped horizontally keeps its lower left half", 34, 94, true},
        {"and not its upper right", 46, 82, false},
        {"a slope flipped vertically holds its upper right", 108, 82, true},
        {"and not its lower left", 98, 94, false},
        {"a tall tile stands on its cell's bottom", 168, 90, true},
        {"and its empty top half holds nothing", 168, 70, false},
        {"nested groups' offsets add up", 172, 167, true},
        {"and the tile is not at its cell", 165, 162, false},
        {"a rectangle turned 90 degrees clockwise about its corner", 390, 320, true},
        {"does not stay where it was", 410, 305, false},
        {"a tile object stands on its bottom left corner, flipped", 128, 222, true},
        {"and its empty half holds nothing", 104, 246, false},
        {"a template's size", 620, 420, true},
        {"an invisible object is skipped", 310, 410, false},
        {"a hidden layer is skipped", 488, 328, false},
        {"the ellipse's middle", 220, 310, true},
        {"zstd data", 404, 36, true},
    };
    for (const place& test : places) {
        EXPECT_EQ(stored_holds(stored, test.x, test.y), test.held) << test.what;
    }

    // one layer, by its path through the groups
    tool_run walls = run_tool(TARVEX, {"--layer", "back/inner/walls", file("level.tmx"), file("walls.col")});
    EXPECT_EQ(walls.status, 0);
    EXPECT_EQ(walk_records(read_bytes(file("walls.col"))).records.size(), 1u);

    // the files the run read, for make; and the placement that fits the working area, said
    tool_run fitted = run_tool(TARVEX, {"--fit", "--depfile", file("level.d"), file("level.tmx"), file("fit.col")});
    EXPECT_EQ(fitted.status, 0);
    EXPECT_EQ(read_text(file("level.d")), file("fit.col") + ": \\\n  " + file("level.tmx") + " \\\n  " +
                                              file("tiles.tsx") + " \\\n  " + file("crate.tx") + "\n");
    EXPECT_NE(fitted.errors.find(": note: --fit places the map with --scale 2.7010135135135136 --offset "
                                  "-86.43243243243244,-86.43243243243244\r\n"),
              std::string::npos)
        << fitted.errors;
}

// Messages name the designer's own places: the element and the words of a map's object, with what a
// terminal would act on escaped, and the input's own lines where a text is moved.
TEST_F(Maps, MessagesNameTheDesignersOwnPlaces)
{
    write_text(file("two.tmx"), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                                " <objectgroup name=\"walls\">\n"
                                "  <object id=\"1\" x=\"200\" y=\"1400\">\n"
                                "   <polygon points=\"0,0 1200,-1100 -100,-1300\"/>\n"
                                "  </object>\n"
                                "  <object id=\"2\" name=\"b&#10;x.tmx:1: error: &#27;[31m\" x=\"200\" y=\"1400\">\n"
                                "   <polygon points=\"0,0 1300,0 1200,-1100\"/>\n"
                                "  </object>\n"
                                " </objectgroup>\n"
                                "</map>\n");
    const std::string crack = ": polygons 0 and 1 (lines 3 and 6) leave a crack near (1396,308): 5095 points drawn "
                              "inside them are in no stored polygon; --watertight closes it\r\n";
    tool_run map = run_tool(TARVEX, {"--no-fix", file("two.tmx"), file("two.col")});
    EXPECT_EQ(map.errors.substr(0, map.errors.find("\r\n") + 2),
              file("two.tmx") + ":6: warning: object 2 \"b\\nx.tmx:1: error: \\x1b[31m\" (layer \"walls\")" + crack);

    write_text(file("two.txt"), "newpolygon\n# one\n200,1400\n1400,300\n100,100\n200,1400\nendpolygon\n# two\n"
                                "newpolygon\n200,1400\n1500,1400\n1400,300\n200,1400\nendpolygon\n");
    tool_run text = run_tool(TARVEX, {"--scale", "1", file("two.txt"), file("two.col")});
    std::string lines = ": polygons 0 and 1 (lines 1 and 9) leave";
    EXPECT_EQ(text.errors.substr(0, text.errors.find(": polygons")), file("two.txt") + ":9: warning");
    EXPECT_NE(text.errors.find(lines), std::string::npos) << text.errors;
}

// A tile placed as the editor's own renderer (tmxrasterizer) draws it: a tile object on the point its
// tileset aligns it by, a tileset's offset, a collection's tile at its own size, and a tile that is not
// square flipped across its diagonal. Each tile's collision shape is its whole box; the places are the
// renderer's, a unit inside and outside each box.
TEST_F(Maps, TilesLandWhereTheEditorDrawsThem)
{
    const std::string tall = "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"32\" tilecount=\"1\"";
    const std::string box = "<objectgroup><object id=\"1\" x=\"0\" y=\"0\" width=\"16\" height=\"32\"/></objectgroup>";
    auto cell_data = [](const std::string& gid) {
        std::string cells;
        for (int i = 0; i < 400; ++i) {
            cells += (i == 0 ? "" : ",") + (i == 5 * 20 + 5 ? gid : "0");
        }
        return "<layer id=\"1\" name=\"l\" width=\"20\" height=\"20\"><data encoding=\"csv\">" + cells + "</data></layer>";
    };
    struct placement_case {
        const char* name;
        std::string tileset;
        std::string layer;
        std::vector<std::pair<int, int>> inside;
        std::vector<std::pair<int, int>> outside;
    };
    const placement_case cases[] = {
        {"a tile object aligned by its centre", tall + " objectalignment=\"center\"><tile id=\"0\">" + box + "</tile></tileset>",
         "<objectgroup name=\"o\"><object id=\"1\" gid=\"1\" x=\"100\" y=\"100\" width=\"16\" height=\"32\"/></objectgroup>",
         {{93, 85}, {107, 115}}, {{90, 100}, {100, 118}}},
        {"a tileset's offset", tall + "><tileoffset x=\"5\" y=\"-7\"/><tile id=\"0\">" + box + "</tile></tileset>",
         cell_data("1"), {{86, 58}, {100, 88}}, {{84, 70}, {90, 90}}},
        {"a collection's tile at its own size",
         "<tileset firstgid=\"1\" name=\"c\" tilewidth=\"64\" tileheight=\"64\" tilecount=\"2\">"
         "<tile id=\"0\"><image source=\"big.png\" width=\"64\" height=\"64\"/></tile>"
         "<tile id=\"1\"><image source=\"small.png\" width=\"32\" height=\"32\"/><objectgroup><object id=\"1\" "
         "x=\"0\" y=\"0\" width=\"32\" height=\"32\"/></objectgroup></tile></tileset>",
         "<objectgroup name=\"o\"><object id=\"1\" gid=\"2\" x=\"40\" y=\"100\" width=\"32\" height=\"32\"/></objectgroup>",
         {{41, 69}, {71, 99}}, {{73, 80}, {50, 101}}},
        {"a tall tile on its side", tall + "><tile id=\"0\">" + box + "</tile></tileset>", cell_data("536870913"),
         {{81, 81}, {111, 95}}, {{90, 78}, {113, 90}}},
    };
    for (const placement_case& test : cases) {
        SCOPED_TRACE(test.name);
        write_text(file("placed.tmx"), "<map orientation=\"orthogonal\" width=\"20\" height=\"20\" tilewidth=\"16\" "
                                       "tileheight=\"16\">\n" + test.tileset + "\n" + test.layer + "\n</map>\n");
        ASSERT_EQ(run_tool(TARVEX, {file("placed.tmx"), file("placed.col")}).status, 0);
        std::vector<uint8_t> stored = read_bytes(file("placed.col"));
        for (const auto& [x, y] : test.inside) {
            EXPECT_TRUE(stored_holds(stored, x, y)) << x << "," << y;
        }
        for (const auto& [x, y] : test.outside) {
            EXPECT_FALSE(stored_holds(stored, x, y)) << x << "," << y;
        }
    }

    // a class is chosen, and told of
    write_text(file("classes.tmx"), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                                    "<objectgroup name=\"o\">\n"
                                    "<object id=\"1\" type=\"trigger\" x=\"10\" y=\"10\" width=\"5\" height=\"5\"/>\n"
                                    "<object id=\"2\" x=\"30\" y=\"30\" width=\"5\" height=\"5\"/>\n"
                                    "</objectgroup>\n</map>\n");
    tool_run chosen = run_tool(TARVEX, {"--skip-class", "trigger", file("classes.tmx"), file("classes.col")});
    EXPECT_EQ(chosen.errors, file("classes.tmx") + ":2: note: layer \"o\": shapes read: 1 without a class; skipped: 1 "
                                                   "of class \"trigger\"\r\n");
    std::vector<uint8_t> stored = read_bytes(file("classes.col"));
    EXPECT_TRUE(stored_holds(stored, 32, 32));
    EXPECT_FALSE(stored_holds(stored, 12, 12));
}

// The engines' reader, compiled as C, answers as the imager draws: for every point of the working
// area the record that holds it first, and for every cell the records whose masks name it.
TEST_F(Maps, TheEnginesReaderAnswersAsTheImagerDraws)
{
    const std::vector<std::string> inputs = {std::string(EXAMPLES_DIR) + "/scene.txt", file("level.tmx"),
                                             file("infinite.tmx")};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        ASSERT_EQ(run_tool(TARVEX, {input, file("read.col")}).status, 0);
        std::vector<uint8_t> bytes = read_bytes(file("read.col"));
        cr_file level;
        ASSERT_EQ(cr_open(&level, bytes.data(), bytes.size()), CR_OK);
        record_walk walk = walk_records(bytes);
        ASSERT_EQ(level.record_count, walk.records.size());
        std::vector<uint32_t> owners;
        render_owners(bytes.data(), walk.records, WORKING_SIDE, owners);
        size_t differing = 0;
        for (int y = 0; y < WORKING_SIDE; ++y) {
            for (int x = 0; x < WORKING_SIDE; ++x) {
                uint32_t owner = owners[size_t(y) * WORKING_SIDE + size_t(x)];
                long expected = owner == NO_POLYGON ? -1 : long(owner);
                differing += cr_record_at_point(&level, x, y) != expected;
            }
        }
        EXPECT_EQ(differing, 0u);
        for (int cell = 0; cell < CELL_GRID * CELL_GRID; ++cell) {
            std::vector<size_t> named;
            for (size_t number = 0; number < walk.records.size(); ++number) {
                if (get_be16(bytes.data() + walk.records[number].offset + 2) >> cell & 1) {
                    named.push_back(number);
                }
            }
            std::vector<size_t> listed(walk.records.size() + 1);
            listed.resize(cr_records_in_cell(&level, cell % CELL_GRID, cell / CELL_GRID, listed.data(), listed.size()));
            EXPECT_EQ(listed, named) << "cell " << cell;
        }
    }

    // a damaged file is refused with its fault, never read past its end
    std::vector<uint8_t> cut = read_bytes(file("read.col"));
    cut.resize(cut.size() - 4);  // no data end marker
    cr_file damaged;
    EXPECT_EQ(cr_open(&damaged, cut.data(), cut.size()), CR_NO_DATA_END);
    EXPECT_STREQ(cr_error_text(CR_NO_DATA_END), "no data end marker where a record or the marker should start");
}

// The manifest names the object of every record, with its class and properties; capped at eight
// corners, every piece is one that a physics engine takes as it is, with the stored polygon's area.
TEST_F(Maps, TheManifestNamesEachRecordsObjectAndAPhysicsEngineTakesItsPieces)
{
    write_text(file("game.tmx"), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                                 "<objectgroup name=\"o\">\n"
                                 "<object id=\"1\" type=\"floor\" x=\"100\" y=\"500\" width=\"600\" height=\"40\">\n"
                                 "<properties><property name=\"friction\" type=\"float\" value=\"0.5\"/></properties>\n"
                                 "</object>\n"
                                 "<object id=\"2\" type=\"ladder\" x=\"800\" y=\"100\">"
                                 "<polygon points=\"0,0 0,200 200,200 200,150 50,150 50,0\"/></object>\n"
                                 "<object id=\"3\" x=\"300\" y=\"100\" width=\"200\" height=\"200\"><ellipse/></object>\n"
                                 "</objectgroup>\n</map>\n");
    ASSERT_EQ(run_tool(TARVEX, {"--max-vertices", "8", file("game.tmx"), file("plain.col")}).status, 0);
    tool_run run = run_tool(TARVEX, {"--max-vertices", "8", "--manifest", file("game.json"), file("game.tmx"),
                                     file("game.col")});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(read_bytes(file("game.col")), read_bytes(file("plain.col")));  // the manifest changes no byte
    nlohmann::json manifest = nlohmann::json::parse(read_text(file("game.json")));
    // each object's drawing, by its id
    auto drawn_by = [](int object, double x, double y) {
        switch (object) {
        case 1:
            return x > 100 && x < 700 && y > 500 && y < 540;
        case 2:
            return x > 800 && x < 1000 && y > 100 && y < 300 && (x < 850 || y > 250);
        default:
            return std::hypot(x - 400, y - 200) < 100;
        }
    };
    std::map<int, size_t> records_of;
    for (const auto& record : manifest["records"]) {
        const auto& corners = record["corners"];
        ASSERT_GE(corners.size(), 3u);
        EXPECT_LE(corners.size(), 8u);
        double x = 0.0;
        double y = 0.0;
        double area = 0.0;
        for (size_t i = 0; i < corners.size(); ++i) {
            x += corners[i][0].get<double>() / double(corners.size());
            y += corners[i][1].get<double>() / double(corners.size());
            const auto& next = corners[(i + 1) % corners.size()];
            area += corners[i][0].get<double>() * next[1].get<double>() - next[0].get<double>() * corners[i][1].get<double>();
        }
        int object = record["source"]["object"].get<int>();
        ++records_of[object];
        for (int other : {1, 2, 3}) {
            EXPECT_EQ(drawn_by(other, x, y), other == object) << "record " << record["record"] << " of object " << object;
        }
#ifdef HAVE_BOX2D
        std::vector<b2Vec2> points;
        for (const auto& corner : corners) {
            points.push_back({corner[0].get<float>(), corner[1].get<float>()});
        }
        b2PolygonShape shape;
        shape.Set(points.data(), int32(points.size()));
        EXPECT_EQ(size_t(shape.m_count), points.size()) << "record " << record["record"];
        b2MassData mass;
        shape.ComputeMass(&mass, 1.0f);
        EXPECT_NEAR(mass.mass, std::fabs(area) / 2.0, std::fabs(area) * 1e-4) << "record " << record["record"];
#endif
    }
    EXPECT_EQ(records_of[1], 1u);
    EXPECT_EQ(records_of[2], 2u);  // an L: two convex pieces
    EXPECT_GE(records_of[3], 3u);  // a round shape of more than eight corners, split
    const auto& floor = manifest["records"][0];
    EXPECT_EQ(floor["source"]["class"], "floor");
    EXPECT_EQ(floor["properties"]["friction"]["value"], 0.5);
#ifndef HAVE_BOX2D
    GTEST_SKIP() << "Box2D (Debian: libbox2d-dev) is not installed, so no physics engine took the pieces";
#endif
}

// Tiles' shapes merged per class hold every point that storing them one by one holds, and more only
// within a unit of a drawn outline; a walled room keeps its walls and not its inside; no piece mixes
// two classes.
TEST_F(Maps, MergedTilesHoldWhatTheTilesHold)
{
    // a floor with a slope, a one-way slab of its own class, and a room walled on every side
    const char* const rows[] = {"0,0,0,0,0,0,0,0,0,0,0,0", "0,1,1,1,1,1,0,0,0,0,0,0", "0,1,0,0,0,1,0,0,4,4,4,0",
                                "0,1,0,0,0,1,0,0,0,0,0,0", "0,1,1,1,1,1,0,0,0,0,2,1", "0,0,0,0,0,0,0,0,0,2,1,1",
                                "1,1,1,1,1,1,1,1,1,1,1,1"};
    std::string cells;
    for (const char* row : rows) {
        cells += (cells.empty() ? "" : ",\n") + std::string(row);
    }
    write_text(file("merge.tmx"),
               "<map orientation=\"orthogonal\" width=\"12\" height=\"7\" tilewidth=\"16\" tileheight=\"16\">\n"
               "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"4\">\n"
               "<tile id=\"0\"><objectgroup><object id=\"1\" x=\"0\" y=\"0\" width=\"16\" height=\"16\"/></objectgroup></tile>\n"
               "<tile id=\"1\"><objectgroup><object id=\"1\" x=\"0\" y=\"0\"><polygon points=\"0,16 16,0 16,16\"/>"
               "</object></objectgroup></tile>\n"
               "<tile id=\"3\" type=\"oneway\"><objectgroup><object id=\"1\" x=\"0\" y=\"0\" width=\"16\" "
               "height=\"4\"/></objectgroup></tile>\n"
               "</tileset>\n<layer name=\"ground\" width=\"12\" height=\"7\"><data encoding=\"csv\">\n" +
                   cells + "\n</data></layer>\n</map>\n");
    tool_run merged = run_tool(TARVEX, {file("merge.tmx"), file("merged.col"), "--manifest", file("merged.json")});
    ASSERT_EQ(merged.status, 0) << merged.errors;
    EXPECT_NE(merged.errors.find(" tile shapes merged into "), std::string::npos) << merged.errors;
    ASSERT_EQ(run_tool(TARVEX, {"--no-merge", file("merge.tmx"), file("tiles.col")}).status, 0);
    std::vector<uint8_t> pieces = read_bytes(file("merged.col"));
    std::vector<uint8_t> tiles = read_bytes(file("tiles.col"));
    EXPECT_LT(walk_records(pieces).records.size(), walk_records(tiles).records.size() / 3);
    for (int y = -2; y < 7 * 16 + 2; ++y) {
        for (int x = -2; x < 12 * 16 + 2; ++x) {
            bool by_tiles = stored_holds(tiles, x, y);
            bool by_pieces = stored_holds(pieces, x, y);
            ASSERT_TRUE(!by_tiles || by_pieces) << "lost at " << x << "," << y;
            if (by_pieces && !by_tiles) {
                // gained only beside the drawing: a unit round every tile that stores anything
                bool near = stored_holds(tiles, x - 1, y) || stored_holds(tiles, x + 1, y) ||
                            stored_holds(tiles, x, y - 1) || stored_holds(tiles, x, y + 1) ||
                            stored_holds(tiles, x - 1, y - 1) || stored_holds(tiles, x + 1, y + 1) ||
                            stored_holds(tiles, x + 1, y - 1) || stored_holds(tiles, x - 1, y + 1);
                ASSERT_TRUE(near) << "gained at " << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(stored_holds(pieces, 3 * 16 + 8, 2 * 16 + 8));  // inside the room
    nlohmann::json manifest = nlohmann::json::parse(read_text(file("merged.json")));
    for (const auto& record : manifest["records"]) {
        bool slab = record["source"]["class"] == "oneway";
        double top = record["bounds"][1].get<double>();
        EXPECT_EQ(slab, top > 2 * 16 - 1 && record["bounds"][3].get<double>() < 2 * 16 + 5) << record.dump();
    }
}

TEST_F(Maps, TheEditorsJsonGivesTheSameCollisionFile)
{
    if (run_shell("command -v tiled").status != 0) {
        GTEST_SKIP() << "the map editor (Debian: tiled) is not installed to convert the maps";
    }
    for (const char* map : {"level", "infinite"}) {
        SCOPED_TRACE(map);
        std::string tmx = file(std::string(map) + ".tmx");
        std::string json = file(std::string(map) + ".tmj");
        ASSERT_EQ(run_shell("QT_QPA_PLATFORM=offscreen tiled --export-map json " + quote(tmx) + " " + quote(json)).status,
                  0);
        tool_run from_xml = run_tool(TARVEX, {tmx, file("xml.col")});
        tool_run from_json = run_tool(TARVEX, {json, file("json.col")});
        EXPECT_EQ(from_xml.status, 0);
        EXPECT_EQ(from_json.status, 0);
        EXPECT_EQ(read_bytes(file("json.col")), read_bytes(file("xml.col")));
        EXPECT_EQ(from_json.output.substr(from_json.output.find("Start of second pass.")),
                  from_xml.output.substr(from_xml.output.find("Start of second pass.")));
        // older editors wrote no type for the map
        std::string json_text = read_text(json);
        size_t type = json_text.find("\"type\":\"map\",");
        ASSERT_NE(type, std::string::npos);
        write_text(json, json_text.erase(type, std::string("\"type\":\"map\",").size()));
        EXPECT_EQ(run_tool(TARVEX, {json, file("old.col")}).status, 0);
        EXPECT_EQ(read_bytes(file("old.col")), read_bytes(file("xml.col")));
    }
}

TEST_F(Maps, MapsThatCannotBeReadAreRefusedWithTheReason)
{
    write_text(file("broken.tmx"), "<map orientation=\"orthogonal\">\n<layer>\n</map>\n");
    write_text(file("lost.tmx"), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                                 "<tileset firstgid=\"1\" source=\"missing.tsx\"/>\n</map>\n");
    write_text(file("square.txt"), SQUARE_TEXT);
    write_text(file("sizeless.tsx"), "<?xml version=\"1.0\"?>\n<tileset name=\"t\" tilecount=\"1\">\n</tileset>\n");
    write_text(file("sizeless.tmx"), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                                     "<tileset firstgid=\"1\" source=\"sizeless.tsx\"/>\n</map>\n");
    auto map_with = [&](const std::string& name, const std::string& layer) {
        write_text(file(name), "<map orientation=\"orthogonal\" tilewidth=\"16\" tileheight=\"16\">\n"
                               "<tileset firstgid=\"1\" name=\"t\" tilewidth=\"16\" tileheight=\"16\" tilecount=\"1\"/>\n" +
                                   layer + "\n</map>\n");
    };
    map_with("letter.tmx", "<objectgroup name=\"o\"><object id=\"1\"><polygon points=\"0,0 0,5O 50,50\"/></object></objectgroup>");
    map_with("wide.tmx", "<layer name=\"l\" width=\"2\" height=\"1\"><data encoding=\"csv\">4294967297,0</data></layer>");
    map_with("beyond.tmx", "<layer name=\"l\" width=\"2\" height=\"1\"><data encoding=\"csv\">0,7</data></layer>");
    map_with("nan.tmx", "<objectgroup name=\"o\"><object id=\"1\" width=\"nan\" height=\"5\"/></objectgroup>");
    struct refusal {
        std::string name;
        std::string last_line;
    };
    const refusal cases[] = {
        {"sizeless.tmx", file("sizeless.tsx") + ":2: a tileset without a tile size."},
        {"letter.tmx", file("letter.tmx") + ":3: the point \"0,5O\" of <polygon> is not x,y."},
        {"wide.tmx", file("wide.tmx") + ":3: tile data holds \"4294967297\", which is no gid of 32 bits."},
        {"beyond.tmx", file("beyond.tmx") + ":3: layer \"l\" places gid 7 at (1,0), which no tileset holds."},
        {"nan.tmx", file("nan.tmx") + ":3: width=\"nan\" of <object> is not a number."},
        {"isometric.tmx", file("isometric.tmx") + ":2: the map is isometric; only orthogonal maps are read."},
        {"broken.tmx", file("broken.tmx") + ":3: " + file("broken.tmx") +
                           " is not XML: Start-end tags mismatch."},
        {"lost.tmx", file("lost.tmx") + ":2: the tileset " + file("missing.tsx") + " cannot be read: Couldn't read " +
                         file("missing.tsx") + ": " + std::strerror(ENOENT) + "."},
    };
    for (const refusal& test : cases) {
        SCOPED_TRACE(test.name);
        tool_run run = run_tool(TARVEX, {file(test.name), file("out.col")});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(last_line(run.output), test.last_line + "\r\n");
        EXPECT_FALSE(std::filesystem::exists(file("out.col")));
    }

    // a layer that is not there is named, with those that are
    tool_run typo = run_tool(TARVEX, {"--layer", "Objects", file("level.tmx"), file("out.col")});
    EXPECT_EQ(typo.status, 1);
    EXPECT_NE(typo.output.find(": no layer \"Objects\" in the map; its layers are \"ground\", "), std::string::npos)
        << typo.output;

    // a file that the map reads is no output, by any spelling
    std::string tileset = read_text(file("tiles.tsx"));
    tool_run over_tileset = run_tool(TARVEX, {file("level.tmx"), file("out.col"), "--preview", file("./tiles.tsx")});
    EXPECT_EQ(over_tileset.status, 1);
    EXPECT_EQ(over_tileset.output, "Couldn't write " + file("./tiles.tsx") + ": the run reads it.\r\n");
    EXPECT_EQ(read_text(file("tiles.tsx")), tileset);

    // --scale and --offset move a text's polygons onto the world too
    tool_run moved = run_tool(TARVEX, {"--scale", "2", "--offset", "100,50", file("square.txt"), file("moved.col")});
    EXPECT_EQ(moved.status, 0);
    std::vector<uint8_t> stored = read_bytes(file("moved.col"));
    EXPECT_TRUE(stored_holds(stored, 100, 50) && stored_holds(stored, 120, 70));
    EXPECT_FALSE(stored_holds(stored, 121, 70) || stored_holds(stored, 99, 50));
}

// A mask as an uncompressed TGA of 24 bits, top row first: white where solid, black elsewhere.
std::vector<uint8_t> mask_tga(int width, int height, const std::vector<uint8_t>& solid)
{
    std::vector<uint8_t> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8),
                                  uint8_t(height), uint8_t(height >> 8), 24, 0x20};
    for (uint8_t pixel : solid) {
        bytes.insert(bytes.end(), 3, pixel ? 255 : 0);
    }
    return bytes;
}

TEST_F(Tools, APaintedMaskIsTracedApartWithItsHolesAndStoredAsItsPixelsShow)
{
    constexpr int W = 160;
    constexpr int H = 120;
    std::vector<uint8_t> solid(size_t(W) * H, 0);
    auto set = [&](int x, int y) { solid[size_t(y) * W + size_t(x)] = 1; };
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            double ring = std::hypot(x - 85, y - 30);
            double along = std::clamp(((x - 10) * 80.0 + (y - 70) * 20.0) / (80.0 * 80 + 20 * 20), 0.0, 1.0);
            bool bar = std::hypot(x - (10 + 80 * along), y - (70 + 20 * along)) < 1.6;
            bool ellipse = std::pow((x - 135) / 20.0, 2) + std::pow((y - 30) / 14.0, 2) <= 1 && !(x > 130 && std::abs(y - 30) < 4);
            if (std::hypot(x - 30, y - 30) <= 20 || (ring >= 12 && ring <= 22) || bar || ellipse ||
                (x >= 20 && x < 36 && y >= 95 && y < 111 && (x + y) % 2 == 0)) {
                set(x, y);
            }
        }
    }
    for (auto [x, y] : {std::pair{100, 70}, {104, 74}, {105, 74}}) {
        set(x, y);  // specks
    }
    for (int k = 0; k < 8; ++k) {  // a staircase of blocks that meet at their corners
        for (int d = 0; d < 9; ++d) {
            set(100 + 3 * k + d % 3, 85 + 3 * k + d / 3);
        }
    }
    write_bytes(file("mask.tga"), mask_tga(W, H, solid));
    tool_run traced = run_tool(TARVEX, {file("mask.tga"), file("mask.col")});
    ASSERT_EQ(traced.status, 0) << traced.errors;
    EXPECT_NE(traced.errors.find("specks under 4 square units dropped (130 solid, 0 holes)"), std::string::npos)
        << traced.errors;

    // every point whose pixel is solid and farther than the tolerance (1) from the pixels' edges is
    // stored; every empty one farther than 2 is not
    std::vector<uint8_t> stored = read_bytes(file("mask.col"));
    auto all_of_round = [&](int x, int y, int radius, uint8_t state) {
        for (int dy = -radius; dy <= radius; ++dy) {
            for (int dx = -radius; dx <= radius; ++dx) {
                bool inside = x + dx >= 0 && y + dy >= 0 && x + dx < W && y + dy < H;
                if ((inside ? solid[size_t(y + dy) * W + size_t(x + dx)] : 0) != state) {
                    return false;
                }
            }
        }
        return true;
    };
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            if (all_of_round(x, y, 1, 1)) {
                ASSERT_TRUE(stored_holds(stored, x, y)) << "lost at " << x << "," << y;
            } else if (all_of_round(x, y, 2, 0)) {
                ASSERT_FALSE(stored_holds(stored, x, y)) << "gained at " << x << "," << y;
            }
        }
    }
    EXPECT_FALSE(stored_holds(stored, 85, 30));  // the ring's hole

    // the outlines as traced: three corners or more, none crossing or touching an outline of another
    // region (the outlines of one region share the lines it is cut along)
    pixel_mask mask = {W, H, solid};
    tracing outlines;
    std::string problem;
    ASSERT_TRUE(trace_mask(mask, {}, outlines, problem)) << problem;
    for (size_t k = 0; k < outlines.outlines.size(); ++k) {
        const traced_outline& one = outlines.outlines[k];
        ASSERT_GE(one.points.size(), 3u);
        std::vector<std::vector<drawn_point>> others;
        for (const traced_outline& other : outlines.outlines) {
            if (other.pixel_x != one.pixel_x || other.pixel_y != one.pixel_y) {
                others.push_back(other.points);
            }
        }
        others.push_back(one.points);
        EXPECT_FALSE(outlines_that_meet(others).back()) << "the outline from " << one.pixel_x << "," << one.pixel_y;
    }
}

TEST_F(Tools, TheImagersPictureTracesBackToTheSamePoints)
{
    ASSERT_EQ(run_tool(TARVEX, {"--fix", std::string(EXAMPLES_DIR) + "/level.txt", file("level.col")}).status, 0);
    ASSERT_EQ(run_tool(MIROLT, {file("level.col"), file("level.tga")}).status, 0);
    tool_run traced = run_tool(TARVEX, {file("level.tga"), file("back.col")});
    ASSERT_EQ(traced.status, 0) << traced.errors;
    std::vector<uint8_t> drawn = read_bytes(file("level.col"));
    std::vector<uint8_t> back = read_bytes(file("back.col"));
    for (int y = 0; y < WORKING_SIDE; y += 3) {
        for (int x = 0; x < WORKING_SIDE; x += 3) {
            bool held = stored_holds(drawn, x, y);
            bool near_outline = false;  // within a unit of an outline
            for (int d = 0; d < 9 && !near_outline; ++d) {
                near_outline = stored_holds(drawn, x + d % 3 - 1, y + d / 3 - 1) != held;
            }
            if (!near_outline) {
                ASSERT_EQ(stored_holds(back, x, y), held) << "at " << x << "," << y;
            }
        }
    }
}

TEST_F(Tools, AFileWithoutPolygonsDrawsABlackPicture)
{
    write_bytes(file("none.col"), hex("8F8F8F8F"));
    tool_run run = run_tool(MIROLT, {file("none.col"), file("black.tga")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output,
              "Completed collision loops.\r\nWritten header.\r\nWritten imagedata.\r\nFinished normally.\r\n");
    std::vector<uint8_t> picture = read_bytes(file("black.tga"));
    ASSERT_EQ(picture.size(), 7680018u);
    EXPECT_EQ(std::count(picture.begin() + 18, picture.end(), 0), 7680000);
}

TEST_F(Tools, TheSineTableIsWrittenWithOneMessage)
{
    tool_run run = run_tool(SINETABLE, {file("sine.bin")});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "Finished normally.\r\n");
    std::vector<uint8_t> table = read_bytes(file("sine.bin"));
    ASSERT_EQ(table.size(), 512u);
    EXPECT_EQ(std::vector<uint8_t>(table.begin(), table.begin() + 6), hex("0000 0192 0323"));
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 128, table.begin() + 130), hex("4000"));
}

}  // namespace
