// Loading speed of the TMX loader: maps of 128², 512² and 1024² cells with
// four tile layers, in each layer-data coding. Prints the time of al_open_map
// and al_free_map, the nanoseconds per cell (all four layers counted) and how
// al_open_map compares with libxml2 alone reading the same file.
//
// A second table loads maps with many small tilesets and one layer that uses
// a different gid of each of them, so that every gid needs its tileset found.
//
//   build/bench/tiled_bench [repeats]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// A map of size x size cells: four layers of pseudo-random gids 0 to 84
// (about a fifth empty, a few flipped), coded as asked.
std::string make_map(int size, const std::string &coding)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<map version=\"1.4\" orientation=\"orthogonal\" width=\"" + std::to_string(size) +
                       "\" height=\"" + std::to_string(size) + "\" tilewidth=\"32\" tileheight=\"32\">\n"
                       " <tileset firstgid=\"1\" name=\"tiles\" tilewidth=\"32\" tileheight=\"32\">\n"
                       "  <image source=\"tiles.png\" width=\"448\" height=\"192\"/>\n"
                       " </tileset>\n";
    uint32_t seed = 12345;
    for (int layer = 0; layer < kLayers; layer++) {
        std::vector<uint32_t> cells(static_cast<size_t>(size) * size);
        for (uint32_t &cell : cells) {
            seed = seed * 1103515245u + 12345u;
            uint32_t r = seed >> 8;
            cell = r % 5 == 0 ? 0 : 1 + r % 84;
            if (cell && r % 97 == 0)
                cell |= 0x80000000u;
        }
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

// The best of `repeats` runs of libxml2 alone reading the map file, of
// al_open_map and of al_free_map, in seconds.
struct Timings {
    double xml = 1e9, open = 1e9, release = 1e9;
};

bool time_map(const std::string &dir, const std::string &name, int repeats, Timings &t)
{
    std::string path = dir + "/" + name;
    for (int r = 0; r < repeats; r++) {
        Clock::time_point start = Clock::now();
        xmlDoc *doc = xmlReadFile(path.c_str(), nullptr, 0);
        xmlFreeDoc(doc);
        t.xml = std::min(t.xml, seconds_since(start));

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
    int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
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
    // The 448 x 192 tileset image (14 x 6 tiles).
    if (!write_image(dir + "/tiles.png", 448, 192)) {
        std::fprintf(stderr, "could not write the tileset image\n");
        return 1;
    }

    std::printf("%-6s %-7s %9s %10s %12s %12s %12s %9s\n", "cells", "coding", "file MB", "xml ms", "open ms",
                "free ms", "open ns/cell", "open/xml");
    for (int size : {128, 512, 1024}) {
        for (const char *coding : {"csv", "base64", "zlib", "gzip"}) {
            std::string name = std::string("map_") + std::to_string(size) + "_" + coding + ".tmx";
            std::string path = dir + "/" + name;
            std::string text = make_map(size, coding);
            std::ofstream(path, std::ios::binary) << text;

            Timings t;
            if (!time_map(dir, name, repeats, t))
                return 1;
            double cells = static_cast<double>(size) * size * kLayers;
            std::printf("%4d²  %-7s %9.2f %10.2f %12.2f %12.2f %12.1f %9.2f\n", size, coding,
                        text.size() / 1048576.0, t.xml * 1e3, t.open * 1e3, t.release * 1e3, t.open * 1e9 / cells,
                        t.open / t.xml);
            std::fflush(stdout);
            std::filesystem::remove(path);
        }
    }

    if (!write_image(dir + "/small.bmp", 16, 16)) {
        std::fprintf(stderr, "could not write the small tileset image\n");
        return 1;
    }
    std::printf("\n%-9s %-9s %9s %10s %12s %12s %14s\n", "tilesets", "gids", "file MB", "xml ms", "open ms",
                "free ms", "open us/gid");
    for (int count : {5000, 10000, 20000, 40000}) {
        std::string name = "tilesets_" + std::to_string(count) + ".tmx";
        std::string path = dir + "/" + name;
        std::string text = make_tileset_map(count);
        std::ofstream(path, std::ios::binary) << text;

        Timings t;
        if (!time_map(dir, name, repeats, t))
            return 1;
        std::printf("%-9d %-9d %9.2f %10.2f %12.2f %12.2f %14.2f\n", count, count, text.size() / 1048576.0,
                    t.xml * 1e3, t.open * 1e3, t.release * 1e3, t.open * 1e6 / count);
        std::fflush(stdout);
        std::filesystem::remove(path);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
