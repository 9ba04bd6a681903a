// The live actors: working copies of the game's characters, built from their
// definitions when a new game starts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum {
    ACTOR_COUNT = 32,
    ACTOR_LEVELS = 100,
    ACTOR_EQUIP_SLOTS = 5,
};

struct Actor {
    int anim_w;
    int anim_h;
    std::string graphicName;
    int w;
    int h;
    int yOff;
    std::string name;
    std::string profession;
    int classId;
    int8_t level;
    int exp;
    // Entry L is the experience at which level L + 1 is reached.
    int expTable[ACTOR_LEVELS];
    int life;
    int mana;
    int maxLife;
    int maxMana;
    int str;
    int vit;
    int agi;
    int intel;
    int dex;
    // Kept at 0 and empty; nothing uses them yet.
    int extra[5];
    std::vector<int> extraListA;
    std::vector<int> extraListB;
    int equips[ACTOR_EQUIP_SLOTS];
};

// Indexed by actor id 0 to 31; entry 0 is the empty actor.
extern Actor actors[ACTOR_COUNT];

// Builds actor id from the definition of the same id. An id outside 0 to 31
// is reported and nothing is built.
void actor_initialize(int id);

// The actor of an id 0 to 31; any other id is reported and answered with the
// empty actor 0.
Actor *actor_get(int id);
