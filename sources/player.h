// The player: the party leader as map object 0, the map change that moves it
// from map to map, and the interact trigger in front of it.
#pragma once

#include <functional>
#include <string>

#include "object.h"

void createPlayer();
// Makes the named map current and puts the player at (x, y) pixels; with
// fade, freezes the screen first and crossfades to the new scene. False when
// the map could not be loaded: nothing then changed.
bool teleport(std::string map, int x, int y, bool fade);
// teleport with the arrival computed once the new map stands: where the
// player arrives may depend on that map's size. The name is taken by value:
// a map exit hands over its own exit name, which the new map overwrites.
bool player_teleport(std::string map, bool fade, const std::function<Point()> &arrival);
void player_checkTrigger();

void player_setDir(int direction);
void player_setPos(int pose);
void player_setXSpeed(int speed);
void player_addXSpeed(int speed);
void player_setYSpeed(int speed);
void player_addYSpeed(int speed);
int player_getMoveSpeed();
void player_updatePosition();
void player_updateFrame();
void player_update();
void player_draw();
