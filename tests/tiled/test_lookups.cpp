// Cell, tile, object and name lookups on a loaded map.
#include <gtest/gtest.h>

#include <string>

#include "support.h"

using namespace tiled_test;

namespace {

class Lookups : public ::testing::Test {
protected:
    void SetUp() override
    {
        save_tileset(dir.file("a.png"), 4, 4, 16, 16);
        std::string objects =
            "<objectgroup name=\"events\">"
            "<object id=\"1\" name=\"a\" x=\"0\" y=\"0\"/>"
            "<object id=\"2\" name=\"b\" x=\"0\" y=\"0\"/>"
            "<object id=\"3\" name=\"a\" x=\"0\" y=\"0\"/>"
            "</objectgroup>";
        std::string text = tmx("orientation=\"orthogonal\" width=\"3\" height=\"2\" tilewidth=\"16\" tileheight=\"16\"",
                               tileset_xml(1, "a.png", 16, 16, 64, 64) + tileset_xml(1025, "a.png", 16, 16, 64, 64) +
                                   layer_xml("BG0", 3, 2, "encoding=\"csv\"", "0,2147483653,1030,1073741829,3221225477,7") +
                                   objects + layer_xml("BG1", 3, 2, "encoding=\"csv\"", "1,0,0,0,0,0") +
                                   layer_xml("BG0", 3, 2, "encoding=\"csv\"", "9,9,9,9,9,9") +
                                   "<objectgroup name=\"more\"><object id=\"4\" name=\"b\" x=\"0\" y=\"0\"/></objectgroup>");
        map = open_text(dir, "m.tmx", text);
        ASSERT_NE(map, nullptr);
        bg0 = al_get_layer_for_name(map, "BG0");
        bg1 = al_get_layer_for_name(map, "BG1");
        events = al_get_layer_for_name(map, "events");
    }
    void TearDown() override { al_free_map(map); }

    TempDir dir;
    ALLEGRO_MAP *map = nullptr;
    ALLEGRO_MAP_LAYER *bg0 = nullptr, *bg1 = nullptr, *events = nullptr;
};

}  // namespace

TEST_F(Lookups, MapAccessors)
{
    EXPECT_EQ(al_get_map_width(map), 3);
    EXPECT_EQ(al_get_map_height(map), 2);
    EXPECT_EQ(al_get_tile_width(map), 16);
    EXPECT_EQ(al_get_tile_height(map), 16);
    EXPECT_STREQ(al_get_map_orientation(map), "orthogonal");
    EXPECT_EQ(al_get_map_layer(map, "BG1"), bg1);
}

TEST_F(Lookups, CellsAndFlipBits)
{
    // Empty cell: id 0, no tile, and the default of a property.
    EXPECT_EQ(al_get_single_tile_id(bg0, 0, 0), 0);
    EXPECT_EQ(al_get_single_tile(map, bg0, 0, 0), nullptr);
    const char *def = "0";
    EXPECT_EQ(al_get_tile_property(al_get_single_tile(map, bg0, 0, 0), "block", def), def);

    // Gid 5 with bit 31.
    EXPECT_EQ(lookup_tile(bg0, 1, 0), 2147483653u);
    EXPECT_EQ(al_get_single_tile_id(bg0, 1, 0), 5);
    EXPECT_EQ(al_get_single_tile(map, bg0, 1, 0), al_get_tile_for_id(map, 5));
    EXPECT_NE(al_get_tile_for_id(map, 5), nullptr);
    EXPECT_TRUE(flipped_horizontally(bg0, 1, 0));
    EXPECT_FALSE(flipped_vertically(bg0, 1, 0));
    // Bit 30, and both.
    EXPECT_FALSE(flipped_horizontally(bg0, 0, 1));
    EXPECT_TRUE(flipped_vertically(bg0, 0, 1));
    EXPECT_TRUE(flipped_horizontally(bg0, 1, 1));
    EXPECT_TRUE(flipped_vertically(bg0, 1, 1));
    EXPECT_EQ(al_get_single_tile_id(bg0, 1, 1), 5);

    // The second tileset's gids.
    ALLEGRO_MAP_TILE *tile = al_get_single_tile(map, bg0, 2, 0);
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(al_get_tile_id(tile), 1030);
    EXPECT_EQ(tile->tileset, g_slist_nth_data(map->tilesets, 1));

    // Outside the layer, on an object layer, on a null layer: empty.
    for (auto xy : {std::make_pair(-1, 0), std::make_pair(3, 0), std::make_pair(0, -1), std::make_pair(0, 2)}) {
        EXPECT_EQ(lookup_tile(bg0, xy.first, xy.second), 0u);
        EXPECT_EQ(al_get_single_tile(map, bg0, xy.first, xy.second), nullptr);
        EXPECT_FALSE(flipped_horizontally(bg0, xy.first, xy.second));
    }
    EXPECT_EQ(al_get_single_tile_id(events, 0, 0), 0);
    EXPECT_EQ(al_get_single_tile_id(nullptr, 0, 0), 0);
    EXPECT_EQ(al_get_single_tile(map, nullptr, 0, 0), nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 0), nullptr);
}

TEST_F(Lookups, TilesOfEveryTileLayer)
{
    int count = -1;
    ALLEGRO_MAP_TILE **tiles = al_get_tiles(map, 0, 0, &count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(tiles[0], nullptr);
    EXPECT_EQ(tiles[1], al_get_tile_for_id(map, 1));
    EXPECT_EQ(tiles[2], al_get_tile_for_id(map, 9));
    al_free(tiles);
}

TEST_F(Lookups, ObjectsAndNames)
{
    int count = -1;
    EXPECT_EQ(al_get_objects(bg0, &count), nullptr);
    EXPECT_EQ(count, 0);
    count = -1;
    EXPECT_EQ(al_get_objects(nullptr, &count), nullptr);
    EXPECT_EQ(count, 0);

    ALLEGRO_MAP_OBJECT **objects = al_get_objects(events, &count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(objects[0]->gid, 1);
    EXPECT_EQ(objects[1]->gid, 2);
    EXPECT_EQ(objects[2]->gid, 3);

    ALLEGRO_MAP_OBJECT **named = al_get_objects_for_name(events, "a", &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(named[0], objects[2]);
    EXPECT_EQ(named[1], objects[0]);
    al_free(named);
    EXPECT_EQ(al_get_objects_for_name(events, "zzz", &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(al_get_objects_for_name(bg0, "a", &count), nullptr);
    EXPECT_EQ(count, 0);

    EXPECT_EQ(al_get_object_for_name(map, "b"), objects[1]);
    EXPECT_EQ(al_get_object_for_name(map, "nothing"), nullptr);
    al_free(objects);

    // Of two layers named alike, the first in document order.
    EXPECT_EQ(bg0, map->layers->data);
    EXPECT_EQ(al_get_layer_for_name(map, "nothing"), nullptr);
    EXPECT_EQ(al_get_layer_for_name(map, nullptr), nullptr);
    EXPECT_EQ(al_get_layer_for_name(nullptr, "BG0"), nullptr);
}

TEST(NullRecords, PropertyGettersGiveTheDefault)
{
    const char *def = "x";
    EXPECT_EQ(al_get_map_property(nullptr, "x", def), def);
    EXPECT_EQ(al_get_tile_property(nullptr, "x", def), def);
    EXPECT_EQ(al_get_object_property(nullptr, "x", def), def);
    al_free_map(nullptr);
}
