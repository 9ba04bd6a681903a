// Maps saved by the Tiled editor (the shared samples folder).
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "support.h"

using namespace tiled_test;

namespace {

const std::string kSamples = VEMRA_SAMPLES_DIR;

class Samples : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::is_directory(kSamples))
            GTEST_SKIP() << "no samples in " << kSamples;
    }

    // Opens a sample and keeps what it wrote to standard error.
    ALLEGRO_MAP *open(const std::string &name)
    {
        std::string before = current_directory();
        StderrCapture capture;
        ALLEGRO_MAP *map = al_open_map(kSamples.c_str(), name.c_str());
        messages = capture.text();
        EXPECT_EQ(current_directory(), before);
        return map;
    }

    std::string messages;
};

}  // namespace

TEST_F(Samples, FourCodingsDecodeAlike)
{
    std::vector<uint32_t> reference;
    for (const char *name :
         {"tiled_csv.tmx", "tiled_base64.tmx", "tiled_base64_zlib.tmx", "tiled_base64_gzip.tmx"}) {
        ALLEGRO_MAP *map = open(name);
        ASSERT_NE(map, nullptr) << name << messages;
        EXPECT_EQ(messages.find("Error"), std::string::npos) << name << messages;
        EXPECT_EQ(al_get_map_width(map), 100);
        EXPECT_EQ(map->tile_layer_count, 1);
        EXPECT_EQ(map->object_layer_count, 1);
        ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "Tile Layer 1");
        ASSERT_NE(layer, nullptr);
        std::vector<uint32_t> cells = layer_cells(layer);
        ASSERT_EQ(cells.size(), 10000u);
        if (reference.empty())
            reference = cells;
        EXPECT_EQ(cells, reference) << name;
        EXPECT_EQ(cells[0], 35u);
        EXPECT_EQ(std::accumulate(cells.begin(), cells.end(), 0ull), 5963ull);

        // Properties, also one written as element text; the declared tile.
        EXPECT_STREQ(static_cast<const char *>(g_hash_table_lookup(layer->properties, "prop2")), "some text");
        EXPECT_STREQ(static_cast<const char *>(g_hash_table_lookup(layer->properties, "prop3")),
                     "Line 1\nLine 2\nLine 3,\n  etc\n   ");
        EXPECT_STREQ(al_get_tile_property(al_get_tile_for_id(map, 2), "a tile property", ""), "123");

        // One sub-bitmap per distinct gid.
        std::set<uint32_t> gids(cells.begin(), cells.end());
        gids.erase(0);
        for (uint32_t gid : gids)
            EXPECT_NE(al_get_tile_for_id(map, static_cast<int>(gid))->bitmap, nullptr);

        // The objects: id as gid, so the tile size.
        int count;
        ALLEGRO_MAP_OBJECT **objects = al_get_objects(al_get_layer_for_name(map, "Object group"), &count);
        ASSERT_EQ(count, 4);
        for (int i = 0; i < count; i++) {
            EXPECT_EQ(objects[i]->gid, i + 1);
            EXPECT_EQ(objects[i]->width, 32);
        }
        EXPECT_EQ(objects[1]->x, 329);
        EXPECT_EQ(objects[1]->y, 217);
        al_free(objects);
        al_free_map(map);
    }
}

TEST_F(Samples, XmlCoding)
{
    // The XML sample holds a map of its own.
    ALLEGRO_MAP *map = open("tiled_xml.tmx");
    ASSERT_NE(map, nullptr) << messages;
    std::vector<uint32_t> cells = layer_cells(al_get_layer_for_name(map, "Tile Layer 1"));
    ASSERT_EQ(cells.size(), 10000u);
    EXPECT_EQ(cells[0], 30u);
    EXPECT_EQ(cells[10], 0u);
    EXPECT_EQ(std::accumulate(cells.begin(), cells.end(), 0ull), 3188ull);
    EXPECT_EQ(std::set<uint32_t>(cells.begin(), cells.end()), (std::set<uint32_t>{0, 1, 3, 30, 44, 57, 73, 74}));
    al_free_map(map);
}

TEST_F(Samples, FlipBits)
{
    ALLEGRO_MAP *map = open("tiled_flipped.tmx");
    ASSERT_NE(map, nullptr) << messages;
    EXPECT_NE(messages.find("Error: external tileset 'tilesheet.tsx' is not supported; its tiles have no bitmaps\n"),
              std::string::npos)
        << messages;
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "Tile Layer 1");
    // H+V+D, V, H, D.
    EXPECT_TRUE(flipped_horizontally(layer, 0, 0));
    EXPECT_TRUE(flipped_vertically(layer, 0, 0));
    EXPECT_FALSE(flipped_horizontally(layer, 1, 0));
    EXPECT_TRUE(flipped_vertically(layer, 1, 0));
    EXPECT_TRUE(flipped_horizontally(layer, 0, 1));
    EXPECT_FALSE(flipped_vertically(layer, 0, 1));
    EXPECT_FALSE(flipped_horizontally(layer, 1, 1));
    EXPECT_FALSE(flipped_vertically(layer, 1, 1));
    EXPECT_EQ(al_get_single_tile_id(layer, 1, 0), 3);
    EXPECT_EQ(al_get_single_tile_id(layer, 0, 1), 3);
    // The diagonal bit is not a flip here: it stays part of the id.
    EXPECT_EQ(al_get_single_tile_id(layer, 1, 1), 3 + (1 << 29));
    EXPECT_EQ(al_get_single_tile(map, layer, 0, 1)->bitmap, nullptr);
    al_free_map(map);
}

TEST_F(Samples, UnsupportedFeatures)
{
    ALLEGRO_MAP *map = open("tiled_base64_zstandard.tmx");
    ASSERT_NE(map, nullptr);
    EXPECT_NE(messages.find("Error: unknown compression format 'zstd'\n"), std::string::npos) << messages;
    std::vector<uint32_t> cells = layer_cells(al_get_layer_for_name(map, "Tile Layer 1"));
    EXPECT_EQ(std::accumulate(cells.begin(), cells.end(), 0ull), 0ull);
    al_free_map(map);

    map = open("tiled_base64_external.tmx");
    ASSERT_NE(map, nullptr);
    EXPECT_NE(messages.find("'tilesheet.tsx'"), std::string::npos) << messages;
    cells = layer_cells(al_get_layer_for_name(map, "Tile Layer 1"));
    EXPECT_EQ(std::accumulate(cells.begin(), cells.end(), 0ull), 5963ull);
    EXPECT_NE(al_get_tile_for_id(map, 35), nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 35)->bitmap, nullptr);
    al_free_map(map);

    // Layers inside groups are not seen.
    map = open("tiled_group_layers.tmx");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->tile_layer_count, 1);
    EXPECT_NE(al_get_layer_for_name(map, "tile-1"), nullptr);
    EXPECT_EQ(al_get_layer_for_name(map, "tile-2"), nullptr);
    EXPECT_EQ(al_get_layer_for_name(map, "tile-3"), nullptr);
    al_free_map(map);
}
