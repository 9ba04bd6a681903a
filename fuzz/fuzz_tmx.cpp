// The TMX loader on any bytes: the input is the map file. It is opened beside
// its tileset images, looked up and drawn onto a memory bitmap region by
// region as the map scene draws it, and freed.
#include <cstdint>

#include "support.h"
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
    return 0;
}
