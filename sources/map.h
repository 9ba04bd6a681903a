// The current map: the TMX map the world is played on, its exits, music and
// event objects, the tile questions that movement asks, the camera, and the
// drawing of one frame of the map scene.
#pragma once

#include <string>

#include "tiled.h"

// Tile questions and exit arrivals count in tiles of this many pixels,
// whatever tile size the map declares.
enum { MAP_WORLD_TILE = 32 };

struct Map {
    ALLEGRO_MAP *tiledMap;
    std::string fileName;
    int scrollX, scrollY;
    int widthInTiles, heightInTiles;
    int pixelWidth, pixelHeight;
    int maxScrollX, maxScrollY;
    int regionWidth, regionHeight;
    int regionX, regionY;
    // Index 0 north, 1 south, 2 east, 3 west; an empty name is no exit.
    std::string exitName[4];
    int exitOffset[4];
};

extern Map mapObj;
extern int draw_order[1000];
extern int draw_size;

Map getMap();
ALLEGRO_MAP *getMapTileset();
ALLEGRO_MAP_TILE *map_getTile(int tx, int ty, const char *layerName);
bool map_getTileCollision(int px, int py);
std::string map_getTileStepSound(int px, int py);
void map_parseObject(int slot, ALLEGRO_MAP_OBJECT *object);
// Opens the named map under data/maps and makes it current, in place of the
// one before it. False, after a line on standard error, when it cannot be
// opened: the current map, its objects and script then stay as they were.
bool load_map(const char *name);
void map_destroy();
void process_exit(int px, int py);
void setScroll(int x, int y);
void scrollMapX(int dx);
void scrollMapY(int dy);
void map_draw();

// The two halves of load_map, for a map change that must do its own work
// between them. map_open writes the loading line and opens the map (null,
// after a message, when it cannot, memory that runs out included);
// map_install frees the current map and makes the one map_open opened last
// current.
ALLEGRO_MAP *map_open(const char *name);
void map_install(const char *name, ALLEGRO_MAP *map);
