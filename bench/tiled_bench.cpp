// Loading speed of the TMX loader: maps of 512² and 1024² cells with four
// tile layers and one tileset of 256 tiles in a paletted PNG, in each
// layer-data coding. al_open_map + al_free_map is timed against the floor:
// the least work any loader reading the whole document must do (parse and
// release the document, decode every layer's cells into 32-bit gids, decode
// the tileset image once). Both are timed in the same run, each as the least
// of several runs; the ratio of the two is the figure to watch.
//
// A second table loads maps with many small tilesets and one layer that uses
// a different gid of each of them, so that every gid needs its tileset found.
//
//   build/bench/tiled_bench [repeats] [floor|tilesets] [coding] [cells per side]
//
// The optional words pick one table and, for the first, one coding and size.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>
#include <glib.h>
#include <libxml/parser.h>
#include <zlib.h>

#include "tiled.h"

namespace {

const int kLayers = 4;
const uint32_t kTiles = 256;

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string compress(const std::string &bytes, bool gzip)
{
    z_stream strm;
    std::memset(&strm, 0, sizeof strm);
    deflateInit2(&strm, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 15 + 16 : 15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&strm, bytes.size()) + 64, '\0');
    strm.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    strm.avail_in = static_cast<uInt>(bytes.size());
    strm.next_out = reinterpret_cast<Bytef *>(&out[0]);
    strm.avail_out = static_cast<uInt>(out.size());
    deflate(&strm, Z_FINISH);
    out.resize(strm.total_out);
    deflateEnd(&strm);
    return out;
}

std::string base64(const std::string &bytes)
{
    gchar *text = g_base64_encode(reinterpret_cast<const guchar *>(bytes.data()), bytes.size());
    std::string result = text;
    g_free(text);
    return result;
}

// The cells of one layer: runs of 16 to 63 equal cells, about a sixth of
// the runs empty, the others one of the 256 gids, a few of them flipped.
std::vector<uint32_t> make_cells(int size, uint32_t &seed)
{
    std::vector<uint32_t> cells(static_cast<size_t>(size) * size);
    size_t i = 0;
    while (i < cells.size()) {
        seed = seed * 1103515245u + 12345u;
        uint32_t r = seed >> 8;
        size_t run = std::min<size_t>(16 + r % 48, cells.size() - i);
        uint32_t cell = (r >> 6) % 6 == 0 ? 0 : 1 + (r >> 9) % kTiles;
        if (cell && (r >> 17) % 10 == 0)
            cell |= 0x80000000u;
        if (cell && (r >> 21) % 20 == 0)
            cell |= 0x40000000u;
        std::fill_n(cells.begin() + static_cast<std::ptrdiff_t>(i), run, cell);
        i += run;
    }
    return cells;
}

// A map of size x size cells with four layers coded as asked, over the
// tileset image "tiles.png".
std::string make_map(int size, const std::string &coding)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<map version=\"1.4\" orientation=\"orthogonal\" width=\"" + std::to_string(size) +
                       "\" height=\"" + std::to_string(size) + "\" tilewidth=\"16\" tileheight=\"16\">\n"
                       " <tileset firstgid=\"1\" name=\"tiles\" tilewidth=\"16\" tileheight=\"16\">\n"
                       "  <image source=\"tiles.png\" width=\"256\" height=\"256\"/>\n"
                       " </tileset>\n";
    uint32_t seed = 12345;
    for (int layer = 0; layer < kLayers; layer++) {
        std::vector<uint32_t> cells = make_cells(size, seed);
        text += " <layer name=\"L" + std::to_string(layer) + "\" width=\"" + std::to_string(size) + "\" height=\"" +
                std::to_string(size) + "\">\n  <data";
        if (coding == "csv") {
            text += " encoding=\"csv\">\n";
            for (size_t i = 0; i < cells.size(); i++) {
                text += std::to_string(cells[i]);
                if (i + 1 < cells.size())
                    text += (i + 1) % size == 0 ? ",\n" : ",";
            }
            text += "\n";
        } else {
            std::string bytes;
            bytes.reserve(cells.size() * 4);
            for (uint32_t cell : cells) {
                for (int b = 0; b < 4; b++)
                    bytes.push_back(static_cast<char>((cell >> (8 * b)) & 0xff));
            }
            if (coding == "base64") {
                text += " encoding=\"base64\">\n";
            } else {
                text += " encoding=\"base64\" compression=\"" + coding + "\">\n";
                bytes = compress(bytes, coding == "gzip");
            }
            text += "   " + base64(bytes) + "\n";
        }
        text += "  </data>\n </layer>\n";
    }
    text += "</map>\n";
    return text;
}

// ---- the PNG of the tileset ---------------------------------------------

void put_be32(std::string &out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

void put_chunk(std::string &out, const char *type, const std::string &body)
{
    put_be32(out, static_cast<uint32_t>(body.size()));
    std::string typed = std::string(type, 4) + body;
    out += typed;
    put_be32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(typed.data()),
                                              static_cast<uInt>(typed.size()))));
}

// An 8-bit paletted PNG of 16 x 16 tiles of 16 pixels: each tile a colour of
// its own with a pattern, so that the image does not compress to nothing.
bool write_tileset_png(const std::string &path)
{
    const int side = 256;
    std::string ihdr;
    put_be32(ihdr, side);
    put_be32(ihdr, side);
    ihdr += std::string("\x08\x03\x00\x00\x00", 5); // depth 8, paletted, deflate, no filter, no interlace
    std::string palette;
    for (int i = 0; i < 256; i++) {
        palette.push_back(static_cast<char>(i * 37 & 0xff));
        palette.push_back(static_cast<char>(i * 91 & 0xff));
        palette.push_back(static_cast<char>(i * 53 & 0xff));
    }
    std::string rows;
    for (int y = 0; y < side; y++) {
        rows.push_back('\0'); // no filter
        for (int x = 0; x < side; x++) {
            int tile = (y / 16) * 16 + x / 16;
            rows.push_back(static_cast<char>((x % 16 + y % 16) % 5 == 0 ? 255 - tile : tile));
        }
    }
    std::string png("\x89PNG\r\n\x1a\n", 8);
    put_chunk(png, "IHDR", ihdr);
    put_chunk(png, "PLTE", palette);
    put_chunk(png, "IDAT", compress(rows, false));
    put_chunk(png, "IEND", "");
    std::ofstream file(path, std::ios::binary);
    file << png;
    return static_cast<bool>(file);
}

// ---- the floor ----------------------------------------------------------

const char *attribute(xmlNode *node, const char *name)
{
    for (xmlAttr *attr = node->properties; attr; attr = attr->next) {
        if (std::strcmp(reinterpret_cast<const char *>(attr->name), name) == 0)
            return attr->children ? reinterpret_cast<const char *>(attr->children->content) : "";
    }
    return nullptr;
}

xmlNode *child_named(xmlNode *node, const char *name)
{
    for (xmlNode *child = node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && std::strcmp(reinterpret_cast<const char *>(child->name), name) == 0)
            return child;
    }
    return nullptr;
}

void csv_cells(const char *p, uint32_t *cells, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        char *end;
        cells[i] = static_cast<uint32_t>(std::strtoul(p, &end, 10));
        p = *end == ',' ? end + 1 : end;
    }
}

// Decodes the base64 text straight into `out`, which has room for it all.
size_t base64_bytes(const char *text, unsigned char *out)
{
    gint state = 0;
    guint save = 0;
    return g_base64_decode_step(text, std::strlen(text), out, &state, &save);
}

// The cells of one layer, as the least a loader must do for them; they are
// added to `layers`, since a loader hands back every layer at once.
bool floor_layer(xmlNode *layer, std::vector<uint32_t *> &layers)
{
    size_t count = std::strtoul(attribute(layer, "width"), nullptr, 10) *
                   std::strtoul(attribute(layer, "height"), nullptr, 10);
    xmlNode *data = child_named(layer, "data");
    const char *text = reinterpret_cast<const char *>(data->children->content);
    const char *encoding = attribute(data, "encoding");
    const char *compression = attribute(data, "compression");
    size_t text_bytes = std::strlen(text) / 4 * 3 + 3;
    uint32_t *cells = static_cast<uint32_t *>(std::malloc(std::max(count * 4, text_bytes)));
    layers.push_back(cells);
    bool ok = true;
    if (std::strcmp(encoding, "csv") == 0) {
        csv_cells(text, cells, count);
    } else if (!compression) {
        ok = base64_bytes(text, reinterpret_cast<unsigned char *>(cells)) >= count * 4;
        for (size_t i = 0; i < count; i++)
            cells[i] = GUINT32_FROM_LE(cells[i]);
    } else {
        std::unique_ptr<unsigned char[]> bytes(new unsigned char[text_bytes]); // not zeroed
        size_t size = base64_bytes(text, bytes.get());
        z_stream strm;
        std::memset(&strm, 0, sizeof strm);
        inflateInit2(&strm, 15 + 32);
        strm.next_in = bytes.get();
        strm.avail_in = static_cast<uInt>(size);
        strm.next_out = reinterpret_cast<Bytef *>(cells);
        strm.avail_out = static_cast<uInt>(count * 4);
        ok = inflate(&strm, Z_FINISH) == Z_STREAM_END && strm.avail_out == 0;
        inflateEnd(&strm);
        for (size_t i = 0; i < count; i++)
            cells[i] = GUINT32_FROM_LE(cells[i]);
    }
    // Keeps the decoding from being optimised away.
    static volatile uint32_t sink;
    sink = cells[count / 2];
    return ok;
}

// The floor for the map file `path` in folder `dir`: false when something in
// it could not be read. Kept out of line so that a profiler shows it apart.
__attribute__((noinline)) bool floor_map(const std::string &dir, const std::string &path)
{
    xmlDoc *doc = xmlReadFile(path.c_str(), nullptr, 0);
    xmlNode *root = doc ? xmlDocGetRootElement(doc) : nullptr;
    bool ok = root != nullptr;
    std::vector<uint32_t *> layers;
    for (xmlNode *node = root ? root->children : nullptr; node && ok; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        if (std::strcmp(reinterpret_cast<const char *>(node->name), "layer") == 0) {
            ok = floor_layer(node, layers);
        } else if (std::strcmp(reinterpret_cast<const char *>(node->name), "tileset") == 0) {
            std::string image = dir + "/" + attribute(child_named(node, "image"), "source");
            ALLEGRO_BITMAP *bitmap = al_load_bitmap(image.c_str());
            ok = bitmap != nullptr;
            if (bitmap)
                al_destroy_bitmap(bitmap);
        }
    }
    xmlFreeDoc(doc);
    for (uint32_t *cells : layers)
        std::free(cells);
    return ok;
}

// A map with `count` tilesets of 4 tiles each (8 x 8 tiles cut from the same
// 16 x 16 image) and one CSV layer of `count` cells, each using a gid of a
// different tileset, in shuffled order. No gid has a declared tile.
std::string make_tileset_map(int count)
{
    const int width = 200;
    int height = (count + width - 1) / width;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<map version=\"1.4\" orientation=\"orthogonal\" width=\"" + std::to_string(width) +
                       "\" height=\"" + std::to_string(height) + "\" tilewidth=\"8\" tileheight=\"8\">\n";
    for (int i = 0; i < count; i++) {
        text += " <tileset firstgid=\"" + std::to_string(1 + 4 * i) + "\" name=\"t" + std::to_string(i) +
                "\" tilewidth=\"8\" tileheight=\"8\"><image source=\"small.bmp\" width=\"16\" height=\"16\"/>"
                "</tileset>\n";
    }
    std::vector<uint32_t> gids(static_cast<size_t>(count));
    for (int i = 0; i < count; i++)
        gids[static_cast<size_t>(i)] = static_cast<uint32_t>(1 + 4 * i + i % 4);
    uint32_t seed = 777;
    for (size_t i = gids.size(); i > 1; i--) {
        seed = seed * 1103515245u + 12345u;
        std::swap(gids[i - 1], gids[(seed >> 8) % i]);
    }
    gids.resize(static_cast<size_t>(width) * height, 0);
    text += " <layer name=\"L\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) +
            "\">\n  <data encoding=\"csv\">\n";
    for (size_t i = 0; i < gids.size(); i++) {
        text += std::to_string(gids[i]);
        if (i + 1 < gids.size())
            text += (i + 1) % width == 0 ? ",\n" : ",";
    }
    text += "\n  </data>\n </layer>\n</map>\n";
    return text;
}

// A plain-coloured image of the given size; its pixels do not matter here.
bool write_image(const std::string &path, int width, int height)
{
    ALLEGRO_BITMAP *image = al_create_bitmap(width, height);
    if (!image)
        return false;
    al_set_target_bitmap(image);
    al_clear_to_color(al_map_rgb(40, 120, 200));
    al_set_target_bitmap(nullptr);
    bool ok = al_save_bitmap(path.c_str(), image);
    al_destroy_bitmap(image);
    return ok;
}

// The best of `repeats` runs of the floor, of al_open_map and of
// al_free_map, in seconds; the floor only when asked for.
struct Timings {
    double floor = 1e9, open = 1e9, release = 1e9;
};

bool time_map(const std::string &dir, const std::string &name, int repeats, bool with_floor, Timings &t)
{
    std::string path = dir + "/" + name;
    for (int r = 0; r < repeats; r++) {
        Clock::time_point start = Clock::now();
        if (with_floor) {
            if (!floor_map(dir, path)) {
                std::fprintf(stderr, "%s: the floor could not read it\n", name.c_str());
                return false;
            }
            t.floor = std::min(t.floor, seconds_since(start));
        }

        start = Clock::now();
        ALLEGRO_MAP *map = al_open_map(dir.c_str(), name.c_str());
        t.open = std::min(t.open, seconds_since(start));
        if (!map) {
            std::fprintf(stderr, "%s did not load\n", name.c_str());
            return false;
        }
        start = Clock::now();
        al_free_map(map);
        t.release = std::min(t.release, seconds_since(start));
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::string table = argc > 2 ? argv[2] : "";
    std::string only_coding = argc > 3 ? argv[3] : "";
    int only_size = argc > 4 ? std::atoi(argv[4]) : 0;
    if (!al_init() || !al_init_image_addon()) {
        std::fprintf(stderr, "Allegro did not start\n");
        return 1;
    }
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);

    std::string pattern = (std::filesystem::temp_directory_path() / "tiled_bench_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    std::string dir = buffer.data();
    if (!write_tileset_png(dir + "/tiles.png")) {
        std::fprintf(stderr, "could not write the tileset image\n");
        return 1;
    }

    // Loader = al_open_map + al_free_map; ratio = loader / floor.
    if (table != "tilesets")
        std::printf("%-6s %-7s %9s %10s %11s %9s %9s %7s\n", "cells", "coding", "file MB", "floor ms", "loader ms",
                "open ms", "free ms", "ratio");
    for (int size : {512, 1024}) {
        for (const char *coding : {"csv", "base64", "zlib", "gzip"}) {
            if (table == "tilesets" || (!only_coding.empty() && only_coding != coding) ||
                (only_size && only_size != size))
                continue;
            std::string name = std::string("map_") + std::to_string(size) + "_" + coding + ".tmx";
            std::string path = dir + "/" + name;
            std::string text = make_map(size, coding);
            std::ofstream(path, std::ios::binary) << text;

            Timings t;
            if (!time_map(dir, name, repeats, true, t))
                return 1;
            double loader = t.open + t.release;
            std::printf("%4d²  %-7s %9.2f %10.2f %11.2f %9.2f %9.2f %7.2f\n", size, coding,
                        text.size() / 1048576.0, t.floor * 1e3, loader * 1e3, t.open * 1e3, t.release * 1e3,
                        loader / t.floor);
            std::fflush(stdout);
            std::filesystem::remove(path);
        }
    }

    if (table == "floor") {
        std::filesystem::remove_all(dir);
        return 0;
    }
    if (!write_image(dir + "/small.bmp", 16, 16)) {
        std::fprintf(stderr, "could not write the small tileset image\n");
        return 1;
    }
    std::printf("\n%-9s %-9s %9s %12s %12s %14s\n", "tilesets", "gids", "file MB", "open ms", "free ms",
                "open us/gid");
    for (int count : {5000, 10000, 20000, 40000}) {
        std::string name = "tilesets_" + std::to_string(count) + ".tmx";
        std::string path = dir + "/" + name;
        std::string text = make_tileset_map(count);
        std::ofstream(path, std::ios::binary) << text;

        Timings t;
        if (!time_map(dir, name, repeats, false, t))
            return 1;
        std::printf("%-9d %-9d %9.2f %12.2f %12.2f %14.2f\n", count, count, text.size() / 1048576.0,
                    t.open * 1e3, t.release * 1e3, t.open * 1e6 / count);
        std::fflush(stdout);
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
