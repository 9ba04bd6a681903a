#include "support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sstream>
#include <unordered_map>

#include <allegro5/allegro_image.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <zlib.h>

namespace tiled_test {

namespace {

// Allegro for every test: memory bitmaps need no display.
class AllegroEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_init_image_addon());
        al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    }
};

::testing::Environment *const allegro_environment =
    ::testing::AddGlobalTestEnvironment(new AllegroEnvironment);

std::string temp_root()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

}  // namespace

TempDir::TempDir()
{
    std::string pattern = temp_root() + "/tiled_test_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    char *made = mkdtemp(buffer.data());
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path_ = made;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string &name, const std::string &text) const
{
    std::ofstream out(file(name), std::ios::binary);
    out << text;
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    return names;
}

StderrCapture::StderrCapture()
{
    char pattern[] = "/tmp/tiled_stderr_XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    file_ = pattern;
    fflush(stderr);
    saved_fd_ = dup(2);
    dup2(fd, 2);
    close(fd);
}

StderrCapture::~StderrCapture()
{
    text();
}

std::string StderrCapture::text()
{
    if (done_)
        return text_;
    done_ = true;
    fflush(stderr);
    dup2(saved_fd_, 2);
    close(saved_fd_);
    std::ifstream in(file_, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    text_ = ss.str();
    std::remove(file_.c_str());
    return text_;
}

// ---- allocation watch ------------------------------------------------------

namespace {

struct WatchState {
    std::unordered_map<void *, bool> live;  // blocks allocated under the watch
    std::unordered_map<const void *, long> freed;
    long frees = 0;
};

WatchState *watch = nullptr;

void note_alloc(void *block)
{
    if (block)
        watch->live[block] = true;
}

void note_free(void *block)
{
    if (!block)
        return;
    watch->live.erase(block);
    watch->freed[block] = watch->frees++;
}

void *watch_malloc(size_t n, int, const char *, const char *)
{
    void *block = std::malloc(n);
    note_alloc(block);
    return block;
}

void watch_free(void *block, int, const char *, const char *)
{
    note_free(block);
    std::free(block);
}

void *watch_realloc(void *block, size_t n, int, const char *, const char *)
{
    void *moved = std::realloc(block, n);
    if (moved || n == 0) {
        bool was_watched = block && watch->live.count(block);
        if (block)
            watch->live.erase(block);
        if (moved && (was_watched || !block))
            note_alloc(moved);
    }
    return moved;
}

void *watch_calloc(size_t count, size_t n, int, const char *, const char *)
{
    void *block = std::calloc(count, n);
    note_alloc(block);
    return block;
}

ALLEGRO_MEMORY_INTERFACE watch_interface = {watch_malloc, watch_free, watch_realloc, watch_calloc};

}  // namespace

AllocationWatch::AllocationWatch()
{
    watch = new WatchState;
    al_set_memory_interface(&watch_interface);
}

AllocationWatch::~AllocationWatch()
{
    al_set_memory_interface(nullptr);
    delete watch;
    watch = nullptr;
}

size_t AllocationWatch::live() const
{
    return watch->live.size();
}

long AllocationWatch::freed_at(const void *block) const
{
    auto it = watch->freed.find(block);
    return it == watch->freed.end() ? -1 : it->second;
}

// ---- files and pixels ----------------------------------------------------------

std::string current_directory()
{
    char *cwd = al_get_current_directory();
    std::string text = cwd ? cwd : "";
    al_free(cwd);
    return text;
}

int tile_red(int index)
{
    return (10 + 20 * index) % 256;
}

void save_tileset(const std::string &path, int columns, int rows, int tw, int th)
{
    ALLEGRO_BITMAP *image = al_create_bitmap(columns * tw, rows * th);
    ASSERT_NE(image, nullptr);
    ALLEGRO_LOCKED_REGION *region = al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_WRITEONLY);
    ASSERT_NE(region, nullptr);
    for (int y = 0; y < rows * th; y++) {
        auto *row = static_cast<unsigned char *>(region->data) + y * region->pitch;
        for (int x = 0; x < columns * tw; x++) {
            int index = (y / th) * columns + x / tw;
            row[4 * x + 0] = static_cast<unsigned char>(tile_red(index));
            row[4 * x + 1] = static_cast<unsigned char>((x % tw) * 8 % 256);
            row[4 * x + 2] = static_cast<unsigned char>((y % th) * 8 % 256);
            row[4 * x + 3] = 255;
        }
    }
    al_unlock_bitmap(image);
    ASSERT_TRUE(al_save_bitmap(path.c_str(), image));
    al_destroy_bitmap(image);
}

Rgba pixel(ALLEGRO_BITMAP *bitmap, int x, int y)
{
    unsigned char r, g, b, a;
    al_unmap_rgba(al_get_pixel(bitmap, x, y), &r, &g, &b, &a);
    return {r, g, b, a};
}

// ---- map texts -------------------------------------------------------------------

std::string tmx(const std::string &map_attributes, const std::string &children)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<map " + map_attributes + ">\n" + children + "</map>\n";
}

std::string tileset_xml(int firstgid, const std::string &image, int tw, int th, int image_w, int image_h,
                        const std::string &children)
{
    std::ostringstream s;
    s << "<tileset firstgid=\"" << firstgid << "\" name=\"ts" << firstgid << "\" tilewidth=\"" << tw
      << "\" tileheight=\"" << th << "\">\n"
      << " <image source=\"" << image << "\" width=\"" << image_w << "\" height=\"" << image_h << "\"/>\n"
      << children << "</tileset>\n";
    return s.str();
}

std::string layer_xml(const std::string &name, int w, int h, const std::string &data_attributes,
                      const std::string &data_text, const std::string &layer_attributes)
{
    std::ostringstream s;
    s << "<layer name=\"" << name << "\" width=\"" << w << "\" height=\"" << h << "\" " << layer_attributes
      << ">\n <data " << data_attributes << ">" << data_text << "</data>\n</layer>\n";
    return s.str();
}

std::string cell_bytes(const std::vector<uint32_t> &cells)
{
    std::string bytes;
    for (uint32_t cell : cells) {
        for (int i = 0; i < 4; i++)
            bytes.push_back(static_cast<char>((cell >> (8 * i)) & 0xff));
    }
    return bytes;
}

std::string base64(const std::string &bytes)
{
    gchar *text = g_base64_encode(reinterpret_cast<const guchar *>(bytes.data()), bytes.size());
    std::string result = text;
    g_free(text);
    return result;
}

static std::string deflate_with(const std::string &bytes, int window_bits)
{
    z_stream strm;
    std::memset(&strm, 0, sizeof strm);
    if (deflateInit2(&strm, 9, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return "";
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

std::string zlib_compress(const std::string &bytes)
{
    return deflate_with(bytes, 15);
}

std::string gzip_compress(const std::string &bytes)
{
    return deflate_with(bytes, 15 + 16);
}

ALLEGRO_MAP *open_text(const TempDir &dir, const std::string &name, const std::string &text)
{
    dir.write(name, text);
    return al_open_map(dir.path().c_str(), name.c_str());
}

std::vector<uint32_t> layer_cells(ALLEGRO_MAP_LAYER *layer)
{
    std::vector<uint32_t> cells;
    for (int y = 0; y < layer->height; y++) {
        for (int x = 0; x < layer->width; x++)
            cells.push_back(lookup_tile(layer, x, y));
    }
    return cells;
}

}  // namespace tiled_test
