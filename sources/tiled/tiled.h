/*
 * The TMX map loader: maps saved by the Tiled editor, read into plain records,
 * looked up by cell, name and property, and drawn layer by layer.
 *
 * Records are allocated with al_malloc, lists are GSLists and tables are
 * GHashTables. A map comes from al_open_map and goes with al_free_map, which
 * releases everything reachable from it.
 *
 * A layer cell holds a gid (0: no tile) with two flip bits: bit 31 draws the
 * tile flipped horizontally, bit 30 vertically. The tile id of a cell is the
 * cell with those two bits cleared.
 */
#ifndef VEMRA_TILED_H
#define VEMRA_TILED_H

#include <stdbool.h>
#include <stdint.h>

#include <allegro5/allegro.h>
#include <glib.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TILED_FLIPPED_HORIZONTALLY 0x80000000u
#define TILED_FLIPPED_VERTICALLY 0x40000000u
#define TILED_FLIP_BITS (TILED_FLIPPED_HORIZONTALLY | TILED_FLIPPED_VERTICALLY)

typedef struct _ALLEGRO_MAP ALLEGRO_MAP;
typedef struct _ALLEGRO_MAP_TILESET ALLEGRO_MAP_TILESET;
typedef struct _ALLEGRO_MAP_TILE ALLEGRO_MAP_TILE;
typedef struct _ALLEGRO_MAP_LAYER ALLEGRO_MAP_LAYER;
typedef struct _ALLEGRO_MAP_OBJECT ALLEGRO_MAP_OBJECT;

/* Layer types. */
#define TILED_TILE_LAYER 0
#define TILED_OBJECT_LAYER 1

struct _ALLEGRO_MAP {
    int width;              /* in tiles */
    int height;
    int tile_width;         /* in pixels */
    int tile_height;
    char *orientation;      /* may be null */
    GSList *layers;         /* every layer in document order; owned */
    GSList *tile_layers;    /* borrowed from layers */
    GSList *object_layers;  /* borrowed from layers */
    GSList *tilesets;       /* document order; owned */
    int tile_layer_count;
    int object_layer_count;
    GHashTable *tiles;      /* gid -> ALLEGRO_MAP_TILE, borrowed from the tilesets */
    GHashTable *properties; /* string -> string */
};

struct _ALLEGRO_MAP_TILESET {
    int firstgid;
    int tilewidth;
    int tileheight;
    int width;              /* image size as declared in the map file */
    int height;
    char *name;             /* may be null */
    char *source;           /* image path as written in the map file; "" without image */
    ALLEGRO_BITMAP *bitmap; /* may be null */
    GSList *tiles;          /* owned */
};

struct _ALLEGRO_MAP_TILE {
    int id;                       /* gid */
    ALLEGRO_MAP_TILESET *tileset; /* borrowed */
    GHashTable *properties;
    ALLEGRO_BITMAP *bitmap;       /* sub-bitmap of the tileset image; may be null */
};

struct _ALLEGRO_MAP_LAYER {
    int type;          /* TILED_TILE_LAYER or TILED_OBJECT_LAYER */
    int width;         /* in cells; 0 for an object layer */
    int height;
    float opacity;
    bool visible;
    char *name;        /* may be null */
    uint32_t *data;    /* width * height cells, row-major; null for an object layer */
    GSList *objects;   /* object layer: document order; owned */
    int object_count;
    GHashTable *properties;
};

struct _ALLEGRO_MAP_OBJECT {
    ALLEGRO_MAP_LAYER *layer; /* borrowed */
    char *name;               /* may be null */
    char *type;               /* may be null */
    int gid;                  /* the object's "id" in the map file, 0 when absent */
    int x;
    int y;
    int width;
    int height;
    bool visible;
    ALLEGRO_BITMAP *bitmap;   /* borrowed from the tile of gid `gid`; may be null */
    GHashTable *properties;
};

/* ---- accessors and release (data) ---------------------------------- */

int al_get_map_width(ALLEGRO_MAP *map);
int al_get_map_height(ALLEGRO_MAP *map);
int al_get_tile_width(ALLEGRO_MAP *map);
int al_get_tile_height(ALLEGRO_MAP *map);
const char *al_get_map_orientation(ALLEGRO_MAP *map);
ALLEGRO_MAP_LAYER *al_get_map_layer(ALLEGRO_MAP *map, const char *name);

int al_get_layer_width(ALLEGRO_MAP_LAYER *layer);
int al_get_layer_height(ALLEGRO_MAP_LAYER *layer);
float al_get_layer_opacity(ALLEGRO_MAP_LAYER *layer);
bool al_get_layer_visible(ALLEGRO_MAP_LAYER *layer);
const char *al_get_layer_name(ALLEGRO_MAP_LAYER *layer);

int al_get_tile_id(ALLEGRO_MAP_TILE *tile);

const char *al_get_object_name(ALLEGRO_MAP_OBJECT *object);
const char *al_get_object_type(ALLEGRO_MAP_OBJECT *object);
int al_get_object_gid(ALLEGRO_MAP_OBJECT *object);
int al_get_object_x(ALLEGRO_MAP_OBJECT *object);
int al_get_object_y(ALLEGRO_MAP_OBJECT *object);
void al_get_object_pos(ALLEGRO_MAP_OBJECT *object, int *x, int *y);
int al_get_object_width(ALLEGRO_MAP_OBJECT *object);
int al_get_object_height(ALLEGRO_MAP_OBJECT *object);
void al_get_object_dims(ALLEGRO_MAP_OBJECT *object, int *width, int *height);
bool al_get_object_visible(ALLEGRO_MAP_OBJECT *object);

/* The stored value, or `def` itself when the record is null or has no such
 * property. */
const char *al_get_map_property(ALLEGRO_MAP *map, const char *name, const char *def);
const char *al_get_tile_property(ALLEGRO_MAP_TILE *tile, const char *name, const char *def);
const char *al_get_object_property(ALLEGRO_MAP_OBJECT *object, const char *name, const char *def);

void al_free_map(ALLEGRO_MAP *map);
void _al_free_tileset(ALLEGRO_MAP_TILESET *tileset);
void _al_free_tile(ALLEGRO_MAP_TILE *tile);
void _al_free_layer(ALLEGRO_MAP_LAYER *layer);
void _al_free_object(ALLEGRO_MAP_OBJECT *object);

/* ---- cell, tile, object and name lookups (map) --------------------- */

uint32_t lookup_tile(ALLEGRO_MAP_LAYER *layer, int x, int y);
int al_get_single_tile_id(ALLEGRO_MAP_LAYER *layer, int x, int y);
ALLEGRO_MAP_TILE *al_get_tile_for_id(ALLEGRO_MAP *map, int id);
ALLEGRO_MAP_TILE *al_get_single_tile(ALLEGRO_MAP *map, ALLEGRO_MAP_LAYER *layer, int x, int y);
bool flipped_horizontally(ALLEGRO_MAP_LAYER *layer, int x, int y);
bool flipped_vertically(ALLEGRO_MAP_LAYER *layer, int x, int y);
/* The arrays below are the caller's, to release with al_free. */
ALLEGRO_MAP_TILE **al_get_tiles(ALLEGRO_MAP *map, int x, int y, int *count);
ALLEGRO_MAP_OBJECT **al_get_objects(ALLEGRO_MAP_LAYER *layer, int *count);
ALLEGRO_MAP_OBJECT **al_get_objects_for_name(ALLEGRO_MAP_LAYER *layer, const char *name, int *count);
ALLEGRO_MAP_LAYER *al_get_layer_for_name(ALLEGRO_MAP *map, const char *name);
ALLEGRO_MAP_OBJECT *al_get_object_for_name(ALLEGRO_MAP *map, const char *name);

/* ---- loading (parser) ---------------------------------------------- */

/* Reads `filename` in folder `dir` (relative to the program's resources
 * folder, or to the working directory after al_find_resources_as(1), unless
 * absolute). Returns null after a line on standard error when the map cannot
 * be read. The working directory is the same afterwards. */
ALLEGRO_MAP *al_open_map(const char *dir, const char *filename);
/* 0: map folders are relative to the resources folder; 1: to the working
 * directory. */
void al_find_resources_as(int mode);

/* ---- drawing (draw) ------------------------------------------------ */

void _al_draw_orthogonal_tile_layer(ALLEGRO_MAP_LAYER *layer, ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                                    float sx, float sy, float sw, float sh, float dx, float dy, int flags);
void _al_draw_orthogonal_object_layer(ALLEGRO_MAP_LAYER *layer, ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                                      float sx, float sy, float sw, float sh, float dx, float dy, int flags);
void _al_draw_orthogonal_map(ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                             float sx, float sy, float sw, float sh, float dx, float dy, int flags);

void al_draw_tinted_map(ALLEGRO_MAP *map, ALLEGRO_COLOR tint, float dx, float dy, int flags);
void al_draw_tinted_map_region(ALLEGRO_MAP *map, ALLEGRO_COLOR tint,
                               float sx, float sy, float sw, float sh, float dx, float dy, int flags);
void al_draw_map(ALLEGRO_MAP *map, float dx, float dy, int flags);
void al_draw_map_region(ALLEGRO_MAP *map, float sx, float sy, float sw, float sh, float dx, float dy, int flags);

void al_draw_tinted_tile_layer_for_name(ALLEGRO_MAP *map, const char *name, ALLEGRO_COLOR tint,
                                        float dx, float dy, int flags);
void al_draw_tile_layer_for_name(ALLEGRO_MAP *map, const char *name, float dx, float dy, int flags);
void al_draw_layer_for_name(ALLEGRO_MAP *map, const char *name, float dx, float dy, int flags);

void al_draw_tinted_tile_layer_region_for_name(ALLEGRO_MAP *map, const char *name, ALLEGRO_COLOR tint,
                                               float sx, float sy, float sw, float sh,
                                               float dx, float dy, int flags);
void al_draw_tile_layer_region_for_name(ALLEGRO_MAP *map, const char *name,
                                        float sx, float sy, float sw, float sh, float dx, float dy, int flags);
void al_draw_layer_region_for_name(ALLEGRO_MAP *map, const char *name,
                                   float sx, float sy, float sw, float sh, float dx, float dy, int flags);

#ifdef __cplusplus
}
#endif

#endif
