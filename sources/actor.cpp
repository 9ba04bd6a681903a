#include "actor.h"

#include <climits>
#include <cstdio>

#include "database.h"

Actor actors[ACTOR_COUNT];

static bool actor_validId(int id, const char *where)
{
    if (id >= 0 && id < ACTOR_COUNT)
        return true;
    fprintf(stderr, "%s: actor id %d is outside 0 to %d.\n", where, id, ACTOR_COUNT - 1);
    return false;
}

// The experience at which level n is reached: entry n - 1 of the table.
static int actor_expForLevel(int base, int growth, int n)
{
    return base * (n - 1) + n * (n - 1) * growth;
}

// base + level x growth, taken in 64 bits: a value beyond the range of an
// int is held at its edge, with a message.
static int actor_value(int id, const char *what, int base, int level, int growth)
{
    long long value = static_cast<long long>(base) + static_cast<long long>(level) * growth;
    if (value > INT_MAX || value < INT_MIN) {
        fprintf(stderr, "actor_initialize: %s of actor %d is out of range (%lld); held at %d.\n", what, id, value,
                value > INT_MAX ? INT_MAX : INT_MIN);
        value = value > INT_MAX ? INT_MAX : INT_MIN;
    }
    return static_cast<int>(value);
}

void actor_initialize(int id)
{
    if (!actor_validId(id, "actor_initialize"))
        return;
    const DBActor &d = *getDBActor(id);
    Actor &a = actors[id];

    a.anim_w = d.anim_w;
    a.anim_h = d.anim_h;
    a.graphicName = d.graphicName;
    a.w = d.w;
    a.h = d.h;
    a.yOff = d.yOff;
    a.name = d.defaultName;
    a.profession = d.profession;
    a.classId = d.classId;

    int base = d.expBase;
    int growth = d.expGrowth;
    for (int l = 0; l < ACTOR_LEVELS; l++)
        a.expTable[l] = actor_expForLevel(base, growth, l + 1);

    a.level = d.levelStart;
    int level = a.level;
    if (level < 0 || level > ACTOR_LEVELS)
        fprintf(stderr, "actor_initialize: start level %d of actor %d is outside 0 to %d.\n", level, id, ACTOR_LEVELS);
    // Levels at or below 0 start with nothing; levels beyond the table take
    // its formula, so no index leaves the table.
    if (level <= 0)
        a.exp = 0;
    else if (level <= ACTOR_LEVELS)
        a.exp = a.expTable[level - 1];
    else
        a.exp = actor_expForLevel(base, growth, level);

    a.maxLife = actor_value(id, "maximum life", d.lifeBase, level, d.lifeGrowth);
    a.maxMana = actor_value(id, "maximum mana", d.manaBase, level, d.manaGrowth);
    a.life = a.maxLife;
    a.mana = a.maxMana;

    a.str = actor_value(id, "strength", d.strBase, level, d.strGrowth);
    a.vit = actor_value(id, "vitality", d.vitBase, level, d.vitGrowth);
    a.agi = actor_value(id, "agility", d.agiBase, level, d.agiGrowth);
    a.intel = actor_value(id, "intelligence", d.intBase, level, d.intGrowth);
    a.dex = actor_value(id, "dexterity", d.dexBase, level, d.dexGrowth);

    for (int &v : a.extra)
        v = 0;
    a.extraListA.clear();
    a.extraListB.clear();

    for (int k = 0; k < ACTOR_EQUIP_SLOTS; k++)
        a.equips[k] = d.equips[k];
}

Actor *actor_get(int id)
{
    if (!actor_validId(id, "actor_get"))
        return &actors[0];
    return &actors[id];
}
