#include "map.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "gamestate.h"
#include "object.h"
#include "player.h"
#include "system.h"

Map mapObj;
int draw_order[MAP_OBJECT_COUNT];
int draw_size;

// Depth of each draw_order entry, taken when the entry was placed: nothing
// moves an object after its own update within one map_draw.
static int draw_depth[MAP_OBJECT_COUNT];

// The layers the tile questions read, found once per map.
static ALLEGRO_MAP_LAYER *map_groundLayers[2];
// What the tile questions found for each cell of the current map, filled in
// as the cells are asked: every movement step asks about four corners of its
// box up to three times, and the tiles and their properties never change
// while the map is loaded. Cells are CELL_UNKNOWN until first asked.
enum { CELL_UNKNOWN, CELL_OPEN, CELL_BLOCKS };
static std::vector<uint8_t> map_cells;
static ALLEGRO_MAP *map_cellsMap;
static int map_cellsWidth, map_cellsHeight;
// Only orthogonal maps can be drawn; any other says so once, at its load,
// rather than on every tick.
static bool map_drawable;

Map getMap()
{
    return mapObj;
}

ALLEGRO_MAP *getMapTileset()
{
    return mapObj.tiledMap;
}

static int map_clamp(int v, int low, int high)
{
    return v < low ? low : v > high ? high : v;
}

static ALLEGRO_MAP_TILE *map_tileAt(ALLEGRO_MAP_LAYER *layer, int tx, int ty)
{
    if (!mapObj.tiledMap)
        return nullptr;
    tx = map_clamp(tx, 0, mapObj.widthInTiles - 1);
    ty = map_clamp(ty, 0, mapObj.heightInTiles - 1);
    return al_get_single_tile(mapObj.tiledMap, layer, tx, ty);
}

ALLEGRO_MAP_TILE *map_getTile(int tx, int ty, const char *layerName)
{
    return map_tileAt(al_get_layer_for_name(mapObj.tiledMap, layerName), tx, ty);
}

static bool map_cellBlocks(int tx, int ty)
{
    for (ALLEGRO_MAP_LAYER *layer : map_groundLayers)
        if (atoi(al_get_tile_property(map_tileAt(layer, tx, ty), "block", "0")) == 1)
            return true;
    return false;
}

// No layer holds more cells than this (8192 x 8192); a map header may claim
// any size, and a map claiming more is asked cell by cell, unremembered.
static const size_t MAP_MAX_REMEMBERED_CELLS = size_t(1) << 26;

// Forgets what the cells held, and makes room for the cells of `map`.
static void map_resetCells(ALLEGRO_MAP *map)
{
    map_cellsMap = map;
    map_cellsWidth = map ? mapObj.widthInTiles : 0;
    map_cellsHeight = map ? mapObj.heightInTiles : 0;
    size_t cells = map_cellsWidth > 0 && map_cellsHeight > 0 ? (size_t)map_cellsWidth * map_cellsHeight : 0;
    try {
        map_cells.assign(cells <= MAP_MAX_REMEMBERED_CELLS ? cells : 0, CELL_UNKNOWN);
    } catch (const std::bad_alloc &) {
        // Without the memory to remember them, the cells are asked one by one.
        std::vector<uint8_t>().swap(map_cells);
    }
}

bool map_getTileCollision(int px, int py)
{
    int tx = px / MAP_WORLD_TILE;
    int ty = py / MAP_WORLD_TILE;
    if (!mapObj.tiledMap || mapObj.tiledMap != map_cellsMap || mapObj.widthInTiles != map_cellsWidth ||
        mapObj.heightInTiles != map_cellsHeight || map_cells.empty())
        return map_cellBlocks(tx, ty);
    tx = map_clamp(tx, 0, map_cellsWidth - 1);
    ty = map_clamp(ty, 0, map_cellsHeight - 1);
    uint8_t &cell = map_cells[(size_t)ty * map_cellsWidth + tx];
    if (cell == CELL_UNKNOWN)
        cell = map_cellBlocks(tx, ty) ? CELL_BLOCKS : CELL_OPEN;
    return cell == CELL_BLOCKS;
}

std::string map_getTileStepSound(int px, int py)
{
    int tx = px / MAP_WORLD_TILE;
    int ty = py / MAP_WORLD_TILE;
    const char *s0 = al_get_tile_property(map_tileAt(map_groundLayers[0], tx, ty), "stepSound", "");
    const char *s1 = al_get_tile_property(map_tileAt(map_groundLayers[1], tx, ty), "stepSound", "");
    return *s1 ? s1 : s0;
}

static int map_intProperty(ALLEGRO_MAP_OBJECT *object, const char *name, const char *def)
{
    return atoi(al_get_object_property(object, name, def));
}

void map_parseObject(int slot, ALLEGRO_MAP_OBJECT *object)
{
    int animWidth = map_intProperty(object, "animWidth", "40");
    int animHeight = map_intProperty(object, "animHeight", "80");
    int yOff = map_intProperty(object, "yOff", "80");
    int priority = map_intProperty(object, "priority", "2");
    const char *graphicName = al_get_object_property(object, "graphicName", "");
    bool collide = map_intProperty(object, "collide", "1") == 1;
    bool stepSound = map_intProperty(object, "stepSound", "1") == 1;
    int width = al_get_object_width(object);
    int height = al_get_object_height(object);
    int x = al_get_object_x(object);
    int y = al_get_object_y(object);
    object_create(slot, animWidth, animHeight, graphicName, x, y, width, height, yOff, priority, collide,
                  stepSound);
    object_setEvent(slot, al_get_object_property(object, "touchCall", ""),
                    al_get_object_property(object, "interactCall", ""),
                    al_get_object_property(object, "autoCall", ""),
                    al_get_object_property(object, "touchCondition", ""),
                    al_get_object_property(object, "interactCondition", ""),
                    al_get_object_property(object, "autoCondition", ""),
                    al_get_object_property(object, "visibleCondition", ""));
}

// The exit names of the map map_open opened last, read while the current map
// still stands: names that do not fit in the memory left fail the open.
static std::string map_openedExitName[4];

static bool map_readExitNames(ALLEGRO_MAP *map)
{
    static const char *names[4] = {"exitNorth", "exitSouth", "exitEast", "exitWest"};
    try {
        for (int i = 0; i < 4; i++)
            map_openedExitName[i] = al_get_map_property(map, names[i], "");
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

ALLEGRO_MAP *map_open(const char *name)
{
    fprintf(stderr, "Loading map: %s... ", name);
    ALLEGRO_MAP *map = *name ? al_open_map("data/maps", name) : nullptr;
    if (map && !map_readExitNames(map)) {
        al_free_map(map);
        map = nullptr;
    }
    if (!map)
        fprintf(stderr, "\nFailed to load map \"%s\".\n", name);
    return map;
}

static const int MAP_MAX_PIXELS = 1 << 24;

// A map's side in pixels. The file may give any tile count and size: the
// product is held where sums with positions and the screen still fit.
static int map_pixels(int tiles, int tileSize)
{
    long long pixels = static_cast<long long>(tiles) * tileSize;
    return pixels > MAP_MAX_PIXELS ? MAP_MAX_PIXELS : static_cast<int>(pixels);
}

// The sizes of a newly opened map and the part of the screen it covers: a
// map smaller than the screen is centred.
static void map_measure(ALLEGRO_MAP *map)
{
    Map &m = mapObj;
    int screenW = engine_ScrW();
    int screenH = engine_ScrH();
    m.widthInTiles = al_get_map_width(map);
    m.heightInTiles = al_get_map_height(map);
    m.pixelWidth = map_pixels(m.widthInTiles, al_get_tile_width(map));
    m.pixelHeight = map_pixels(m.heightInTiles, al_get_tile_height(map));
    m.maxScrollX = m.pixelWidth - screenW;
    m.maxScrollY = m.pixelHeight - screenH;
    m.regionWidth = screenW > m.pixelWidth ? m.pixelWidth : screenW;
    m.regionHeight = screenH > m.pixelHeight ? m.pixelHeight : screenH;
    m.regionX = (screenW - m.regionWidth) / 2;
    m.regionY = (screenH - m.regionHeight) / 2;
    // One bar for the open and one for each of the twelve sizes.
    fprintf(stderr, "||||||||||||| FINISHED. \n Region size: %dx%d. \n", m.regionWidth, m.regionHeight);
}

static void map_readExits(ALLEGRO_MAP *map)
{
    static const char *offsets[4] = {"exitNorthOffset", "exitSouthOffset", "exitEastOffset", "exitWestOffset"};
    for (int i = 0; i < 4; i++)
        mapObj.exitName[i].swap(map_openedExitName[i]);
    for (int i = 0; i < 4; i++)
        mapObj.exitOffset[i] = atoi(al_get_map_property(map, offsets[i], "0"));
}

// Music or ambient sound named by the map's properties `<kind>Change`,
// `<kind>Name`, `<kind>Gain` and `<kind>Speed`.
static void map_startSound(ALLEGRO_MAP *map, const std::string &kind, const char *folder,
                           bool (*play)(const char *, float, float))
{
    if (atoi(al_get_map_property(map, (kind + "Change").c_str(), "0")) != 1)
        return;
    std::string path = folder + std::string(al_get_map_property(map, (kind + "Name").c_str(), "0"));
    play(path.c_str(), (float)atof(al_get_map_property(map, (kind + "Gain").c_str(), "0")),
         (float)atof(al_get_map_property(map, (kind + "Speed").c_str(), "0")));
}

static void map_createObjects(ALLEGRO_MAP *map, const char *name)
{
    int count = 0;
    ALLEGRO_MAP_OBJECT **objects = al_get_objects(al_get_layer_for_name(map, "events"), &count);
    for (int i = 0; i < count; i++) {
        int id = al_get_object_gid(objects[i]);
        // Slot 0 is the player's, and the table ends at 999. The id is tested
        // before the slot is computed: the largest ids have no slot number.
        if (id < 0 || id > MAP_OBJECT_COUNT - 2)
            fprintf(stderr, "Object id %d in map \"%s\" is outside 0 to %d; skipped.\n", id, name,
                    MAP_OBJECT_COUNT - 2);
        else
            map_parseObject(id + 1, objects[i]);
    }
    al_free(objects);
}

void map_install(const char *name, ALLEGRO_MAP *map)
{
    map_destroy();
    mapObj.tiledMap = map;
    map_measure(map);
    map_readExits(map);
    map_groundLayers[0] = al_get_layer_for_name(map, "BG0");
    map_groundLayers[1] = al_get_layer_for_name(map, "BG1");
    map_resetCells(map);
    const char *orientation = al_get_map_orientation(map);
    map_drawable = orientation && strcmp(orientation, "orthogonal") == 0;
    if (!map_drawable)
        fprintf(stderr, "Map \"%s\" is not orthogonal (\"%s\"): its tile layers are not drawn.\n", name,
                orientation ? orientation : "(null)");
    gs_loadMapScript(name);
    map_startSound(map, "bgm", "sfx/bgm/", engine_playBgm);
    map_startSound(map, "bgs", "sfx/bgs/", engine_playBgs);
    map_createObjects(map, name);
}

bool load_map(const char *name)
{
    ALLEGRO_MAP *map = map_open(name);
    if (map)
        map_install(name, map);
    return map != nullptr;
}

void map_destroy()
{
    if (mapObj.tiledMap)
        al_free_map(mapObj.tiledMap);
    mapObj.tiledMap = nullptr;
    map_groundLayers[0] = map_groundLayers[1] = nullptr;
    map_resetCells(nullptr);
    for (int i = 1; i < MAP_OBJECT_COUNT; i++)
        object_destroy(i);
}

// --- exits ---------------------------------------------------------------------

// The edge the player's whole box lies beyond, tested north, south, east,
// west; -1 for none.
static int map_crossedEdge(int px, int py)
{
    const MapObject *player = getPlayerObject();
    if (py < -player->height)
        return 0;
    if (py > mapObj.pixelHeight)
        return 1;
    if (px > mapObj.pixelWidth)
        return 2;
    if (px < -player->width)
        return 3;
    return -1;
}

void process_exit(int px, int py)
{
    int edge = map_crossedEdge(px, py);
    if (edge < 0 || mapObj.exitName[edge].empty())
        return;
    // Taken before the change: the new map brings offsets of its own. North
    // and west arrivals depend on the new map's size.
    int offset = mapObj.exitOffset[edge];
    // The offset is any number a map gives; the sum is held within the ints.
    auto shifted = [offset](int v) {
        long long sum = static_cast<long long>(v) + offset;
        return static_cast<int>(sum > INT_MAX ? INT_MAX : sum < INT_MIN ? INT_MIN : sum);
    };
    auto arrival = [edge, px, py, shifted]() -> Point {
        switch (edge) {
        case 0: return {shifted(px), mapObj.pixelHeight - MAP_WORLD_TILE};
        case 1: return {shifted(px), 0};
        case 2: return {0, shifted(py)};
        default: return {mapObj.pixelWidth - MAP_WORLD_TILE, shifted(py)};
        }
    };
    // A map that cannot be opened would otherwise be tried again every tick
    // while the player stands beyond the edge.
    if (!player_teleport(mapObj.exitName[edge], true, arrival)) {
        mapObj.exitName[edge].clear();
        return;
    }
    // The crossfade's nested update has moved the player on with its speed;
    // a north or west arrival is where the new map's size puts it, so the
    // player is placed there once more.
    if (edge == 0 || edge == 3) {
        Point to = arrival();
        object_moveTo(0, to.x, to.y);
    }
}

// --- camera ----------------------------------------------------------------------

static int map_scrollAxis(int wished, int region, int screen, int maxScroll)
{
    if (region != screen)
        return 0;
    return wished > maxScroll ? maxScroll : wished < 0 ? 0 : wished;
}

void setScroll(int x, int y)
{
    mapObj.scrollX = map_scrollAxis(x, mapObj.regionWidth, engine_ScrW(), mapObj.maxScrollX);
    mapObj.scrollY = map_scrollAxis(y, mapObj.regionHeight, engine_ScrH(), mapObj.maxScrollY);
}

static int map_scrollBy(int scroll, int d, int maxScroll)
{
    if (maxScroll < 0)
        return 0;
    return map_clamp(scroll + d, 0, maxScroll);
}

void scrollMapX(int dx)
{
    mapObj.scrollX = map_scrollBy(mapObj.scrollX, dx, mapObj.maxScrollX);
}

void scrollMapY(int dy)
{
    mapObj.scrollY = map_scrollBy(mapObj.scrollY, dy, mapObj.maxScrollY);
}

// --- drawing ---------------------------------------------------------------------

static void map_drawLayer(const char *name)
{
    if (!map_drawable)
        return;
    // One pixel short of the region: the drawer takes in the tile under the
    // far edge, and the full size would reach a tile past the map.
    al_draw_layer_region_for_name(mapObj.tiledMap, name, (float)mapObj.scrollX, (float)mapObj.scrollY,
                                  (float)(mapObj.regionWidth - 1), (float)(mapObj.regionHeight - 1),
                                  (float)mapObj.regionX, (float)mapObj.regionY, 0);
}

// Places slot i after every entry of equal or lower depth.
static void map_insertByDepth(int i)
{
    int depth = getMapObjectZ(i);
    int k = draw_size++;
    for (; k > 0 && draw_depth[k - 1] > depth; k--) {
        draw_order[k] = draw_order[k - 1];
        draw_depth[k] = draw_depth[k - 1];
    }
    draw_order[k] = i;
    draw_depth[k] = depth;
}

void map_draw()
{
    map_drawLayer("BG0");
    map_drawLayer("BG1");
    draw_size = 0;
    object_beginUpdates();
    for (int i = 0; i < MAP_OBJECT_COUNT; i++) {
        if (!mapObjects[i].active)
            continue;
        object_update(i);
        map_insertByDepth(i);
    }
    object_endUpdates();
    // One batch for every sprite instead of one draw call each: drawing
    // only bitmaps in between, the result is the same.
    al_hold_bitmap_drawing(true);
    for (int k = 0; k < draw_size; k++)
        object_draw(draw_order[k]);
    al_hold_bitmap_drawing(false);
    map_drawLayer("BG2");
}
