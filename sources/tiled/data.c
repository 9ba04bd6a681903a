/* Accessors of the map records and their release. */
#include "tiled.h"

int al_get_map_width(ALLEGRO_MAP *map) { return map->width; }
int al_get_map_height(ALLEGRO_MAP *map) { return map->height; }
int al_get_tile_width(ALLEGRO_MAP *map) { return map->tile_width; }
int al_get_tile_height(ALLEGRO_MAP *map) { return map->tile_height; }
const char *al_get_map_orientation(ALLEGRO_MAP *map) { return map->orientation; }

ALLEGRO_MAP_LAYER *al_get_map_layer(ALLEGRO_MAP *map, const char *name)
{
    return al_get_layer_for_name(map, name);
}

int al_get_layer_width(ALLEGRO_MAP_LAYER *layer) { return layer->width; }
int al_get_layer_height(ALLEGRO_MAP_LAYER *layer) { return layer->height; }
float al_get_layer_opacity(ALLEGRO_MAP_LAYER *layer) { return layer->opacity; }
bool al_get_layer_visible(ALLEGRO_MAP_LAYER *layer) { return layer->visible; }
const char *al_get_layer_name(ALLEGRO_MAP_LAYER *layer) { return layer->name; }

int al_get_tile_id(ALLEGRO_MAP_TILE *tile) { return tile->id; }

const char *al_get_object_name(ALLEGRO_MAP_OBJECT *object) { return object->name; }
const char *al_get_object_type(ALLEGRO_MAP_OBJECT *object) { return object->type; }
int al_get_object_gid(ALLEGRO_MAP_OBJECT *object) { return object->gid; }
int al_get_object_x(ALLEGRO_MAP_OBJECT *object) { return object->x; }
int al_get_object_y(ALLEGRO_MAP_OBJECT *object) { return object->y; }

void al_get_object_pos(ALLEGRO_MAP_OBJECT *object, int *x, int *y)
{
    *x = object->x;
    *y = object->y;
}

int al_get_object_width(ALLEGRO_MAP_OBJECT *object) { return object->width; }
int al_get_object_height(ALLEGRO_MAP_OBJECT *object) { return object->height; }

void al_get_object_dims(ALLEGRO_MAP_OBJECT *object, int *width, int *height)
{
    *width = object->width;
    *height = object->height;
}

bool al_get_object_visible(ALLEGRO_MAP_OBJECT *object) { return object->visible; }

static const char *lookup_property(GHashTable *properties, const char *name, const char *def)
{
    if (!properties || !name)
        return def;
    const char *value = g_hash_table_lookup(properties, name);
    return value ? value : def;
}

const char *al_get_map_property(ALLEGRO_MAP *map, const char *name, const char *def)
{
    return map ? lookup_property(map->properties, name, def) : def;
}

const char *al_get_tile_property(ALLEGRO_MAP_TILE *tile, const char *name, const char *def)
{
    return tile ? lookup_property(tile->properties, name, def) : def;
}

const char *al_get_object_property(ALLEGRO_MAP_OBJECT *object, const char *name, const char *def)
{
    return object ? lookup_property(object->properties, name, def) : def;
}

/* ---- release ---------------------------------------------------------- */

static void unref_table(GHashTable *table)
{
    if (table)
        g_hash_table_unref(table);
}

void _al_free_tile(ALLEGRO_MAP_TILE *tile)
{
    if (!tile)
        return;
    unref_table(tile->properties);
    al_destroy_bitmap(tile->bitmap);
    al_free(tile);
}

void _al_free_tileset(ALLEGRO_MAP_TILESET *tileset)
{
    if (!tileset)
        return;
    g_free(tileset->name);
    g_free(tileset->source);
    /* The tiles' bitmaps are sub-bitmaps of the tileset image: they go first. */
    for (GSList *l = tileset->tiles; l; l = l->next)
        _al_free_tile(l->data);
    g_slist_free(tileset->tiles);
    al_destroy_bitmap(tileset->bitmap);
    al_free(tileset);
}

void _al_free_object(ALLEGRO_MAP_OBJECT *object)
{
    if (!object)
        return;
    g_free(object->name);
    g_free(object->type);
    unref_table(object->properties);
    al_free(object);
}

void _al_free_layer(ALLEGRO_MAP_LAYER *layer)
{
    if (!layer)
        return;
    g_free(layer->name);
    if (layer->type == TILED_TILE_LAYER) {
        al_free(layer->data);
    } else {
        for (GSList *l = layer->objects; l; l = l->next)
            _al_free_object(l->data);
    }
    g_slist_free(layer->objects);
    unref_table(layer->properties);
    al_free(layer);
}

void al_free_map(ALLEGRO_MAP *map)
{
    if (!map)
        return;
    g_free(map->orientation);
    for (GSList *l = map->tilesets; l; l = l->next)
        _al_free_tileset(l->data);
    g_slist_free(map->tilesets);
    for (GSList *l = map->layers; l; l = l->next)
        _al_free_layer(l->data);
    g_slist_free(map->layers);
    unref_table(map->tiles);
    unref_table(map->properties);
    g_slist_free(map->tile_layers);
    g_slist_free(map->object_layers);
    al_free(map);
}
