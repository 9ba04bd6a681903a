// al_draw_map against images rendered by Tiled's own tmxrasterizer
// (tests/tiled/make_references.sh writes them into tests/tiled/reference/).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support.h"

using namespace tiled_test;

namespace {

const std::string kReference = std::string(VEMRA_SOURCE_DIR) + "/tests/tiled/reference/";
const std::string kSamples = VEMRA_SAMPLES_DIR;

// Draws the map, object layers hidden, onto a transparent bitmap of the
// reference's size and compares every pixel.
void expect_same_as_reference(ALLEGRO_MAP *map, const std::string &reference)
{
    ALLEGRO_BITMAP *expected = al_load_bitmap((kReference + reference).c_str());
    ASSERT_NE(expected, nullptr) << reference;
    int w = al_get_bitmap_width(expected), h = al_get_bitmap_height(expected);
    EXPECT_EQ(w, map->width * map->tile_width);
    EXPECT_EQ(h, map->height * map->tile_height);

    for (GSList *l = map->object_layers; l; l = l->next)
        static_cast<ALLEGRO_MAP_LAYER *>(l->data)->visible = false;
    ALLEGRO_BITMAP *drawn = al_create_bitmap(w, h);
    ASSERT_NE(drawn, nullptr);
    al_set_target_bitmap(drawn);
    al_clear_to_color(al_map_rgba(0, 0, 0, 0));
    al_draw_map(map, 0, 0, 0);
    al_set_target_bitmap(nullptr);

    ALLEGRO_LOCKED_REGION *a = al_lock_bitmap(expected, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
    ALLEGRO_LOCKED_REGION *b = al_lock_bitmap(drawn, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
    ASSERT_TRUE(a && b);
    long differing = 0;
    std::ostringstream first;
    long opaque = 0;
    for (int y = 0; y < h; y++) {
        auto *ra = static_cast<const unsigned char *>(a->data) + y * a->pitch;
        auto *rb = static_cast<const unsigned char *>(b->data) + y * b->pitch;
        for (int x = 0; x < w; x++) {
            const unsigned char *pa = ra + 4 * x, *pb = rb + 4 * x;
            opaque += pb[3] == 255;
            if (pa[0] == pb[0] && pa[1] == pb[1] && pa[2] == pb[2] && pa[3] == pb[3])
                continue;
            if (differing++ == 0)
                first << "first difference at " << x << "," << y << ": reference " << int(pa[0]) << " " << int(pa[1])
                      << " " << int(pa[2]) << " " << int(pa[3]) << ", drawn " << int(pb[0]) << " " << int(pb[1]) << " "
                      << int(pb[2]) << " " << int(pb[3]);
        }
    }
    al_unlock_bitmap(expected);
    al_unlock_bitmap(drawn);
    EXPECT_EQ(differing, 0) << reference << ": " << first.str();
    EXPECT_GT(opaque, 0) << reference << ": nothing drawn";
    al_destroy_bitmap(expected);
    al_destroy_bitmap(drawn);
}

}  // namespace

TEST(Reference, SamplesWithEmbeddedTilesets)
{
    if (!std::filesystem::is_directory(kSamples))
        GTEST_SKIP() << "no samples in " << kSamples;
    for (const char *name : {"tiled_csv", "tiled_base64", "tiled_base64_zlib", "tiled_base64_gzip", "tiled_xml"}) {
        ALLEGRO_MAP *map = al_open_map(kSamples.c_str(), (std::string(name) + ".tmx").c_str());
        ASSERT_NE(map, nullptr) << name;
        expect_same_as_reference(map, std::string(name) + ".png");
        al_free_map(map);
    }
}

TEST(Reference, FlippedTiles)
{
    // The same map and tileset image as make_references.sh writes.
    TempDir dir;
    save_tileset(dir.file("flips.png"), 4, 2, 16, 16);
    dir.write("flips.tmx", R"(<?xml version="1.0" encoding="UTF-8"?>
<map version="1.4" orientation="orthogonal" renderorder="right-down" width="5" height="3" tilewidth="16" tileheight="16" infinite="0">
 <tileset firstgid="1" name="flips" tilewidth="16" tileheight="16" tilecount="8" columns="4">
  <image source="flips.png" width="64" height="32"/>
 </tileset>
 <layer name="ground" width="5" height="3">
  <data encoding="csv">
1,2147483650,1073741827,3221225476,0,
5,6,2147483655,8,1073741825,
0,2,3,2147483652,3221225477
</data>
 </layer>
 <layer name="top" width="5" height="3">
  <data encoding="csv">
0,0,0,0,8,
0,0,0,0,0,
2147483649,0,0,0,0
</data>
 </layer>
</map>
)");
    ALLEGRO_MAP *map = al_open_map(dir.path().c_str(), "flips.tmx");
    ASSERT_NE(map, nullptr);
    expect_same_as_reference(map, "flips.png");
    al_free_map(map);
}
