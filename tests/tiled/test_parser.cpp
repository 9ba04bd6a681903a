// Reading TMX files written by the tests themselves: codings, tilesets and
// tiles, layers and objects, properties, and maps that must be refused.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support.h"

using namespace tiled_test;

namespace {

const std::string kMap3x2 = "orientation=\"orthogonal\" width=\"3\" height=\"2\" tilewidth=\"32\" tileheight=\"32\"";
const std::vector<uint32_t> kCells = {1, 2, 3, 4, 5, 6};

// A map of one 3 x 2 layer "L" coded as given, without tileset.
std::string layer_map(const std::string &data_attributes, const std::string &data_text)
{
    return tmx(kMap3x2, layer_xml("L", 3, 2, data_attributes, data_text));
}

std::vector<uint32_t> load_cells(const std::string &data_attributes, const std::string &data_text,
                                 std::string *messages = nullptr)
{
    TempDir dir;
    StderrCapture capture;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", layer_map(data_attributes, data_text));
    std::string text = capture.text();
    if (messages)
        *messages = text;
    EXPECT_NE(map, nullptr) << text;
    if (!map)
        return {};
    std::vector<uint32_t> cells = layer_cells(al_get_layer_for_name(map, "L"));
    al_free_map(map);
    return cells;
}

}  // namespace

TEST(LayerData, EveryCodingGivesTheSameCells)
{
    std::string xml;
    for (uint32_t gid : kCells)
        xml += "<tile gid=\"" + std::to_string(gid) + "\"/>";
    std::string bytes = cell_bytes(kCells);

    EXPECT_EQ(load_cells("", xml), kCells);
    EXPECT_EQ(load_cells("encoding=\"csv\"", "\n1,2,3,\n4,5,6\n"), kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\"", "\n  " + base64(bytes) + "\n"), kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"zlib\"", base64(zlib_compress(bytes))), kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"gzip\"", base64(gzip_compress(bytes))), kCells);

    TempDir dir;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", layer_map("encoding=\"csv\"", "1,2,3,\n4,5,6"));
    ASSERT_NE(map, nullptr);
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "L");
    EXPECT_EQ(lookup_tile(layer, 0, 0), 1u);
    EXPECT_EQ(lookup_tile(layer, 2, 0), 3u);
    EXPECT_EQ(lookup_tile(layer, 0, 1), 4u);
    EXPECT_EQ(lookup_tile(layer, 2, 1), 6u);
    al_free_map(map);
}

TEST(LayerData, XmlTiles)
{
    // A tile without gid is an empty cell; missing tiles stay 0, extra ones
    // are ignored; other children do not count.
    EXPECT_EQ(load_cells("", "<tile gid=\"7\"/><tile/><!-- x --><tile gid=\"9\"/>"),
              (std::vector<uint32_t>{7, 0, 9, 0, 0, 0}));
    EXPECT_EQ(load_cells("", std::string(8, ' ') + "<tile gid=\"1\"/><tile gid=\"1\"/><tile gid=\"1\"/>"
                             "<tile gid=\"1\"/><tile gid=\"1\"/><tile gid=\"1\"/><tile gid=\"2\"/>"),
              (std::vector<uint32_t>(6, 1)));
}

TEST(LayerData, CsvShortLongAndOddPieces)
{
    EXPECT_EQ(load_cells("encoding=\"csv\"", "1,2"), (std::vector<uint32_t>{1, 2, 0, 0, 0, 0}));
    EXPECT_EQ(load_cells("encoding=\"csv\"", "1,2,3,4,5,6,7,8,9"), kCells);
    // Empty pieces are skipped; blanks and line breaks around values are fine;
    // a piece without digits reads 0.
    EXPECT_EQ(load_cells("encoding=\"csv\"", " ,,1 , 2\r\n,\t3,,x,5 ,6,"), (std::vector<uint32_t>{1, 2, 3, 0, 5, 6}));
    // Full 32-bit gids; anything that does not fit, or is negative, is empty.
    EXPECT_EQ(load_cells("encoding=\"csv\"", "4294967295,4294967296,-1,99999999999999999999999,+8,2147483651"),
              (std::vector<uint32_t>{4294967295u, 0, 0, 0, 8, 2147483651u}));
}

TEST(LayerData, LongCsvIsReadWhole)
{
    const int w = 300, h = 200;
    std::string text;
    for (int i = 0; i < w * h; i++)
        text += std::to_string(i % 97 + 1) + (i % w == w - 1 ? ",\n" : ",");
    TempDir dir;
    std::string map_text = tmx("orientation=\"orthogonal\" width=\"300\" height=\"200\" tilewidth=\"8\" tileheight=\"8\"",
                               layer_xml("L", w, h, "encoding=\"csv\"", text));
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", map_text);
    ASSERT_NE(map, nullptr);
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "L");
    for (int i = 0; i < w * h; i += 997)
        ASSERT_EQ(lookup_tile(layer, i % w, i / w), static_cast<uint32_t>(i % 97 + 1)) << i;
    EXPECT_EQ(lookup_tile(layer, w - 1, h - 1), static_cast<uint32_t>((w * h - 1) % 97 + 1));
    al_free_map(map);
}

TEST(LayerData, Base64FlipBitsAndByteOrder)
{
    std::string bytes = std::string("\x2c\x01\x00\x00", 4) + cell_bytes({300u | 0x80000000u, 0x40000005u}) +
                        "\x01\x02\x03";
    TempDir dir;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", layer_map("encoding=\"base64\"", base64(bytes)));
    ASSERT_NE(map, nullptr);
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "L");
    EXPECT_EQ(lookup_tile(layer, 0, 0), 300u);
    EXPECT_EQ(al_get_single_tile_id(layer, 1, 0), 300);
    EXPECT_TRUE(flipped_horizontally(layer, 1, 0));
    EXPECT_FALSE(flipped_vertically(layer, 1, 0));
    EXPECT_EQ(al_get_single_tile_id(layer, 2, 0), 5);
    EXPECT_TRUE(flipped_vertically(layer, 2, 0));
    EXPECT_FALSE(flipped_horizontally(layer, 2, 0));
    // Three bytes left over: no cell from them.
    EXPECT_EQ(lookup_tile(layer, 0, 1), 0u);
    al_free_map(map);

    // More bytes than cells: the surplus is ignored; a short tail is dropped.
    std::vector<uint32_t> many = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(load_cells("encoding=\"base64\"", base64(cell_bytes(many))), kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"zlib\"", base64(zlib_compress(cell_bytes(many)))),
              kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"gzip\"",
                         base64(gzip_compress(cell_bytes({1, 2}) + "\x03\x00"))),
              (std::vector<uint32_t>{1, 2, 0, 0, 0, 0}));
}

TEST(LayerData, UnknownCodingsLeaveTheLayerEmpty)
{
    std::string messages;
    std::vector<uint32_t> empty(6, 0);
    EXPECT_EQ(load_cells("encoding=\"xml\"", "1,2,3,4,5,6", &messages), empty);
    EXPECT_NE(messages.find("Error: unknown encoding format 'xml'\n"), std::string::npos) << messages;

    std::string bytes = cell_bytes(kCells);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"bz2\"", base64(bytes), &messages), empty);
    EXPECT_NE(messages.find("Error: unknown compression format 'bz2'\n"), std::string::npos) << messages;

    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"zstd\"", base64(bytes), &messages), empty);
    EXPECT_NE(messages.find("Error: unknown compression format 'zstd'\n"), std::string::npos) << messages;
}

TEST(LayerData, CorruptCompressedData)
{
    std::string messages;
    std::vector<uint32_t> empty(6, 0);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"zlib\"", base64("this is not a zlib stream"), &messages),
              empty);
    EXPECT_NE(messages.find("zpipe: invalid or incomplete deflate data\n"), std::string::npos) << messages;

    // A stream cut short keeps the cells inflated before the cut.
    std::string stream = zlib_compress(cell_bytes(kCells));
    std::vector<uint32_t> cells =
        load_cells("encoding=\"base64\" compression=\"zlib\"", base64(stream.substr(0, stream.size() - 4)), &messages);
    EXPECT_NE(messages.find("zpipe: invalid or incomplete deflate data\n"), std::string::npos) << messages;
    EXPECT_EQ(cells, kCells);

    // A gzip stream whose check sum is wrong.
    std::string gz = gzip_compress(cell_bytes(kCells));
    gz[gz.size() - 6] ^= 0x55;
    cells = load_cells("encoding=\"base64\" compression=\"gzip\"", base64(gz), &messages);
    EXPECT_NE(messages.find("zpipe: invalid or incomplete deflate data\n"), std::string::npos) << messages;

    // Far more data than cells: inflating stops well after the cells are
    // full, so damage at the very end goes unseen.
    std::string bomb = zlib_compress(cell_bytes(kCells) + std::string(40 << 20, '\0'));
    bomb[bomb.size() - 1] ^= 0x55;
    cells = load_cells("encoding=\"base64\" compression=\"zlib\"", base64(bomb), &messages);
    EXPECT_EQ(messages.find("zpipe"), std::string::npos) << messages;
    EXPECT_EQ(cells, kCells);
}

TEST(LayerData, NoTextOrNoDataIsAnEmptyLayer)
{
    std::vector<uint32_t> empty(6, 0);
    std::string messages;
    EXPECT_EQ(load_cells("encoding=\"csv\"", "", &messages), empty);
    EXPECT_EQ(load_cells("encoding=\"base64\"", "  \n ", &messages), empty);
    EXPECT_EQ(load_cells("encoding=\"base64\" compression=\"zlib\"", "", &messages), empty);
    EXPECT_EQ(messages.find("zpipe"), std::string::npos) << messages;
    EXPECT_EQ(load_cells("encoding=\"csv\"", "<tile gid=\"3\"/>1,2"), empty);

    TempDir dir;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", tmx(kMap3x2, "<layer name=\"L\" width=\"3\" height=\"2\"/>"));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(layer_cells(al_get_layer_for_name(map, "L")), empty);
    al_free_map(map);
}

TEST(LayerData, NoTemporaryFiles)
{
    TempDir tmp;
    TempDir dir;
    std::string map_text = layer_map("encoding=\"base64\" compression=\"zlib\"", base64(zlib_compress(cell_bytes(kCells))));
    dir.write("m.tmx", map_text);
    const char *old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    setenv("TMPDIR", tmp.path().c_str(), 1);
    ALLEGRO_MAP *map = al_open_map(dir.path().c_str(), "m.tmx");
    if (old)
        setenv("TMPDIR", saved.c_str(), 1);
    else
        unsetenv("TMPDIR");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(layer_cells(al_get_layer_for_name(map, "L")), kCells);
    al_free_map(map);
    EXPECT_TRUE(tmp.entries().empty());
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"m.tmx"});
}

// ---- tilesets and tiles -------------------------------------------------------

TEST(Tilesets, TwoTilesetsAndSubBitmaps)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 8, 8, 32, 32);  // 256 x 256, gids 1 to 64
    save_tileset(dir.file("b.png"), 4, 4, 32, 32);  // 128 x 128, gids 65 to 80
    std::string text = tmx(kMap3x2, tileset_xml(1, "a.png", 32, 32, 256, 256) +
                                         tileset_xml(65, "b.png", 32, 32, 128, 128) +
                                         layer_xml("L", 3, 2, "encoding=\"csv\"", "1,10,70,10,0,64"));
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(g_slist_length(map->tilesets), 2u);
    auto *a = static_cast<ALLEGRO_MAP_TILESET *>(g_slist_nth_data(map->tilesets, 0));
    auto *b = static_cast<ALLEGRO_MAP_TILESET *>(g_slist_nth_data(map->tilesets, 1));
    EXPECT_EQ(a->firstgid, 1);
    EXPECT_STREQ(a->name, "ts1");
    EXPECT_STREQ(a->source, "a.png");
    EXPECT_EQ(a->width, 256);
    EXPECT_EQ(b->firstgid, 65);

    ALLEGRO_MAP_TILE *t1 = al_get_tile_for_id(map, 1);
    ALLEGRO_MAP_TILE *t10 = al_get_tile_for_id(map, 10);
    ALLEGRO_MAP_TILE *t64 = al_get_tile_for_id(map, 64);
    ALLEGRO_MAP_TILE *t70 = al_get_tile_for_id(map, 70);
    ASSERT_TRUE(t1 && t10 && t64 && t70);
    EXPECT_EQ(t1->tileset, a);
    EXPECT_EQ(t70->tileset, b);
    EXPECT_EQ(al_get_parent_bitmap(t1->bitmap), a->bitmap);
    EXPECT_EQ(al_get_bitmap_x(t1->bitmap), 0);
    EXPECT_EQ(al_get_bitmap_y(t1->bitmap), 0);
    EXPECT_EQ(al_get_bitmap_x(t10->bitmap), 32);
    EXPECT_EQ(al_get_bitmap_y(t10->bitmap), 32);
    EXPECT_EQ(al_get_bitmap_x(t64->bitmap), 224);
    EXPECT_EQ(al_get_bitmap_y(t64->bitmap), 224);
    EXPECT_EQ(al_get_bitmap_width(t10->bitmap), 32);
    EXPECT_EQ(al_get_bitmap_height(t10->bitmap), 32);
    // gid 70: the second tileset, index 5: column 1, row 1.
    EXPECT_EQ(al_get_parent_bitmap(t70->bitmap), b->bitmap);
    EXPECT_EQ(al_get_bitmap_x(t70->bitmap), 32);
    EXPECT_EQ(al_get_bitmap_y(t70->bitmap), 32);
    // Tile 10 is used twice and has one record; unused tiles have none.
    EXPECT_EQ(g_hash_table_size(map->tiles), 4u);
    EXPECT_EQ(al_get_tile_for_id(map, 2), nullptr);
    al_free_map(map);
}

TEST(Tilesets, EqualFirstgidsAndGidsBelowEveryTileset)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);
    save_tileset(dir.file("b.png"), 2, 2, 16, 16);
    std::string text = tmx(kMap3x2, tileset_xml(5, "a.png", 16, 16, 32, 32) + tileset_xml(5, "b.png", 16, 16, 32, 32) +
                                         layer_xml("L", 3, 2, "encoding=\"csv\"", "6,3,1,2,0,5"));
    StderrCapture capture;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    std::string messages = capture.text();
    ASSERT_NE(map, nullptr);
    auto *first = static_cast<ALLEGRO_MAP_TILESET *>(map->tilesets->data);
    EXPECT_EQ(al_get_tile_for_id(map, 6)->tileset, first);
    EXPECT_EQ(al_get_tile_for_id(map, 5)->tileset, first);
    // Gids 1 to 3 lie below every firstgid: cells kept, no tile, one line.
    EXPECT_EQ(lookup_tile(al_get_layer_for_name(map, "L"), 1, 0), 3u);
    EXPECT_EQ(al_get_tile_for_id(map, 3), nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 1), nullptr);
    EXPECT_NE(messages.find("Error: layer 'L' uses gid 3, which belongs to no tileset\n"), std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("gid 1,"), std::string::npos) << messages;
    al_free_map(map);
}

TEST(Tilesets, TilesetOfEachGidAmongManyTilesets)
{
    // Firstgids out of document order, with repeats; every gid of 1 to 250 is
    // used once. Each gid's tileset must be the one with the greatest firstgid
    // not above it, the first in document order among equal firstgids.
    std::vector<int> firstgids;
    uint32_t seed = 99;
    for (int i = 0; i < 60; i++) {
        seed = seed * 1103515245u + 12345u;
        firstgids.push_back(5 + static_cast<int>((seed >> 8) % 40) * 5);  // 5 to 200, many repeats
    }
    firstgids.push_back(1000);
    std::string tilesets;
    for (size_t i = 0; i < firstgids.size(); i++)
        tilesets += "<tileset firstgid=\"" + std::to_string(firstgids[i]) + "\" name=\"s" + std::to_string(i) +
                    "\" tilewidth=\"16\" tileheight=\"16\"/>\n";
    std::string csv;
    for (int gid = 1; gid <= 250; gid++)
        csv += (gid > 1 ? "," : "") + std::to_string(gid);
    TempDir dir;
    StderrCapture capture;  // every tileset lacks an image
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", tmx("orientation=\"orthogonal\" width=\"25\" height=\"10\" "
                                                   "tilewidth=\"16\" tileheight=\"16\"",
                                                   tilesets + layer_xml("L", 25, 10, "encoding=\"csv\"", csv)));
    capture.text();
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(g_slist_length(map->tilesets), firstgids.size());
    for (int gid = 1; gid <= 250; gid++) {
        ALLEGRO_MAP_TILESET *wanted = nullptr;
        for (GSList *l = map->tilesets; l; l = l->next) {
            auto *tileset = static_cast<ALLEGRO_MAP_TILESET *>(l->data);
            if (tileset->firstgid <= gid && (!wanted || tileset->firstgid > wanted->firstgid))
                wanted = tileset;
        }
        ALLEGRO_MAP_TILE *tile = al_get_tile_for_id(map, gid);
        if (!wanted) {
            EXPECT_EQ(tile, nullptr) << gid;
            continue;
        }
        ASSERT_NE(tile, nullptr) << gid;
        EXPECT_EQ(tile->tileset, wanted) << gid << " in " << tile->tileset->name << ", wanted " << wanted->name;
    }
    al_free_map(map);
}

TEST(Tilesets, DeclaredTiles)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 4, 1, 16, 16);
    std::string tiles =
        "<tile id=\"1\"><properties><property name=\"block\" value=\"1\"/></properties></tile>\n"
        "<tile><properties><property name=\"lost\" value=\"1\"/></properties></tile>\n"
        "<tile id=\"3\"/>\n"
        "<tile id=\"1\"><properties><property name=\"block\" value=\"later\"/></properties></tile>\n";
    std::string text = tmx(kMap3x2, tileset_xml(1, "a.png", 16, 16, 64, 16, tiles) +
                                         layer_xml("L", 3, 2, "encoding=\"csv\"", "2,1,0,0,0,0"));
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    auto *tileset = static_cast<ALLEGRO_MAP_TILESET *>(map->tilesets->data);
    // Three declared tiles (the one without id is skipped) plus tile 2 from the layer.
    EXPECT_EQ(g_slist_length(tileset->tiles), 4u);
    ALLEGRO_MAP_TILE *t2 = al_get_tile_for_id(map, 2);
    ASSERT_NE(t2, nullptr);
    // The later of two declarations of a gid is the one in the table.
    EXPECT_STREQ(al_get_tile_property(t2, "block", "0"), "later");
    EXPECT_NE(t2->bitmap, nullptr);
    ALLEGRO_MAP_TILE *t4 = al_get_tile_for_id(map, 4);
    ASSERT_NE(t4, nullptr);
    EXPECT_EQ(t4->bitmap, nullptr);  // declared, used by no layer
    EXPECT_EQ(g_hash_table_size(t4->properties), 0u);
    al_free_map(map);
}

TEST(Tilesets, ImageProblems)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);  // 32 x 32
    std::string messages;
    auto load = [&](const std::string &tilesets, const std::string &csv) {
        StderrCapture capture;
        ALLEGRO_MAP *map = open_text(dir, "m.tmx", tmx(kMap3x2, tilesets + layer_xml("L", 3, 2, "encoding=\"csv\"", csv)));
        messages = capture.text();
        return map;
    };

    // A missing image: one line, the map loads, its tiles have no bitmaps.
    ALLEGRO_MAP *map = load(tileset_xml(1, "missing.png", 16, 16, 32, 32), "1,2,1,2,1,2");
    ASSERT_NE(map, nullptr);
    const std::string image_line = "Error: no bitmap available; did you load the image addon?\n";
    size_t at = messages.find(image_line);
    EXPECT_NE(at, std::string::npos) << messages;
    EXPECT_EQ(messages.find(image_line, at + 1), std::string::npos) << messages;
    ASSERT_NE(al_get_tile_for_id(map, 1), nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 1)->bitmap, nullptr);
    al_free_map(map);

    // Tile size 0, and an image narrower than one tile: no bitmaps, one line.
    for (const std::string &tileset : {tileset_xml(1, "a.png", 0, 16, 32, 32), tileset_xml(1, "a.png", 64, 16, 32, 32)}) {
        map = load(tileset, "1,2,1,2,1,2");
        ASSERT_NE(map, nullptr);
        EXPECT_NE(messages.find("cannot be cut into tiles"), std::string::npos) << messages;
        EXPECT_EQ(al_get_tile_for_id(map, 1)->bitmap, nullptr);
        EXPECT_EQ(al_get_tile_for_id(map, 2)->bitmap, nullptr);
        al_free_map(map);
    }

    // The declared image is big enough but the loaded one (32 x 32) is
    // narrower, or lower, than one tile: one line, no bitmaps.
    for (const std::string &tileset : {tileset_xml(1, "a.png", 48, 16, 96, 32), tileset_xml(1, "a.png", 16, 48, 32, 96)}) {
        map = load(tileset, "1,2,1,2,1,2");
        ASSERT_NE(map, nullptr);
        const std::string line = "cannot be cut into tiles of ";
        at = messages.find(line);
        EXPECT_NE(at, std::string::npos) << messages;
        EXPECT_EQ(messages.find(line, at + 1), std::string::npos) << messages;
        EXPECT_NE(messages.find("its image 'a.png' is only 32x32 pixels"), std::string::npos) << messages;
        EXPECT_EQ(al_get_tile_for_id(map, 1)->bitmap, nullptr);
        EXPECT_EQ(al_get_tile_for_id(map, 2)->bitmap, nullptr);
        al_free_map(map);
    }
    // An image exactly one tile in size is cut without a word.
    map = load(tileset_xml(1, "a.png", 32, 32, 32, 32), "1,1,1,1,1,1");
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(messages.find("cannot be cut"), std::string::npos) << messages;
    EXPECT_NE(al_get_tile_for_id(map, 1)->bitmap, nullptr);
    al_free_map(map);

    // Gids past the image: records without bitmaps. The declared width says
    // 4 columns, the image has 2, so gid 3 would lie outside too.
    map = load(tileset_xml(1, "a.png", 16, 16, 64, 32, "<tile id=\"8\"><properties><property name=\"p\" value=\"v\"/>"
                                                       "</properties></tile>"),
               "1,2,3,9,1000,0");
    ASSERT_NE(map, nullptr);
    EXPECT_NE(al_get_tile_for_id(map, 1)->bitmap, nullptr);
    EXPECT_NE(al_get_tile_for_id(map, 2)->bitmap, nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 3)->bitmap, nullptr);
    EXPECT_EQ(al_get_tile_for_id(map, 1000)->bitmap, nullptr);
    ALLEGRO_MAP_TILE *t9 = al_get_tile_for_id(map, 9);
    ASSERT_NE(t9, nullptr);
    EXPECT_EQ(t9->bitmap, nullptr);
    EXPECT_STREQ(al_get_tile_property(t9, "p", ""), "v");
    al_free_map(map);

    // An image without width and height takes the loaded image's size.
    map = load("<tileset firstgid=\"1\" tilewidth=\"16\" tileheight=\"16\"><image source=\"a.png\"/></tileset>",
               "4,0,0,0,0,0");
    ASSERT_NE(map, nullptr);
    auto *tileset = static_cast<ALLEGRO_MAP_TILESET *>(map->tilesets->data);
    EXPECT_EQ(tileset->width, 32);
    EXPECT_EQ(tileset->height, 32);
    EXPECT_EQ(al_get_bitmap_x(al_get_tile_for_id(map, 4)->bitmap), 16);
    EXPECT_EQ(al_get_bitmap_y(al_get_tile_for_id(map, 4)->bitmap), 16);
    al_free_map(map);

    // A tileset without image, and an external one: loaded without bitmaps.
    map = load("<tileset firstgid=\"1\" name=\"bare\" tilewidth=\"16\" tileheight=\"16\"/>"
               "<tileset firstgid=\"10\" source=\"other.tsx\"/>",
               "1,10,11,0,0,0");
    ASSERT_NE(map, nullptr);
    EXPECT_NE(messages.find("Error: tileset 'bare' has no image; its tiles have no bitmaps\n"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("Error: external tileset 'other.tsx' is not supported; its tiles have no bitmaps\n"),
              std::string::npos)
        << messages;
    EXPECT_EQ(al_get_tile_for_id(map, 11)->tileset, g_slist_nth_data(map->tilesets, 1));
    EXPECT_EQ(al_get_tile_for_id(map, 11)->bitmap, nullptr);
    al_free_map(map);
}

// ---- layers, objects, properties ---------------------------------------------------

TEST(Layers, DocumentOrderAndDefaults)
{
    TempDir dir;
    std::string text = tmx(kMap3x2,
                           "<objectgroup name=\"o1\"/>\n" + layer_xml("t1", 3, 2, "encoding=\"csv\"", "") +
                               "<imagelayer name=\"img\"/>\n"
                               "<group name=\"g\">" + layer_xml("inner", 3, 2, "encoding=\"csv\"", "") + "</group>\n" +
                               layer_xml("t2", 3, 2, "encoding=\"csv\"", "", "visible=\"0\" opacity=\"0.5\"") +
                               "<objectgroup name=\"o2\" visible=\"0\" opacity=\"0.25\"/>\n" +
                               layer_xml("t3", 2, 1, "encoding=\"csv\"", "", "opacity=\"7\" visible=\"yes\""));
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    auto names = [](GSList *list) {
        std::vector<std::string> result;
        for (GSList *l = list; l; l = l->next)
            result.push_back(static_cast<ALLEGRO_MAP_LAYER *>(l->data)->name);
        return result;
    };
    EXPECT_EQ(names(map->layers), (std::vector<std::string>{"o1", "t1", "t2", "o2", "t3"}));
    EXPECT_EQ(names(map->tile_layers), (std::vector<std::string>{"t1", "t2", "t3"}));
    EXPECT_EQ(names(map->object_layers), (std::vector<std::string>{"o1", "o2"}));
    EXPECT_EQ(map->tile_layer_count, 3);
    EXPECT_EQ(map->object_layer_count, 2);

    ALLEGRO_MAP_LAYER *t1 = al_get_layer_for_name(map, "t1");
    EXPECT_EQ(t1->type, TILED_TILE_LAYER);
    EXPECT_TRUE(al_get_layer_visible(t1));
    EXPECT_FLOAT_EQ(al_get_layer_opacity(t1), 1.0f);
    ALLEGRO_MAP_LAYER *t2 = al_get_layer_for_name(map, "t2");
    EXPECT_FALSE(al_get_layer_visible(t2));
    EXPECT_FLOAT_EQ(al_get_layer_opacity(t2), 0.5f);
    ALLEGRO_MAP_LAYER *o2 = al_get_layer_for_name(map, "o2");
    EXPECT_EQ(o2->type, TILED_OBJECT_LAYER);
    EXPECT_FALSE(al_get_layer_visible(o2));
    EXPECT_FLOAT_EQ(al_get_layer_opacity(o2), 0.25f);
    EXPECT_EQ(al_get_layer_width(o2), 0);
    EXPECT_EQ(o2->data, nullptr);
    // "yes" reads as 0: hidden. Opacity is kept within 0 to 1.
    ALLEGRO_MAP_LAYER *t3 = al_get_layer_for_name(map, "t3");
    EXPECT_FALSE(al_get_layer_visible(t3));
    EXPECT_FLOAT_EQ(al_get_layer_opacity(t3), 1.0f);
    EXPECT_EQ(al_get_layer_width(t3), 2);
    EXPECT_EQ(al_get_layer_height(t3), 1);
    EXPECT_EQ(al_get_layer_for_name(map, "inner"), nullptr);
    EXPECT_EQ(al_get_layer_for_name(map, "img"), nullptr);
    al_free_map(map);
}

TEST(Objects, IdsSizesAndBitmaps)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 4, 1, 32, 32);
    std::string objects =
        "<objectgroup name=\"events\">\n"
        " <object id=\"3\" name=\"door\" type=\"warp\" x=\"10.7\" y=\"20\" width=\"64\" height=\"16\">\n"
        "  <properties><property name=\"touchCall\" value=\"go\"/></properties>\n"
        "  <polygon points=\"0,0 1,1\"/>\n"
        " </object>\n"
        " <object name=\"plain\" x=\"-5\" y=\"7\" width=\"12\" height=\"9\" visible=\"0\"/>\n"
        " <object id=\"2\" x=\"1\" y=\"2\"/>\n"
        " <object id=\"99\" gid=\"1\"/>\n"
        "</objectgroup>\n";
    std::string text = tmx(kMap3x2, tileset_xml(1, "a.png", 32, 32, 128, 32) +
                                         layer_xml("L", 3, 2, "encoding=\"csv\"", "3") + objects);
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    int count = -1;
    ALLEGRO_MAP_OBJECT **all = al_get_objects(al_get_layer_for_name(map, "events"), &count);
    ASSERT_EQ(count, 4);

    ALLEGRO_MAP_OBJECT *door = all[0];
    EXPECT_STREQ(al_get_object_name(door), "door");
    EXPECT_STREQ(al_get_object_type(door), "warp");
    EXPECT_EQ(al_get_object_gid(door), 3);
    EXPECT_EQ(al_get_object_x(door), 10);
    EXPECT_EQ(al_get_object_y(door), 20);
    EXPECT_EQ(al_get_object_width(door), 32);  // a gid gives the tile size
    EXPECT_EQ(al_get_object_height(door), 32);
    EXPECT_TRUE(al_get_object_visible(door));
    EXPECT_EQ(door->bitmap, al_get_tile_for_id(map, 3)->bitmap);
    EXPECT_NE(door->bitmap, nullptr);
    EXPECT_STREQ(al_get_object_property(door, "touchCall", ""), "go");
    EXPECT_EQ(door->layer, al_get_layer_for_name(map, "events"));

    ALLEGRO_MAP_OBJECT *plain = all[1];
    EXPECT_EQ(al_get_object_gid(plain), 0);
    int x, y, w, h;
    al_get_object_pos(plain, &x, &y);
    al_get_object_dims(plain, &w, &h);
    EXPECT_EQ(x, -5);
    EXPECT_EQ(y, 7);
    EXPECT_EQ(w, 12);
    EXPECT_EQ(h, 9);
    EXPECT_FALSE(al_get_object_visible(plain));
    EXPECT_EQ(plain->bitmap, nullptr);
    EXPECT_EQ(al_get_object_name(all[2]), nullptr);
    EXPECT_EQ(al_get_object_type(all[2]), nullptr);

    // Tile 2 has no record: no bitmap, but the tile size all the same.
    EXPECT_EQ(all[2]->bitmap, nullptr);
    EXPECT_EQ(al_get_object_width(all[2]), 32);
    EXPECT_EQ(all[3]->bitmap, nullptr);
    al_free(all);
    al_free_map(map);
}

TEST(Properties, ValuesTextsAndDuplicates)
{
    TempDir dir;
    std::string props =
        "<properties>\n"
        " <property name=\"exitNorth\" value=\"north.tmx\"/>\n"
        " <property name=\"text\">line 1\nline 2</property>\n"
        " <property name=\"dup\" value=\"first\"/>\n"
        " <property value=\"nameless\"/>\n"
        " <property name=\"dup\" value=\"second\"/>\n"
        " <property name=\"empty\" value=\"\"/>\n"
        "</properties>\n";
    std::string text = tmx(kMap3x2, props + "<layer name=\"L\" width=\"1\" height=\"1\">"
                                            "<properties><property name=\"k\" value=\"layer\"/></properties></layer>"
                                            "<objectgroup name=\"o\"><object id=\"1\" x=\"0\" y=\"0\">"
                                            "<properties><property name=\"k\">object</property></properties>"
                                            "</object></objectgroup>");
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(al_get_map_property(map, "exitNorth", ""), "north.tmx");
    EXPECT_STREQ(al_get_map_property(map, "text", ""), "line 1\nline 2");
    EXPECT_STREQ(al_get_map_property(map, "dup", ""), "first");
    EXPECT_STREQ(al_get_map_property(map, "empty", "default"), "");
    EXPECT_EQ(g_hash_table_size(map->properties), 4u);
    const char *def = "0";
    EXPECT_EQ(al_get_map_property(map, "missing", def), def);
    EXPECT_STREQ(static_cast<const char *>(g_hash_table_lookup(al_get_layer_for_name(map, "L")->properties, "k")),
                 "layer");
    EXPECT_STREQ(al_get_object_property(al_get_object_for_name(map, nullptr), "k", ""), "");
    int count;
    ALLEGRO_MAP_OBJECT **objects = al_get_objects(al_get_layer_for_name(map, "o"), &count);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(al_get_object_property(objects[0], "k", ""), "object");
    al_free(objects);
    al_free_map(map);
}

// ---- refused maps and failures --------------------------------------------------------

namespace {

// Loads a map that must be refused: null, the message, the working directory
// as before, and nothing of Allegro's left allocated.
void expect_refused(const std::string &text, const std::string &message)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);
    dir.write("m.tmx", text);
    std::string before = current_directory();
    std::string messages;
    ALLEGRO_MAP *map;
    {
        AllocationWatch watch;
        StderrCapture capture;
        map = al_open_map(dir.path().c_str(), "m.tmx");
        messages = capture.text();
        EXPECT_EQ(watch.live(), 0u) << text;
    }
    EXPECT_EQ(map, nullptr) << text;
    al_free_map(map);
    EXPECT_NE(messages.find(message), std::string::npos) << "wanted: " << message << "got: " << messages;
    EXPECT_EQ(current_directory(), before);
}

const std::string kTileset = tileset_xml(1, "a.png", 16, 16, 32, 32);

}  // namespace

TEST(Refused, MapSizeAttributes)
{
    const std::string content = kTileset + layer_xml("L", 1, 1, "encoding=\"csv\"", "1");
    expect_refused(tmx("height=\"2\" tilewidth=\"16\" tileheight=\"16\"", content),
                   "Error: map m.tmx: \"width\" is missing or not above 0\n");
    expect_refused(tmx("width=\"2\" height=\"0\" tilewidth=\"16\" tileheight=\"16\"", content),
                   "Error: map m.tmx: \"height\" is missing or not above 0\n");
    expect_refused(tmx("width=\"2\" height=\"2\" tilewidth=\"-16\" tileheight=\"16\"", content),
                   "Error: map m.tmx: \"tilewidth\" is missing or not above 0\n");
    expect_refused(tmx("width=\"2\" height=\"2\" tilewidth=\"16\" tileheight=\"x\"", content),
                   "Error: map m.tmx: \"tileheight\" is missing or not above 0\n");
}

TEST(Refused, LayerSizes)
{
    expect_refused(tmx(kMap3x2, kTileset + layer_xml("L", 2, 2, "encoding=\"csv\"", "1") +
                                    layer_xml("bad", -1, 3, "encoding=\"csv\"", "1")),
                   "Error: map m.tmx: layer 'bad' has a negative size (-1 x 3)\n");
    expect_refused(tmx(kMap3x2, kTileset + "<objectgroup name=\"o\"><object id=\"1\" x=\"0\" y=\"0\"/></objectgroup>" +
                                    layer_xml("huge", 65536, 65536, "encoding=\"csv\"", "1") +
                                    layer_xml("L", 2, 2, "encoding=\"csv\"", "1")),
                   "Error: map m.tmx: layer 'huge' is too large (65536 x 65536 cells)\n");
    expect_refused(tmx(kMap3x2, "<layer name=\"big\" width=\"99999999999\" height=\"2\"/>"),
                   "Error: map m.tmx: layer 'big' is too large (2147483647 x 2 cells)\n");
    // A few bytes must not ask for gigabytes of cells: above 8192 x 8192
    // cells a layer is refused even when its size fits an int.
    expect_refused(tmx(kMap3x2, "<layer name=\"long\" width=\"2147483647\" height=\"1\"/>"),
                   "Error: map m.tmx: layer 'long' is too large (2147483647 x 1 cells)\n");
    expect_refused(tmx("width=\"40000\" height=\"40000\" tilewidth=\"16\" tileheight=\"16\"",
                       "<layer name=\"wide\" width=\"40000\" height=\"40000\"/>"),
                   "Error: map m.tmx: layer 'wide' is too large (40000 x 40000 cells)\n");
    expect_refused(tmx(kMap3x2, kTileset + layer_xml("over", 8193, 8192, "encoding=\"csv\"", "1")),
                   "Error: map m.tmx: layer 'over' is too large (8193 x 8192 cells)\n");
}

TEST(Layers, SizesUpToTheLimitLoad)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);
    // The largest layer allowed: the cells that the data gives, the rest empty.
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", tmx("orientation=\"orthogonal\" width=\"8192\" height=\"8192\" "
                                                   "tilewidth=\"16\" tileheight=\"16\"",
                                                   kTileset + layer_xml("L", 8192, 8192, "encoding=\"csv\"", "1,2")));
    ASSERT_NE(map, nullptr);
    ALLEGRO_MAP_LAYER *layer = al_get_layer_for_name(map, "L");
    EXPECT_EQ(lookup_tile(layer, 0, 0), 1u);
    EXPECT_EQ(lookup_tile(layer, 1, 0), 2u);
    EXPECT_EQ(lookup_tile(layer, 2, 0), 0u);
    EXPECT_EQ(lookup_tile(layer, 8191, 8191), 0u);
    EXPECT_NE(al_get_tile_for_id(map, 2), nullptr);
    EXPECT_EQ(g_hash_table_size(map->tiles), 2u);
    al_free_map(map);

    // A layer larger than its map keeps its own size (the editor saves such
    // files as they are); cells past the map are simply never drawn.
    map = open_text(dir, "m.tmx", tmx(kMap3x2, kTileset + layer_xml("L", 4, 3, "encoding=\"csv\"",
                                                                    "1,1,1,1,1,1,1,1,1,1,1,4")));
    ASSERT_NE(map, nullptr);
    layer = al_get_layer_for_name(map, "L");
    EXPECT_EQ(al_get_layer_width(layer), 4);
    EXPECT_EQ(al_get_layer_height(layer), 3);
    EXPECT_EQ(lookup_tile(layer, 3, 2), 4u);
    EXPECT_NE(al_get_tile_for_id(map, 4)->bitmap, nullptr);
    al_free_map(map);
}

TEST(Refused, UnreadableFiles)
{
    TempDir dir;
    dir.write("bad.tmx", "this is not XML at all");
    std::string before = current_directory();
    {
        StderrCapture capture;
        EXPECT_EQ(al_open_map(dir.path().c_str(), "bad.tmx"), nullptr);
        EXPECT_NE(capture.text().find("Error: failed to parse map data: bad.tmx\n"), std::string::npos);
    }
    EXPECT_EQ(current_directory(), before);
    {
        StderrCapture capture;
        EXPECT_EQ(al_open_map(dir.path().c_str(), "absent.tmx"), nullptr);
        EXPECT_NE(capture.text().find("Error: failed to parse map data: absent.tmx\n"), std::string::npos);
    }
    EXPECT_EQ(current_directory(), before);
    {
        std::string missing = dir.file("no/such/folder");
        StderrCapture capture;
        EXPECT_EQ(al_open_map(missing.c_str(), "m.tmx"), nullptr);
        EXPECT_NE(capture.text().find("Error: failed to cd into `" + missing + "/` in al_open_map().\n"),
                  std::string::npos);
    }
    EXPECT_EQ(current_directory(), before);
    {
        StderrCapture capture;
        EXPECT_EQ(al_open_map(nullptr, "m.tmx"), nullptr);
        EXPECT_NE(capture.text().find("Error:"), std::string::npos);
    }
}

// A named pipe waits for a writer and a device may never end: both count as
// missing, for the map and for its tileset image. A map named "-" or like an
// address is the file of that name, never standard input or the network.
TEST(Refused, PipesDevicesAndNamesThatAreNoFiles)
{
    // A regression waits for ever: end the run instead.
    alarm(30);
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);
    ASSERT_EQ(mkfifo(dir.file("pipe.png").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.png").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.tmx").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.tmx").c_str()), 0);
    std::string text = tmx(kMap3x2, tileset_xml(1, "a.png", 16, 16, 32, 32) +
                                        layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2,3,4,1,2"));
    dir.write("-", text);
    ASSERT_EQ(mkdir(dir.file("http:").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(dir.file("http:/127.0.0.1:9").c_str(), 0700), 0);
    save_tileset(dir.file("http:/127.0.0.1:9/a.png"), 2, 2, 16, 16);
    dir.write("http:/127.0.0.1:9/m.tmx", text);

    // Standard input is a pipe whose writer stays open: reading it would wait.
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    int saved_stdin = dup(0);
    ASSERT_EQ(dup2(ends[0], 0), 0);
    for (const char *name : {"-", "http://127.0.0.1:9/m.tmx"}) {
        StderrCapture capture;
        ALLEGRO_MAP *map = al_open_map(dir.path().c_str(), name);
        std::string messages = capture.text();
        ASSERT_NE(map, nullptr) << name << messages;
        EXPECT_EQ(messages, "") << name;
        EXPECT_NE(al_get_tile_for_id(map, 4)->bitmap, nullptr) << name;
        al_free_map(map);
    }
    ASSERT_EQ(remove(dir.file("-").c_str()), 0);
    for (const char *name : {"-", "pipe.tmx", "zero.tmx"}) {
        StderrCapture capture;
        EXPECT_EQ(al_open_map(dir.path().c_str(), name), nullptr) << name;
        EXPECT_EQ(capture.text(), "Error: failed to parse map data: " + std::string(name) + "\n");
    }
    dup2(saved_stdin, 0);
    close(saved_stdin);
    close(ends[0]);
    close(ends[1]);

    for (const char *image : {"pipe.png", "zero.png"}) {
        StderrCapture capture;
        ALLEGRO_MAP *map = open_text(dir, "m.tmx", tmx(kMap3x2, tileset_xml(1, image, 16, 16, 32, 32) +
                                                                 layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2")));
        EXPECT_EQ(capture.text(), "Error: no bitmap available; did you load the image addon?\n") << image;
        ASSERT_NE(map, nullptr) << image;
        EXPECT_EQ(al_get_tile_for_id(map, 1)->bitmap, nullptr);
        al_free_map(map);
    }
    alarm(0);
}

TEST(Refused, MalformedInputNeverCrashes)
{
    // Each of these loads (or is refused) without a crash and without leaks.
    const std::vector<std::string> texts = {
        tmx(kMap3x2, "<tileset/>" + layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2")),
        tmx(kMap3x2, "<tileset firstgid=\"1\" tilewidth=\"16\" tileheight=\"16\"><image/><tile id=\"x\"/></tileset>" +
                         layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2")),
        tmx(kMap3x2, "<tileset firstgid=\"1\" tilewidth=\"16\" tileheight=\"16\"><image source=\"a.png\"/>"
                     "<tile><properties><property name=\"p\" value=\"v\"/></properties></tile><tile/>"
                     "<tile id=\"\"/></tileset>" +
                         layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2")),
        tmx(kMap3x2, "<tileset firstgid=\"2147483647\" tilewidth=\"16\" tileheight=\"16\">"
                     "<image source=\"a.png\"/><tile id=\"2147483647\"/></tileset>" +
                         layer_xml("L", 3, 2, "encoding=\"csv\"", "2147483647,1073741823")),
        tmx(kMap3x2, "<tileset firstgid=\"-2147483648\" tilewidth=\"16\" tileheight=\"16\">"
                     "<image source=\"a.png\"/></tileset>" +
                         layer_xml("L", 3, 2, "encoding=\"csv\"", "1073741823,5")),
        tmx(kMap3x2, "<layer/><objectgroup><object/><object id=\"99999999999\" x=\"-99999999999\"/></objectgroup>"),
        tmx(kMap3x2, "<layer width=\"3\" height=\"2\"><data encoding=\"\"/></layer>"
                     "<layer width=\"3\" height=\"2\"><data encoding=\"base64\" compression=\"\">AAAA</data></layer>"
                     "<layer width=\"3\" height=\"2\"><data encoding=\"base64\">!!!!</data></layer>"
                     "<layer width=\"3\" height=\"2\"><data><![CDATA[x]]></data></layer>"
                     "<layer width=\"3\" height=\"2\"><data encoding=\"csv\"><![CDATA[1,2,3]]></data></layer>"),
        tmx(kMap3x2 + " infinite=\"1\"", "<layer name=\"L\" width=\"3\" height=\"2\"><data encoding=\"csv\">"
                                          "<chunk x=\"0\" y=\"0\" width=\"16\" height=\"16\">1,2</chunk></data></layer>"),
        tmx(kMap3x2, "<properties><property/><property name=\"a\"/></properties>"),
    };
    TempDir dir;
    save_tileset(dir.file("a.png"), 2, 2, 16, 16);
    std::string before = current_directory();
    for (const std::string &text : texts) {
        AllocationWatch watch;
        StderrCapture capture;
        ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
        EXPECT_NE(map, nullptr) << text << capture.text();
        al_free_map(map);
        EXPECT_EQ(watch.live(), 0u) << text;
    }
    EXPECT_EQ(current_directory(), before);
}

// ---- where maps are looked for ----------------------------------------------------------

TEST(Folders, RelativeToResourcesOrWorkingDirectory)
{
    TempDir dir;
    dir.write("m.tmx", layer_map("encoding=\"csv\"", "1"));
    std::string before = current_directory();
    ASSERT_TRUE(al_change_directory(dir.path().c_str()));

    // Relative to the working directory.
    al_find_resources_as(1);
    ALLEGRO_MAP *map = al_open_map(".", "m.tmx");
    EXPECT_NE(map, nullptr);
    al_free_map(map);
    map = al_open_map("", "m.tmx");
    EXPECT_NE(map, nullptr);
    al_free_map(map);

    // Relative to the program's folder: not there.
    al_find_resources_as(0);
    {
        StderrCapture capture;
        map = al_open_map("no_such_maps_folder", "m.tmx");
        EXPECT_EQ(map, nullptr);
        EXPECT_NE(capture.text().find("Error: failed to cd into `"), std::string::npos);
    }
    // An absolute folder is used as it stands.
    map = al_open_map(dir.path().c_str(), "m.tmx");
    EXPECT_NE(map, nullptr);
    al_free_map(map);

    al_find_resources_as(7);
    {
        StderrCapture capture;
        EXPECT_EQ(al_open_map(dir.path().c_str(), "m.tmx"), nullptr);
        EXPECT_NE(capture.text().find("unexpected value for `resources_rel_to` in al_open_map(): 7\n"),
                  std::string::npos);
    }
    al_find_resources_as(0);
    EXPECT_EQ(current_directory(), dir.path());
    ASSERT_TRUE(al_change_directory(before.c_str()));
}

// ---- release ------------------------------------------------------------------------------

TEST(Release, EverythingGoesAndSubBitmapsFirst)
{
    TempDir dir;
    save_tileset(dir.file("a.png"), 4, 4, 16, 16);
    save_tileset(dir.file("b.png"), 2, 2, 16, 16);
    std::string text = tmx(kMap3x2, "<properties><property name=\"p\" value=\"v\"/></properties>" +
                                         tileset_xml(1, "a.png", 16, 16, 64, 64, "<tile id=\"0\"/>") +
                                         tileset_xml(17, "b.png", 16, 16, 32, 32) +
                                         layer_xml("L", 3, 2, "encoding=\"csv\"", "1,2,17,18,5,6") +
                                         "<objectgroup name=\"o\"><object id=\"2\" x=\"0\" y=\"0\"/></objectgroup>");
    AllocationWatch watch;
    ALLEGRO_MAP *map = open_text(dir, "m.tmx", text);
    ASSERT_NE(map, nullptr);
    std::vector<std::pair<const void *, const void *>> pairs;  // sub-bitmap, its tileset image
    for (GSList *t = map->tilesets; t; t = t->next) {
        auto *tileset = static_cast<ALLEGRO_MAP_TILESET *>(t->data);
        ASSERT_NE(tileset->bitmap, nullptr);
        for (GSList *l = tileset->tiles; l; l = l->next) {
            auto *tile = static_cast<ALLEGRO_MAP_TILE *>(l->data);
            ASSERT_NE(tile->bitmap, nullptr);
            pairs.emplace_back(tile->bitmap, tileset->bitmap);
        }
    }
    EXPECT_EQ(pairs.size(), 6u);
    al_free_map(map);
    EXPECT_EQ(watch.live(), 0u);
    for (const auto &pair : pairs) {
        ASSERT_GE(watch.freed_at(pair.first), 0);
        EXPECT_LT(watch.freed_at(pair.first), watch.freed_at(pair.second));
    }
}
