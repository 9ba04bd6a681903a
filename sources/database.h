// The game's fixed content: the data file "data\database.lua" read into plain
// records at start-up. Records live in fixed global arrays indexed by their
// 1-based id; entry 0 of every array stays empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <lua.h>
}

// Capacities of the record arrays (entry 0 included).
enum {
    DB_ACTOR_COUNT = 32,
    DB_CLASS_COUNT = 16,
    DB_ITEM_COUNT = 256,
    DB_ENEMY_COUNT = 256,
    DB_STATE_COUNT = 16,
    DB_ATTRIBUTE_COUNT = 16,
};

// Start-party slots, equipment slots and the slots of the per-state and
// per-attribute lists.
enum {
    DB_PARTY_SLOTS = 4,
    DB_EQUIP_SLOTS = 5,
    DB_CHANCE_SLOTS = 6,
};

// The most entries a nested list (learnings, treasure) may declare.
enum { DB_LIST_MAX = 65536 };

struct DBSystem {
    std::string fontNormal;
    std::string fontDamage;
    std::string fontSpecial;
    int fontSizeS;
    int fontSizeM;
    int fontSizeL;
    int startX;
    int startY;
    std::string startMap;
    int startParty[DB_PARTY_SLOTS];
    int levelMax;
};

struct DBSkillLearning {
    int first;
    int second;
};

struct DBActor {
    int anim_w;
    int anim_h;
    std::string graphicName;
    int w;
    int h;
    int yOff;
    std::string defaultName;
    std::string profession;
    int classId;
    int8_t levelStart;
    int8_t expBase;
    int8_t expGrowth;
    int lifeBase;
    int lifeGrowth;
    int manaBase;
    int manaGrowth;
    int strBase;
    int vitBase;
    int agiBase;
    int intBase;
    int dexBase;
    int strGrowth;
    int vitGrowth;
    int agiGrowth;
    int intGrowth;
    int dexGrowth;
    std::vector<DBSkillLearning> learnings;
    int equips[DB_EQUIP_SLOTS];
};

struct DBClass {
    std::vector<int> elementResist;
    std::vector<int> conditionResist;
    std::vector<int> features;
    std::vector<int> canEquip;
};

struct DBUsableItem {
    int kind;
    int canUse;
    std::string name;
    std::string description;
    std::string behaviour;
};

struct DBEnemyGain {
    int first;
    int second;
    std::string third;
};

struct DBEnemy {
    std::string name;
    int classId;
    int level;
    int expGive;
    int moneyGive;
    int life;
    int mana;
    int strBase;
    int vitBase;
    int agiBase;
    int intBase;
    int dexBase;
    std::string behaviour;
    std::vector<int> elementResist;
    std::vector<int> conditionResist;
    std::vector<int> features;
    std::vector<DBEnemyGain> treasure;
};

struct DBState {
    std::string name;
    int priority;
    int chance[DB_CHANCE_SLOTS];
    int persist;
    int restriction;
    int lockSkill;
    int pose;
    int animation;
    int hitPerc;
    int critPerc;
    int expPerc;
    int strPerc;
    int vitPerc;
    int agiPerc;
    int intPerc;
    int dexPerc;
    std::string behaviour;
    std::string counterBehaviour;
};

struct DBAttribute {
    std::string name;
    int mult[DB_CHANCE_SLOTS];
};

// The state the data file ran in; kept open for the whole run.
extern lua_State *Ll;

extern DBSystem dbSystem;
extern DBActor dbActor[DB_ACTOR_COUNT];
extern DBClass dbClass[DB_CLASS_COUNT];
extern DBUsableItem dbItem[DB_ITEM_COUNT];
extern DBEnemy dbEnemy[DB_ENEMY_COUNT];
extern DBState dbState[DB_STATE_COUNT];
extern DBAttribute dbAttribute[DB_ATTRIBUTE_COUNT];

// Reads "data\database.lua" (under the working directory). Returns false
// after writing one line on standard error when the file cannot be read or
// breaks its rules; the records read before the fault keep their values.
bool database_init();

// database_init for a data file at any path. Every record is emptied first.
bool database_initFrom(const char *path);

// Each reader reads one global table of the data file's state `Ll` inside a
// protected call. A missing key, record or table, a value of the wrong kind,
// a count beyond the table's capacity or a start party that does not fit is
// reported on standard error and the reader returns false.
bool database_readSystem();
bool database_readActors();
bool database_readClasses();
bool database_readItems();
bool database_readEnemies();
bool database_readStates();
bool database_readAttributes();

// The start-up dump on standard error.
void test_variables();

DBSystem *getDBSystem();

// The actor definition of an id 0 to 31; any other id is reported and
// answered with the empty entry 0.
DBActor *getDBActor(int id);

