// The map objects: the 1000-slot table of figures on the current map. Slot 0
// is the player, slots 1 to 999 the current map's event objects. Positions and
// speeds count 1/128 pixel ("units"); boxes, cells and route points pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <allegro5/allegro.h>

enum { MAP_OBJECT_COUNT = 1000 };

// A route point in map pixels.
struct Point {
    int32_t x;
    int32_t y;
};

struct MapObject {
    int32_t x;
    int32_t y;
    int32_t pixelX;
    int32_t pixelY;
    int32_t width;
    int32_t height;
    int32_t xSpeed;
    int32_t ySpeed;
    int32_t moveSpeed;
    int32_t maxSpeed;
    bool active;
    bool collide;
    bool stepSound;
    std::vector<Point> route;
    int32_t routeIndex;
    bool routeActive;
    bool routeLoop;
    std::string graphicPath;
    bool hasGraphic;
    bool autoDone;
    int32_t screenX;
    int32_t screenY;
    int32_t animWidth;
    int32_t animHeight;
    int32_t yOff;
    int32_t dir;
    int32_t frame;
    int32_t frameStart;
    int32_t frameEnd;
    int32_t frameDelay;
    int32_t frameTimer;
    ALLEGRO_COLOR tint;
    int32_t opacity;
    float xScale;
    float yScale;
    float angle;
    int32_t flags;
    int32_t priority;
    // Borrowed from the current map's object properties; valid until
    // map_destroy frees that map and empties the slot.
    const char *touchCall;
    const char *interactCall;
    const char *autoCall;
    const char *touchCondition;
    const char *interactCondition;
    const char *autoCondition;
    const char *visibleCondition;
};

extern MapObject mapObjects[MAP_OBJECT_COUNT];

// Plays a footstep sound: engine_playSe unless a test puts its own here.
extern void (*object_playSe)(std::string path, float volume, float speed);
// Starts the event function of a trigger: gs_runEventFunction unless a test
// puts its own here.
extern bool (*object_runEventFunction)(int slot, const char *name, int id);

MapObject *getMapObject(int slot);
MapObject *getPlayerObject();
int getMapObjectX(int slot);
int getMapObjectY(int slot);
int getMapObjectZ(int slot);
void object_setPriority(int slot, int p);
bool object_hasGraphic(int slot);
void object_bmpCreate(int slot, const char *name);
void object_bmpDestroy(int slot);

void object_moveLeft(int slot);
void object_moveRight(int slot);
void object_moveUp(int slot);
void object_moveDown(int slot);

void object_create(int slot, int animWidth, int animHeight, const char *graphicName, int x, int y,
                   int width, int height, int yOff, int priority, bool collide, bool stepSound);
void object_setEvent(int slot, const char *touchCall, const char *interactCall, const char *autoCall,
                     const char *touchCondition, const char *interactCondition, const char *autoCondition,
                     const char *visibleCondition);
void object_destroy(int slot);
void object_moveTo(int slot, int px, int py);
void object_setDir(int slot, int d);
void object_setPos(int slot, int pose);
void object_setXSpeed(int slot, int v);
void object_setYSpeed(int slot, int v);
void object_addXSpeed(int slot, int v);
void object_addYSpeed(int slot, int v);
int object_getMoveSpeed(int slot);

bool check_collision(int a, int b, int x, int y);
bool object_getTileCollision(int slot, int x, int y);
void object_updatePosition(int slot);
// Around the object updates of one map_draw: in between, the movement steps
// may keep a compact copy of the table (see object.cpp). Calls nest.
void object_beginUpdates();
void object_endUpdates();

// Routes, animation, step sounds, drawing and triggers.
void object_setMoveroute(int slot, std::vector<Point> route, bool loop);
void object_updateMoveRoute(int slot);
void object_isMovePointAchieved(int slot);
void object_update(int slot);
void object_updateFrame(int slot);
void object_updateStep(int slot);
std::string object_getTileStepSound(int slot);
void object_draw(int slot);
void object_updateTriggers(int slot, bool touched);
void object_processAuto(int slot);
void object_processTouch(int slot);
void object_processTrigger(int slot);
