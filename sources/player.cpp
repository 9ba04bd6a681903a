#include "player.h"

#include <utility>

#include "actor.h"
#include "map.h"
#include "party.h"
#include "system.h"

// How far ahead of the player, in units, the Ok key looks for an object.
static const int PLAYER_REACH = 1024;

void createPlayer()
{
    const Actor *a = actor_get(party_getLeader());
    object_create(0, a->anim_w, a->anim_h, a->graphicName.c_str(), 0, 0, a->w, a->h, a->yOff, 2, true, true);
}

bool player_teleport(std::string map, bool fade, const std::function<Point()> &arrival)
{
    // The new map is opened before anything else changes, so that a map that
    // cannot be opened leaves the world, and the screen, as they were.
    ALLEGRO_MAP *next = nullptr;
    if (map != mapObj.fileName || !mapObj.tiledMap) {
        next = map_open(map.c_str());
        if (!next)
            return false;
    }
    if (fade)
        engine_freezeScreen();
    if (next) {
        map_install(map.c_str(), next);
        mapObj.fileName.swap(map);
    }
    Point to = arrival();
    object_moveTo(0, to.x, to.y);
    if (fade)
        engine_transition(20);
    return true;
}

bool teleport(std::string map, int x, int y, bool fade)
{
    return player_teleport(std::move(map), fade, [x, y] { return Point{x, y}; });
}

void player_checkTrigger()
{
    const MapObject *p = getPlayerObject();
    int x = p->x;
    int y = p->y;
    switch (p->dir) {
    case 0: y += PLAYER_REACH; break;
    case 1: x += PLAYER_REACH; break;
    case 2: x -= PLAYER_REACH; break;
    case 3: y -= PLAYER_REACH; break;
    }
    for (int slot = 1; slot < MAP_OBJECT_COUNT; slot++) {
        if (mapObjects[slot].active && check_collision(0, slot, x, y)) {
            object_processTrigger(slot);
            return;
        }
    }
}

void player_setDir(int direction) { object_setDir(0, direction); }
void player_setPos(int pose) { object_setPos(0, pose); }
void player_setXSpeed(int speed) { object_setXSpeed(0, speed); }
void player_addXSpeed(int speed) { object_addXSpeed(0, speed); }
void player_setYSpeed(int speed) { object_setYSpeed(0, speed); }
void player_addYSpeed(int speed) { object_addYSpeed(0, speed); }
int player_getMoveSpeed() { return object_getMoveSpeed(0); }
void player_updatePosition() { object_updatePosition(0); }
void player_updateFrame() { object_updateFrame(0); }
void player_update() { object_update(0); }
void player_draw() { object_draw(0); }
