#include "database.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "luaparse.h"
#include "system.h"

lua_State *Ll = nullptr;

DBSystem dbSystem;
DBActor dbActor[DB_ACTOR_COUNT];
DBClass dbClass[DB_CLASS_COUNT];
DBUsableItem dbItem[DB_ITEM_COUNT];
DBEnemy dbEnemy[DB_ENEMY_COUNT];
DBState dbState[DB_STATE_COUNT];
DBAttribute dbAttribute[DB_ATTRIBUTE_COUNT];

// The data file being read, for the error line.
static std::string db_path;
// Why the file's top level stopped, if it did. Most often a library call,
// which cannot work there: the read that then fails is named after it.
// Whether the value the file returned could be called does not matter.
static std::string db_stopped;

// Lua reports a fault by jumping out of the reading functions, past their
// C++ frames and without running destructors. So the readers keep no object
// with a destructor on their own stack while they call into Lua: texts and
// comma lists pass through these two module-level buffers instead.
static std::string db_text;
static std::vector<std::string> db_pieces;

// A table on the Lua stack and its dotted name for messages.
struct DbTable {
    int index;
    char name[96];
};

// ---------------------------------------------------------------------------
// Reporting
// ---------------------------------------------------------------------------

static void db_report(const char *message)
{
    std::string line = message ? message : "(error object is not a string)";
    // One line per fault, whatever the message holds.
    for (char &c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    fprintf(stderr, "Error in data file \"%s\": %s\n", db_path.c_str(), line.c_str());
    fflush(stderr);
}

// ---------------------------------------------------------------------------
// Lua-side reads; each raises a Lua error on a fault
// ---------------------------------------------------------------------------

static void db_setName(DbTable &t, const char *parent, const char *key)
{
    if (parent)
        snprintf(t.name, sizeof t.name, "%.47s.%.47s", parent, key);
    else
        snprintf(t.name, sizeof t.name, "%s", key);
}

static void db_global(lua_State *s, const char *name, DbTable &t)
{
    lua_getglobal(s, name);
    if (!lua_istable(s, -1))
        luaL_error(s, "global '%s' is not a table (got %s)", name, luaL_typename(s, -1));
    t.index = lua_gettop(s);
    db_setName(t, nullptr, name);
}

// Pushes parent[key].
static void db_field(lua_State *s, const DbTable &parent, const char *key)
{
    lua_pushstring(s, key);
    lua_gettable(s, parent.index);
}

static void db_table(lua_State *s, const DbTable &parent, const char *key, DbTable &t)
{
    db_field(s, parent, key);
    if (!lua_istable(s, -1))
        luaL_error(s, "%s.%s: table expected, got %s", parent.name, key, luaL_typename(s, -1));
    t.index = lua_gettop(s);
    db_setName(t, parent.name, key);
}

// An integer, a float with an exact integer value or a string holding one.
static lua_Integer db_integer(lua_State *s, const DbTable &t, const char *key)
{
    db_field(s, t, key);
    int isnum = 0;
    lua_Integer value = lua_tointegerx(s, -1, &isnum);
    if (!isnum) {
        if (lua_type(s, -1) == LUA_TNUMBER)
            luaL_error(s, "%s.%s: number has no integer representation", t.name, key);
        luaL_error(s, "%s.%s: integer expected, got %s", t.name, key, luaL_typename(s, -1));
    }
    lua_pop(s, 1);
    return value;
}

static int db_int(lua_State *s, const DbTable &t, const char *key)
{
    return static_cast<int>(db_integer(s, t, key));
}

// The low eight bits, as a signed value: 200 reads as -56.
static int8_t db_int8(lua_State *s, const DbTable &t, const char *key)
{
    unsigned bits = static_cast<unsigned>(db_integer(s, t, key)) & 0xFFu;
    return static_cast<int8_t>(bits < 128 ? static_cast<int>(bits) : static_cast<int>(bits) - 256);
}

// A string, or a number in its Lua text form.
static void db_string(lua_State *s, const DbTable &t, const char *key, std::string &out)
{
    db_field(s, t, key);
    if (!lua_isstring(s, -1))
        luaL_error(s, "%s.%s: string expected, got %s", t.name, key, luaL_typename(s, -1));
    size_t length = 0;
    const char *text = lua_tolstring(s, -1, &length);
    out.assign(text, length);
    lua_pop(s, 1);
}

// A record count; counts beyond the array are refused.
static lua_Integer db_count(lua_State *s, const DbTable &t, const char *key, int capacity)
{
    lua_Integer n = db_integer(s, t, key);
    if (n > capacity - 1)
        luaL_error(s, "%s.%s is %I, more than the %d records this table holds", t.name, key, n, capacity - 1);
    return n;
}

// A nested list's count. Its entries may come from a metamethod, so nothing
// else ends the reading: a negative count or one far beyond any real game is
// refused before the first entry.
static uint32_t db_listSize(lua_State *s, const DbTable &t)
{
    lua_Integer n = db_integer(s, t, "size");
    if (n < 0 || n > DB_LIST_MAX)
        luaL_error(s, "%s.size is %I, outside 0 to %d", t.name, n, static_cast<int>(DB_LIST_MAX));
    return static_cast<uint32_t>(n);
}

// ---------------------------------------------------------------------------
// Comma lists (no Lua calls)
// ---------------------------------------------------------------------------

// Cuts db_text into db_pieces; returns the number of items.
static int db_cut()
{
    db_pieces.clear();
    split(db_text, ',', db_pieces);
    return static_cast<int>(db_pieces.size());
}

static int db_item(int k)
{
    if (k < 0 || k >= static_cast<int>(db_pieces.size()))
        return 0;
    return atoi(db_pieces[k].c_str());
}

// Fills slots from the first on; excess items are ignored, slots without an
// item keep their value.
static void db_fillSlots(int *slots, int count)
{
    int n = db_cut();
    for (int k = 0; k < count && k < n; k++)
        slots[k] = db_item(k);
}

static void db_appendAll(std::vector<int> &out)
{
    int n = db_cut();
    for (int k = 0; k < n; k++)
        out.push_back(db_item(k));
}

static void db_appendLearning(std::vector<DBSkillLearning> &out)
{
    db_cut();
    DBSkillLearning entry;
    entry.first = db_item(0);
    entry.second = db_item(1);
    out.push_back(entry);
}

static void db_appendGain(std::vector<DBEnemyGain> &out)
{
    int n = db_cut();
    DBEnemyGain entry;
    entry.first = db_item(0);
    entry.second = db_item(1);
    if (n > 2)
        entry.third = db_pieces[2];
    out.push_back(entry);
}

// ---------------------------------------------------------------------------
// The readers' bodies, run in protected calls
// ---------------------------------------------------------------------------

static int db_readSystemBody(lua_State *s)
{
    DbTable sys;
    db_global(s, "system", sys);

    db_string(s, sys, "fontNormal", db_text);
    dbSystem.fontNormal = "gfx/fonts/" + db_text;
    db_string(s, sys, "fontDamage", db_text);
    dbSystem.fontDamage = "gfx/fonts/" + db_text;
    db_string(s, sys, "fontSpecial", db_text);
    dbSystem.fontSpecial = "gfx/fonts/" + db_text;

    dbSystem.fontSizeS = db_int(s, sys, "fontSizeS");
    dbSystem.fontSizeM = db_int(s, sys, "fontSizeM");
    dbSystem.fontSizeL = db_int(s, sys, "fontSizeL");

    db_string(s, sys, "startParty", db_text);
    int n = db_cut();
    if (n > DB_PARTY_SLOTS)
        luaL_error(s, "system.startParty: %d actor ids given, the party has %d slots", n, static_cast<int>(DB_PARTY_SLOTS));
    int ids[DB_PARTY_SLOTS] = {0, 0, 0, 0};
    for (int k = 0; k < n; k++) {
        ids[k] = db_item(k);
        if (ids[k] < 0 || ids[k] >= DB_ACTOR_COUNT)
            luaL_error(s, "system.startParty: actor id %d is outside 0 to %d", ids[k], DB_ACTOR_COUNT - 1);
    }
    for (int k = 0; k < DB_PARTY_SLOTS; k++)
        dbSystem.startParty[k] = ids[k];

    DbTable pos;
    db_table(s, sys, "startPos", pos);
    dbSystem.startX = db_int(s, pos, "X");
    dbSystem.startY = db_int(s, pos, "Y");
    db_string(s, pos, "map", dbSystem.startMap);
    lua_settop(s, sys.index);

    dbSystem.levelMax = db_int(s, sys, "levelMax");
    return 0;
}

static int db_readActorsBody(lua_State *s)
{
    DbTable table;
    db_global(s, "actors", table);
    lua_Integer n = db_count(s, table, "actorSize", DB_ACTOR_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "actor%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBActor &a = dbActor[i];

        a.anim_w = db_int(s, rec, "anim_w");
        a.anim_h = db_int(s, rec, "anim_h");
        db_string(s, rec, "graphicName", a.graphicName);
        a.w = db_int(s, rec, "w");
        a.h = db_int(s, rec, "h");
        a.yOff = db_int(s, rec, "yOff");
        db_string(s, rec, "defaultName", a.defaultName);
        db_string(s, rec, "profession", a.profession);
        a.classId = db_int(s, rec, "class");
        a.levelStart = db_int8(s, rec, "levelStart");
        a.expBase = db_int8(s, rec, "expBase");
        a.expGrowth = db_int8(s, rec, "expGrowth");
        a.lifeBase = db_int(s, rec, "lifeBase");
        a.lifeGrowth = db_int(s, rec, "lifeGrowth");
        a.manaBase = db_int(s, rec, "manaBase");
        a.manaGrowth = db_int(s, rec, "manaGrowth");
        a.strBase = db_int(s, rec, "strBase");
        a.vitBase = db_int(s, rec, "vitBase");
        a.agiBase = db_int(s, rec, "agiBase");
        a.intBase = db_int(s, rec, "intBase");
        a.dexBase = db_int(s, rec, "dexBase");

        DbTable learnings;
        db_table(s, rec, "learnings", learnings);
        uint32_t m = db_listSize(s, learnings);
        for (uint32_t j = 0; j < m; j++) {
            char learnKey[32];
            snprintf(learnKey, sizeof learnKey, "learn%u", static_cast<unsigned>(j));
            db_string(s, learnings, learnKey, db_text);
            db_appendLearning(a.learnings);
        }
        lua_settop(s, rec.index);

        db_string(s, rec, "equips", db_text);
        db_fillSlots(a.equips, DB_EQUIP_SLOTS);
        lua_settop(s, table.index);
    }
    return 0;
}

static int db_readClassesBody(lua_State *s)
{
    DbTable table;
    db_global(s, "classes", table);
    lua_Integer n = db_count(s, table, "classSize", DB_CLASS_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "class%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBClass &c = dbClass[i];
        db_string(s, rec, "elementResist", db_text);
        db_appendAll(c.elementResist);
        db_string(s, rec, "conditionResist", db_text);
        db_appendAll(c.conditionResist);
        db_string(s, rec, "features", db_text);
        db_appendAll(c.features);
        db_string(s, rec, "canEquip", db_text);
        db_appendAll(c.canEquip);
        lua_settop(s, table.index);
    }
    return 0;
}

static int db_readItemsBody(lua_State *s)
{
    DbTable table;
    db_global(s, "useable", table);
    lua_Integer n = db_count(s, table, "useableSize", DB_ITEM_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "useable%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBUsableItem &item = dbItem[i];
        db_string(s, rec, "name", item.name);
        db_string(s, rec, "description", item.description);
        db_string(s, rec, "behaviour", item.behaviour);
        item.kind = db_int(s, rec, "kind");
        item.canUse = db_int(s, rec, "canUse");
        lua_settop(s, table.index);
    }
    return 0;
}

static int db_readStatesBody(lua_State *s)
{
    DbTable table;
    db_global(s, "states", table);
    lua_Integer n = db_count(s, table, "stateSize", DB_STATE_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "state%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBState &st = dbState[i];
        db_string(s, rec, "name", st.name);
        db_string(s, rec, "behaviour", st.behaviour);
        db_string(s, rec, "counterBehaviour", st.counterBehaviour);
        st.priority = db_int(s, rec, "priority");
        st.persist = db_int(s, rec, "persist");
        st.restriction = db_int(s, rec, "restriction");
        st.lockSkill = db_int(s, rec, "lockSkill");
        st.pose = db_int(s, rec, "pose");
        st.animation = db_int(s, rec, "animation");
        st.hitPerc = db_int(s, rec, "hitPerc");
        st.critPerc = db_int(s, rec, "critPerc");
        st.strPerc = db_int(s, rec, "strPerc");
        st.vitPerc = db_int(s, rec, "vitPerc");
        st.agiPerc = db_int(s, rec, "agiPerc");
        st.intPerc = db_int(s, rec, "intPerc");
        st.dexPerc = db_int(s, rec, "dexPerc");
        st.expPerc = db_int(s, rec, "expPerc");
        db_string(s, rec, "chance", db_text);
        db_fillSlots(st.chance, DB_CHANCE_SLOTS);
        lua_settop(s, table.index);
    }
    return 0;
}

static int db_readAttributesBody(lua_State *s)
{
    DbTable table;
    db_global(s, "attributes", table);
    lua_Integer n = db_count(s, table, "attribSize", DB_ATTRIBUTE_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "attrib%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBAttribute &attr = dbAttribute[i];
        db_string(s, rec, "name", attr.name);
        db_string(s, rec, "mult", db_text);
        db_fillSlots(attr.mult, DB_CHANCE_SLOTS);
        lua_settop(s, table.index);
    }
    return 0;
}

static int db_readEnemiesBody(lua_State *s)
{
    DbTable table;
    db_global(s, "enemies", table);
    lua_Integer n = db_count(s, table, "enemySize", DB_ENEMY_COUNT);
    for (int i = 1; i <= n; i++) {
        char key[32];
        snprintf(key, sizeof key, "enemy%d", i);
        DbTable rec;
        db_table(s, table, key, rec);
        DBEnemy &e = dbEnemy[i];
        db_string(s, rec, "name", e.name);
        e.classId = db_int(s, rec, "class");
        e.level = db_int(s, rec, "level");
        e.expGive = db_int(s, rec, "expGive");
        e.moneyGive = db_int(s, rec, "moneyGive");

        DbTable treasure;
        db_table(s, rec, "treasure", treasure);
        uint32_t m = db_listSize(s, treasure);
        for (uint32_t j = 0; j < m; j++) {
            char itemKey[32];
            snprintf(itemKey, sizeof itemKey, "item%u", static_cast<unsigned>(j));
            db_string(s, treasure, itemKey, db_text);
            db_appendGain(e.treasure);
        }
        lua_settop(s, rec.index);

        e.life = db_int(s, rec, "life");
        e.mana = db_int(s, rec, "mana");
        e.strBase = db_int(s, rec, "strBase");
        e.vitBase = db_int(s, rec, "vitBase");
        e.agiBase = db_int(s, rec, "agiBase");
        e.intBase = db_int(s, rec, "intBase");
        e.dexBase = db_int(s, rec, "dexBase");
        db_string(s, rec, "behaviour", e.behaviour);
        db_string(s, rec, "elementResist", db_text);
        db_appendAll(e.elementResist);
        db_string(s, rec, "conditionResist", db_text);
        db_appendAll(e.conditionResist);
        db_string(s, rec, "features", db_text);
        db_appendAll(e.features);
        lua_settop(s, table.index);
    }
    return 0;
}

// A C++ exception must not unwind through Lua's C frames and out of the
// protected call: one thrown by a reader (out of memory while appending)
// becomes a Lua error, raised once the handler has finished with it.
static int db_guard(lua_State *s)
{
    lua_CFunction body = lua_tocfunction(s, 1);
    lua_settop(s, 0);
    char fault[128];
    try {
        return body(s);
    } catch (const std::exception &e) {
        snprintf(fault, sizeof fault, "%s", e.what());
    }
    return luaL_error(s, "reading stopped: %s", fault);
}

// Runs one reader's body in a protected call on the data file's state.
static bool db_run(lua_CFunction body)
{
    if (!Ll) {
        db_report("no data file has been opened");
        return false;
    }
    int top = lua_gettop(Ll);
    lua_pushcfunction(Ll, db_guard);
    lua_pushcfunction(Ll, body);
    bool ok = parse_protectedCall(Ll, 1, 0) == LUA_OK;
    if (!ok && !db_stopped.empty()) {
        db_report(db_stopped.c_str());
        db_stopped.clear();
    }
    if (!ok)
        db_report(parse_errorText(Ll));
    lua_settop(Ll, top);
    return ok;
}

bool database_readSystem() { return db_run(db_readSystemBody); }
bool database_readActors() { return db_run(db_readActorsBody); }
bool database_readClasses() { return db_run(db_readClassesBody); }
bool database_readItems() { return db_run(db_readItemsBody); }
bool database_readEnemies() { return db_run(db_readEnemiesBody); }
bool database_readStates() { return db_run(db_readStatesBody); }
bool database_readAttributes() { return db_run(db_readAttributesBody); }

// ---------------------------------------------------------------------------
// Start-up
// ---------------------------------------------------------------------------

static void db_clearRecords()
{
    dbSystem = DBSystem();
    for (DBActor &r : dbActor)
        r = DBActor();
    for (DBClass &r : dbClass)
        r = DBClass();
    for (DBUsableItem &r : dbItem)
        r = DBUsableItem();
    for (DBEnemy &r : dbEnemy)
        r = DBEnemy();
    for (DBState &r : dbState)
        r = DBState();
    for (DBAttribute &r : dbAttribute)
        r = DBAttribute();
}

// Forgets the data file's state; only a second read or a file that did not
// load reaches here, and the state has no other user.
static void db_closeState()
{
    if (!Ll)
        return;
    if (L == Ll)
        L = nullptr;
    lua_close(Ll);
    Ll = nullptr;
}

bool database_initFrom(const char *path)
{
    db_path = path ? path : "";
    db_clearRecords();
    db_closeState();
    if (!path)
        return false;

    ParseOutcome outcome;
    Ll = parse_scriptOpen(path, false, &db_stopped, &outcome);
    if (!Ll) {
        db_report("not enough memory for a Lua state");
        return false;
    }
    if (outcome == PARSE_NOT_LOADED) {
        db_report(db_stopped.c_str());
        db_stopped.clear();
        db_closeState();
        return false;
    }
    if (outcome != PARSE_STOPPED)
        db_stopped.clear();
    bool ok = database_readSystem() && database_readActors() && database_readClasses()
        && database_readItems() && database_readStates() && database_readAttributes();
    if (!ok)
        return false;
    test_variables();
    return true;
}

bool database_init()
{
    return database_initFrom(engine_localPath("data\\database.lua").c_str());
}

void test_variables()
{
    fprintf(stderr, "MAP: %s\nX: %d\nY: %d\n", dbSystem.startMap.c_str(), dbSystem.startX, dbSystem.startY);
    fprintf(stderr, "%s %s %s \n", dbActor[1].graphicName.c_str(), dbActor[1].defaultName.c_str(), dbActor[1].profession.c_str());
    fprintf(stderr, "%s %s %s \n\n", dbActor[2].graphicName.c_str(), dbActor[2].defaultName.c_str(), dbActor[2].profession.c_str());
    fprintf(stderr, "%s %d %d \n", dbEnemy[1].name.c_str(), dbEnemy[1].life, dbEnemy[1].level);
}

DBSystem *getDBSystem()
{
    return &dbSystem;
}

DBActor *getDBActor(int id)
{
    if (id < 0 || id >= DB_ACTOR_COUNT) {
        fprintf(stderr, "getDBActor: actor id %d is outside 0 to %d; using the empty definition.\n", id, DB_ACTOR_COUNT - 1);
        return &dbActor[0];
    }
    return &dbActor[id];
}
