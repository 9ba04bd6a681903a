#include "sceneMap.h"

#include "gamestate.h"
#include "input.h"
#include "map.h"
#include "message.h"
#include "object.h"
#include "player.h"
#include "system.h"

void sceneMap_create()
{
    set_update_callback(sceneMap_update);
}

void sceneMap_update()
{
    // Asked once: a map change in the player's update freezes the screen,
    // and the interpreters still run in that tick.
    if (!engine_isFrozen()) {
        sceneMap_updatePlayer();
        gs_update();
    }
    sceneMap_updateScroll();
    map_draw();
    message_updateAll();
}

void sceneMap_updatePlayer()
{
    MapObject *p = getPlayerObject();
    if (p->routeActive || engine_isFrozen() || message_showing())
        return;
    if (input_keyState(KEY_LEFT, KEYSTATE_HELD))
        object_moveLeft(0);
    else if (input_keyState(KEY_RIGHT, KEYSTATE_HELD))
        object_moveRight(0);
    if (input_keyState(KEY_UP, KEYSTATE_HELD))
        object_moveUp(0);
    else if (input_keyState(KEY_DOWN, KEYSTATE_HELD))
        object_moveDown(0);
    if (input_keyState(KEY_OK, KEYSTATE_PRESSED))
        player_checkTrigger();
    p->maxSpeed = input_keyState(KEY_RUN, KEYSTATE_HELD) ? 512 : 256;
    process_exit(p->pixelX, p->pixelY);
}

void sceneMap_updateScroll()
{
    setScroll(getMapObjectX(0) / 128 - engine_ScrW() / 2, getMapObjectY(0) / 128 - engine_ScrH() / 2);
}
