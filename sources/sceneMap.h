// The map scene: the engine's update callback for the whole run. Each tick it
// reads the player's keys, lets the event interpreters play, points the camera
// at the player and draws the map, its objects and the message boxes.
#pragma once

void sceneMap_create();
void sceneMap_update();
void sceneMap_updatePlayer();
void sceneMap_updateScroll();
