// The TMX loader on any bytes: the input is the map file. It is opened beside
// its tileset images, looked up, drawn onto a memory bitmap region by region
// and freed; then the map world opens it as a current map, with its objects,
// exits and camera, and draws it as the map scene does.
#include <cstdint>

#include "gamestate.h"
#include "map.h"
#include "object.h"
#include "player.h"
#include "support.h"
#include "system.h"
#include "tiled.h"

namespace {

void lookUp(ALLEGRO_MAP *map)
{
    int count = 0;
    al_free(al_get_tiles(map, 0, 0, &count));
    al_free(al_get_tiles(map, al_get_map_width(map) - 1, al_get_map_height(map) - 1, &count));
    for (GSList *l = map->layers; l; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = static_cast<ALLEGRO_MAP_LAYER *>(l->data);
        ALLEGRO_MAP_TILE *tile = al_get_single_tile(map, layer, 1, 1);
        al_get_tile_property(tile, "block", "0");
        flipped_horizontally(layer, 0, 0);
        ALLEGRO_MAP_OBJECT **objects = al_get_objects(layer, &count);
        for (int i = 0; i < count; i++)
            al_get_object_property(objects[i], "touchCall", "");
        al_free(objects);
        al_free(al_get_objects_for_name(layer, "Sign", &count));
    }
    al_get_object_for_name(map, "Elder");
    al_get_map_property(map, "exitNorth", "");
}

void draw(ALLEGRO_MAP *map)
{
    fuzz::canvas();
    float right = (float)al_get_map_width(map) * (float)al_get_tile_width(map);
    float bottom = (float)al_get_map_height(map) * (float)al_get_tile_height(map);
    const float regions[][2] = {{0, 0}, {-40.5f, -17}, {right - 300, bottom - 200}, {right / 2, bottom / 2}};
    for (const auto &r : regions) {
        al_draw_map_region(map, r[0], r[1], 319, 239, 0, 0, 0);
        for (const char *name : {"BG0", "BG1", "BG2", "events"})
            al_draw_layer_region_for_name(map, name, r[0], r[1], 319, 239, 0, 0, 0);
    }
    al_draw_tinted_map_region(map, al_map_rgba_f(0.5f, 0.5f, 0.5f, 0.5f), 0, 0, 319, 239, 3, 5,
                              ALLEGRO_FLIP_HORIZONTAL);
}

// The player stands beyond each edge in turn, so that every exit the map
// names is taken (and its offset added).
void takeExits()
{
    const int beyond[4][2] = {{0, -1000}, {0, 1 << 20}, {1 << 20, 0}, {-1000, 0}};
    for (const auto &b : beyond) {
        if (!mapObj.tiledMap)
            return;
        object_moveTo(0, b[0], b[1]);
        process_exit(b[0], b[1]);
        _engine_freeze = _engine_transition = false;
    }
}

void playAsCurrentMap()
{
    width = 320;
    height = 240;
    object_create(0, 32, 48, "", 0, 0, 20, 14, 46, 2, true, true);
    if (load_map("fuzz.tmx")) {
        mapObj.fileName = "fuzz.tmx";
        fuzz::canvas();
        map_draw();
        setScroll(1 << 30, 1 << 30);
        scrollMapX(-7);
        scrollMapY(5);
        map_draw();
        map_getTileCollision(40, 40);
        map_getTileStepSound(-5, 1 << 30);
        takeExits();
    }
    map_destroy();
    gs_reset();
    mapObj = Map();
    for (MapObject &o : mapObjects)
        o = MapObject();
    cache_clearBitmaps();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::setUp();
    fuzz::writeFile("data/maps/fuzz.tmx", data, size);
    ALLEGRO_MAP *map = al_open_map("data/maps", "fuzz.tmx");
    if (!map)
        return 0;
    lookUp(map);
    draw(map);
    al_free_map(map);
    playAsCurrentMap();
    return 0;
}
