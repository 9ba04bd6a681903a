/* Cell, tile, object and name lookups over a loaded map. */
#include <string.h>

#include "tiled.h"

static bool same_name(const char *a, const char *b)
{
    return a && b && strcmp(a, b) == 0;
}

uint32_t lookup_tile(ALLEGRO_MAP_LAYER *layer, int x, int y)
{
    if (!layer || !layer->data || x < 0 || y < 0 || x >= layer->width || y >= layer->height)
        return 0;
    return layer->data[(size_t)x + (size_t)y * (size_t)layer->width];
}

int al_get_single_tile_id(ALLEGRO_MAP_LAYER *layer, int x, int y)
{
    if (!layer || layer->type != TILED_TILE_LAYER)
        return 0;
    return (int)(lookup_tile(layer, x, y) & ~TILED_FLIP_BITS);
}

ALLEGRO_MAP_TILE *al_get_tile_for_id(ALLEGRO_MAP *map, int id)
{
    if (id == 0 || !map || !map->tiles)
        return NULL;
    return g_hash_table_lookup(map->tiles, GINT_TO_POINTER(id));
}

ALLEGRO_MAP_TILE *al_get_single_tile(ALLEGRO_MAP *map, ALLEGRO_MAP_LAYER *layer, int x, int y)
{
    return al_get_tile_for_id(map, al_get_single_tile_id(layer, x, y));
}

bool flipped_horizontally(ALLEGRO_MAP_LAYER *layer, int x, int y)
{
    return (lookup_tile(layer, x, y) & TILED_FLIPPED_HORIZONTALLY) != 0;
}

bool flipped_vertically(ALLEGRO_MAP_LAYER *layer, int x, int y)
{
    return (lookup_tile(layer, x, y) & TILED_FLIPPED_VERTICALLY) != 0;
}

ALLEGRO_MAP_TILE **al_get_tiles(ALLEGRO_MAP *map, int x, int y, int *count)
{
    *count = 0;
    if (map->tile_layer_count <= 0)
        return NULL;
    ALLEGRO_MAP_TILE **tiles = al_malloc(sizeof *tiles * (size_t)map->tile_layer_count);
    if (!tiles)
        return NULL;
    int i = 0;
    for (GSList *l = map->tile_layers; l && i < map->tile_layer_count; l = l->next)
        tiles[i++] = al_get_single_tile(map, l->data, x, y);
    *count = i;
    return tiles;
}

ALLEGRO_MAP_OBJECT **al_get_objects(ALLEGRO_MAP_LAYER *layer, int *count)
{
    *count = 0;
    if (!layer || layer->type != TILED_OBJECT_LAYER || layer->object_count <= 0)
        return NULL;
    ALLEGRO_MAP_OBJECT **objects = al_malloc(sizeof *objects * (size_t)layer->object_count);
    if (!objects)
        return NULL;
    int i = 0;
    for (GSList *l = layer->objects; l && i < layer->object_count; l = l->next)
        objects[i++] = l->data;
    *count = i;
    return objects;
}

ALLEGRO_MAP_OBJECT **al_get_objects_for_name(ALLEGRO_MAP_LAYER *layer, const char *name, int *count)
{
    *count = 0;
    if (!layer || layer->type != TILED_OBJECT_LAYER)
        return NULL;
    GSList *matches = NULL;
    int n = 0;
    for (GSList *l = layer->objects; l; l = l->next) {
        ALLEGRO_MAP_OBJECT *object = l->data;
        if (same_name(object->name, name)) {
            matches = g_slist_prepend(matches, object);
            n++;
        }
    }
    ALLEGRO_MAP_OBJECT **objects = n > 0 ? al_malloc(sizeof *objects * (size_t)n) : NULL;
    if (objects) {
        int i = 0;
        for (GSList *l = matches; l; l = l->next)
            objects[i++] = l->data;
        *count = n;
    }
    g_slist_free(matches);
    return objects;
}

ALLEGRO_MAP_LAYER *al_get_layer_for_name(ALLEGRO_MAP *map, const char *name)
{
    if (!map)
        return NULL;
    for (GSList *l = map->layers; l; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = l->data;
        if (same_name(layer->name, name))
            return layer;
    }
    return NULL;
}

ALLEGRO_MAP_OBJECT *al_get_object_for_name(ALLEGRO_MAP *map, const char *name)
{
    if (!map)
        return NULL;
    for (GSList *l = map->object_layers; l; l = l->next) {
        ALLEGRO_MAP_LAYER *layer = l->data;
        for (GSList *o = layer->objects; o; o = o->next) {
            ALLEGRO_MAP_OBJECT *object = o->data;
            if (same_name(object->name, name))
                return object;
        }
    }
    return NULL;
}
