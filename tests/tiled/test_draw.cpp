// Drawing layers onto a memory bitmap, checked pixel by pixel.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support.h"

using namespace tiled_test;

namespace {

const int kCols = 10, kRows = 8, kTile = 32;

// Cell (x, y) of layer "BG0" holds gid 1 + (x + 10 y) mod 16: tile index
// (x + 10 y) mod 16 of a 4 x 4 tileset.
int cell_index(int x, int y)
{
    return (x + kCols * y) % 16;
}

std::string grid_csv(uint32_t flip_first = 0, uint32_t flip_second = 0)
{
    std::string text;
    for (int y = 0; y < kRows; y++) {
        for (int x = 0; x < kCols; x++) {
            uint32_t gid = static_cast<uint32_t>(1 + cell_index(x, y));
            if (x == 0 && y == 0)
                gid |= flip_first;
            if (x == 1 && y == 0)
                gid |= flip_second;
            text += std::to_string(gid) + ",";
        }
        text += "\n";
    }
    return text;
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        save_tileset(dir.file("tiles.png"), 4, 4, kTile, kTile);
        target = al_create_bitmap(400, 300);
        ASSERT_NE(target, nullptr);
        al_set_target_bitmap(target);
        al_clear_to_color(al_map_rgba(0, 0, 0, 0));
    }
    void TearDown() override
    {
        al_free_map(map);
        al_set_target_bitmap(nullptr);
        al_destroy_bitmap(target);
    }

    void load(const std::string &layers, const std::string &orientation = "orientation=\"orthogonal\" ")
    {
        std::string text = tmx(orientation + "width=\"10\" height=\"8\" tilewidth=\"32\" tileheight=\"32\"",
                               tileset_xml(1, "tiles.png", kTile, kTile, 128, 128) + layers);
        map = open_text(dir, "m.tmx", text);
        ASSERT_NE(map, nullptr);
    }

    // The pixel at target (tx, ty) shows map pixel (mx, my) of the grid layer.
    void expect_map_pixel(int tx, int ty, int mx, int my)
    {
        Rgba p = pixel(target, tx, ty);
        int index = cell_index(mx / kTile, my / kTile);
        EXPECT_EQ(p.r, tile_red(index)) << "at " << tx << "," << ty;
        EXPECT_EQ(p.g, (mx % kTile) * 8) << "at " << tx << "," << ty;
        EXPECT_EQ(p.b, (my % kTile) * 8) << "at " << tx << "," << ty;
        EXPECT_EQ(p.a, 255) << "at " << tx << "," << ty;
    }

    void expect_empty(int tx, int ty)
    {
        EXPECT_EQ(pixel(target, tx, ty).a, 0) << "at " << tx << "," << ty;
    }

    TempDir dir;
    ALLEGRO_BITMAP *target = nullptr;
    ALLEGRO_MAP *map = nullptr;
};

}  // namespace

TEST_F(Drawing, CellsLandAtTheirGridPositionMinusTheRegionOrigin)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv()));
    al_draw_layer_region_for_name(map, "BG0", 40, 10, 200, 150, 0, 0, 0);
    // Cell (3, 2) starts at (56, 54).
    expect_map_pixel(56, 54, 96, 64);
    expect_map_pixel(57, 55, 97, 65);
    // Everything drawn shows the map pixel at the same offset.
    // Columns 1 to 7 and rows 0 to 5 reach (216, 182).
    for (int ty = 0; ty < 182; ty += 7) {
        for (int tx = 0; tx < 216; tx += 5)
            expect_map_pixel(tx, ty, tx + 40, ty + 10);
    }
    expect_empty(216, 0);
    expect_empty(0, 182);
}

TEST_F(Drawing, TheCellsUnderTheFarEdgeAreDrawn)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv()));
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 64, 64, 100, 50, 0);
    // Columns and rows 0 to 2: 96 x 96 pixels from (100, 50).
    expect_map_pixel(100, 50, 0, 0);
    expect_map_pixel(195, 145, 95, 95);
    expect_empty(196, 50);
    expect_empty(100, 146);
    expect_empty(99, 50);

    // A region ending inside a tile includes that tile; one ending one pixel
    // before the next tile stops there.
    al_clear_to_color(al_map_rgba(0, 0, 0, 0));
    al_draw_layer_region_for_name(map, "BG0", 16, 8, 47, 23, 0, 0, 0);
    expect_map_pixel(0, 0, 16, 8);
    expect_map_pixel(47, 23, 63, 31);
    expect_empty(48, 0);
    expect_empty(0, 24);
}

TEST_F(Drawing, RegionsReachingPastTheMap)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv()));
    al_draw_layer_region_for_name(map, "BG0", -64, -32, 1e9f, 1e9f, 0, 0, 0);
    expect_empty(63, 31);
    expect_map_pixel(64, 32, 0, 0);
    expect_map_pixel(64 + 319, 32 + 255, 319, 255);
    expect_empty(64 + 320, 32);
    al_draw_layer_region_for_name(map, "BG0", 5000, 5000, 10, 10, 0, 0, 0);
}

TEST_F(Drawing, FlipsApplyPerCell)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv(TILED_FLIPPED_HORIZONTALLY, 0)));
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 63, 31, 0, 0, 0);
    // Cell (0, 0) mirrored left to right, cell (1, 0) as it is.
    EXPECT_EQ(pixel(target, 0, 0).g, 31 * 8);
    EXPECT_EQ(pixel(target, 31, 3).g, 0);
    EXPECT_EQ(pixel(target, 0, 3).b, 3 * 8);
    expect_map_pixel(32, 0, 32, 0);
    expect_map_pixel(40, 3, 40, 3);

    al_free_map(map);
    map = nullptr;
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv(TILED_FLIP_BITS, TILED_FLIPPED_VERTICALLY)));
    al_clear_to_color(al_map_rgba(0, 0, 0, 0));
    // The caller's own flags add to each cell's.
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 64, 31, 0, 0, ALLEGRO_FLIP_HORIZONTAL);
    // Cell (0, 0): both bits and the caller's horizontal flip.
    EXPECT_EQ(pixel(target, 0, 0).g, 31 * 8);
    EXPECT_EQ(pixel(target, 0, 0).b, 31 * 8);
    // Cell (1, 0): vertical bit plus the caller's horizontal flip.
    EXPECT_EQ(pixel(target, 32, 0).g, 31 * 8);
    EXPECT_EQ(pixel(target, 32, 0).b, 31 * 8);
    EXPECT_EQ(pixel(target, 32, 0).r, tile_red(1));
    // Cell (2, 0): the caller's flip alone.
    EXPECT_EQ(pixel(target, 64, 0).g, 31 * 8);
    EXPECT_EQ(pixel(target, 64, 0).b, 0);
}

TEST_F(Drawing, InvisibleAndMissingLayersDrawNothing)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv(), "visible=\"0\"") +
         "<objectgroup name=\"events\"><object id=\"1\" x=\"0\" y=\"32\"/></objectgroup>");
    StderrCapture capture;
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 320, 256, 0, 0, 0);
    al_draw_layer_region_for_name(map, "BG9", 0, 0, 320, 256, 0, 0, 0);
    al_draw_layer_for_name(map, "BG9", 0, 0, 0);
    // An object layer handed to the tile-layer routine has no cells.
    al_draw_layer_region_for_name(map, "events", 0, 0, 320, 256, 0, 0, 0);
    al_draw_layer_region_for_name(nullptr, "BG0", 0, 0, 320, 256, 0, 0, 0);
    EXPECT_EQ(capture.text(), "");
    for (int y = 0; y < 300; y += 3) {
        for (int x = 0; x < 400; x += 3)
            ASSERT_EQ(pixel(target, x, y).a, 0);
    }
}

TEST_F(Drawing, OpacityMixesWithTheBackground)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv(), "opacity=\"0.5\""));
    al_clear_to_color(al_map_rgba(0, 0, 255, 255));
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 31, 31, 0, 0, 0);
    // Tile 0's pixel (31, 31) is (10, 248, 248); half of it over blue.
    Rgba p = pixel(target, 31, 31);
    EXPECT_NEAR(p.r, 5, 1);
    EXPECT_NEAR(p.g, 124, 1);
    EXPECT_NEAR(p.b, 124 + 128, 1);
    EXPECT_EQ(p.a, 255);

    // A tint combines with the opacity.
    al_clear_to_color(al_map_rgba(0, 0, 0, 0));
    al_draw_tinted_tile_layer_region_for_name(map, "BG0", al_map_rgba_f(0.5f, 0.5f, 0.5f, 0.5f), 0, 0, 31, 31, 0, 0,
                                              0);
    p = pixel(target, 31, 31);
    EXPECT_NEAR(p.g, 62, 1);
    EXPECT_NEAR(p.a, 64, 1);
}

TEST_F(Drawing, OrientationMessages)
{
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv()), "orientation=\"isometric\" ");
    {
        StderrCapture capture;
        al_draw_layer_region_for_name(map, "BG0", 0, 0, 100, 100, 0, 0, 0);
        EXPECT_EQ(capture.text(), "Error: can't draw layer with orientation \"isometric\"\n");
    }
    {
        StderrCapture capture;
        al_draw_map(map, 0, 0, 0);
        al_draw_map_region(map, 0, 0, 10, 10, 0, 0, 0);
        EXPECT_EQ(capture.text(), "Error: can't draw map with orientation \"isometric\"\n"
                                  "Error: can't draw map with orientation \"isometric\"\n");
    }
    expect_empty(0, 0);
    // The whole-layer functions draw any map as orthogonal.
    al_draw_tile_layer_for_name(map, "BG0", 0, 0, 0);
    expect_map_pixel(0, 0, 0, 0);
    expect_map_pixel(319, 255, 319, 255);

    al_free_map(map);
    map = nullptr;
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", grid_csv()), "");
    StderrCapture capture;
    al_draw_layer_region_for_name(map, "BG0", 0, 0, 100, 100, 0, 0, 0);
    EXPECT_EQ(capture.text(), "Error: can't draw layer with orientation \"(null)\"\n");
}

TEST_F(Drawing, WholeMapWithObjects)
{
    // A hidden layer uses gid 3, so tile 3 has a bitmap; object id 3 shows it.
    load(layer_xml("BG0", kCols, kRows, "encoding=\"csv\"", "3", "visible=\"0\"") +
         "<objectgroup name=\"events\">"
         "<object id=\"3\" x=\"100\" y=\"200\" width=\"5\" height=\"5\"/>"
         "<object id=\"1\" x=\"300\" y=\"10\"/>"
         "<object id=\"3\" x=\"-40\" y=\"50\"/>"
         "</objectgroup>" +
         layer_xml("BG1", 2, 1, "encoding=\"csv\"", "1,2"));
    al_draw_map(map, 10, 20, 0);
    // Bottom edge at y: drawn at (100 + 10, 200 - 32 + 20).
    Rgba p = pixel(target, 110, 188);
    EXPECT_EQ(p.r, tile_red(2));
    EXPECT_EQ(p.g, 0);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(pixel(target, 141, 219).g, 31 * 8);
    expect_empty(109, 188);
    expect_empty(110, 187);
    // Tile 1 has a bitmap, since BG1 uses it: drawn at (310, -2).
    EXPECT_EQ(pixel(target, 310, 0).r, tile_red(0));
    // Partly left of the region: skipped.
    expect_empty(0, 38);
    // BG1 after the objects.
    EXPECT_EQ(pixel(target, 10, 20).r, tile_red(0));
    EXPECT_EQ(pixel(target, 42, 20).r, tile_red(1));
    expect_empty(74, 20);
}
