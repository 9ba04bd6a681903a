#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <allegro5/allegro_font.h>
#include <allegro5/allegro_image.h>
#include <allegro5/allegro_ttf.h>

#include "tiled.h"

namespace fs = std::filesystem;

namespace fuzz {

static std::string folder;

static void removeFolder()
{
    std::error_code ignored;
    if (!folder.empty())
        fs::remove_all(folder, ignored);
}

// A tileset image of coloured 32-pixel tiles, so that drawn tiles differ.
static void saveTileset(const std::string &path, int columns, int rows)
{
    ALLEGRO_BITMAP *image = al_create_bitmap(columns * 32, rows * 32);
    if (!image)
        return;
    ALLEGRO_BITMAP *old = al_get_target_bitmap();
    al_set_target_bitmap(image);
    for (int i = 0; i < columns * rows; i++) {
        int x = i % columns * 32, y = i / columns * 32;
        ALLEGRO_COLOR colour = al_map_rgba(i * 37 % 256, i * 91 % 256, i * 13 % 256, i % 5 ? 255 : 128);
        for (int py = 0; py < 32; py++)
            for (int px = 0; px < 32; px++)
                al_put_pixel(x + px, y + py, colour);
    }
    al_set_target_bitmap(old);
    al_save_bitmap(path.c_str(), image);
    al_destroy_bitmap(image);
}

static void makeFolder()
{
    char pattern[] = "/tmp/vemra-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("fuzz: no temporary folder");
        abort();
    }
    folder = pattern;
    atexit(removeFolder);
    fs::path root(folder);
    std::error_code ignored;
    fs::create_directories(root / "data" / "maps");
    fs::path game = fs::path(VEMRA_SOURCE_DIR) / "game" / "gfx";
    if (fs::is_directory(game))
        fs::copy(game, root / "gfx", fs::copy_options::recursive, ignored);
    fs::create_directories(root / "gfx" / "tilesets");
    if (!fs::exists(root / "gfx" / "tilesets" / "world.png"))
        saveTileset((root / "gfx" / "tilesets" / "world.png").string(), 8, 14);
    saveTileset((root / "data" / "maps" / "tiles.png").string(), 4, 4);
    if (chdir(folder.c_str()) != 0) {
        perror("fuzz: cannot enter the game folder");
        abort();
    }
}

void setUp()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (!al_install_system(ALLEGRO_VERSION_INT, atexit) || !al_init_image_addon() || !al_init_font_addon() ||
        !al_init_ttf_addon()) {
        fputs("fuzz: Allegro did not start\n", stderr);
        abort();
    }
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP | ALLEGRO_MIN_LINEAR | ALLEGRO_MAG_LINEAR);
    makeFolder();
    al_find_resources_as(1);
}

void writeFile(const std::string &path, const uint8_t *data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
}

void writeFile(const std::string &path, const std::string &text)
{
    writeFile(path, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

ALLEGRO_BITMAP *canvas()
{
    static ALLEGRO_BITMAP *bitmap = nullptr;
    if (!bitmap)
        bitmap = al_create_bitmap(40, 30);
    al_set_target_bitmap(bitmap);
    al_clear_to_color(al_map_rgb(0, 0, 0));
    return bitmap;
}

} // namespace fuzz
