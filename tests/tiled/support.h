// Helpers of the TMX loader tests: temporary folders, small maps and tileset
// images, stderr capture and a watch on Allegro's allocations.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <allegro5/allegro.h>

#include "tiled.h"

namespace tiled_test {

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    void write(const std::string &name, const std::string &text) const;
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

// Everything written to standard error (by any code) while it lives.
class StderrCapture {
public:
    StderrCapture();
    ~StderrCapture();
    // Stops the capture and returns what was written.
    std::string text();

private:
    int saved_fd_ = -1;
    std::string file_;
    bool done_ = false;
    std::string text_;
};

// Records every block that Allegro allocates while it lives, and the order in
// which blocks are freed.
class AllocationWatch {
public:
    AllocationWatch();
    ~AllocationWatch();
    // Blocks allocated under the watch and not yet freed.
    size_t live() const;
    // Position of the block in the order of frees, -1 when it was not freed.
    long freed_at(const void *block) const;
};

std::string current_directory();

// A tileset image of `columns` x `rows` tiles of tw x th pixels. Pixel (px, py)
// of tile index i is opaque (tile_red(i), px * 8, py * 8).
void save_tileset(const std::string &path, int columns, int rows, int tw, int th);
int tile_red(int index);

// Reads the pixel as 8-bit components.
struct Rgba {
    int r, g, b, a;
};
Rgba pixel(ALLEGRO_BITMAP *bitmap, int x, int y);

// The text of a map element with the given attributes, children and
// closing tag.
std::string tmx(const std::string &map_attributes, const std::string &children);
// A "tileset" element with an image.
std::string tileset_xml(int firstgid, const std::string &image, int tw, int th, int image_w, int image_h,
                        const std::string &children = "");
// A "layer" element with the given data attributes and text.
std::string layer_xml(const std::string &name, int w, int h, const std::string &data_attributes,
                      const std::string &data_text, const std::string &layer_attributes = "");

// Cell bytes for base64 layers: 4 bytes a cell, little-endian.
std::string cell_bytes(const std::vector<uint32_t> &cells);
std::string base64(const std::string &bytes);
std::string zlib_compress(const std::string &bytes);
std::string gzip_compress(const std::string &bytes);

// Opens `name` written into `dir`.
ALLEGRO_MAP *open_text(const TempDir &dir, const std::string &name, const std::string &text);

std::vector<uint32_t> layer_cells(ALLEGRO_MAP_LAYER *layer);

}  // namespace tiled_test
