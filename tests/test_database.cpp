#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "database.h"
#include "test_support.h"

namespace {

// The parts of a small, valid data file; a test replaces the ones it needs.
struct DataFile {
    std::string system =
        "system = { fontNormal = 'a.ttf', fontDamage = 'b.ttf', fontSpecial = 'c.ttf',\n"
        "  fontSizeS = 10, fontSizeM = 14, fontSizeL = 20, startParty = '1',\n"
        "  startPos = { X = 32, Y = 48, map = 'town.tmx' }, levelMax = 50 }\n";
    std::string actors =
        "actors = { actorSize = 1, actor1 = " + actor("hero.png", "Aren", "Knight") + " }\n";
    std::string classes =
        "classes = { classSize = 1, class1 = { elementResist = '1', conditionResist = '2',\n"
        "  features = '3', canEquip = '4' } }\n";
    std::string useable =
        "useable = { useableSize = 1, useable1 = { name = 'Herb', description = 'd',\n"
        "  behaviour = 'b', kind = 2, canUse = 1 } }\n";
    std::string states =
        "states = { stateSize = 1, state1 = " + state("'1,2'") + " }\n";
    std::string attributes =
        "attributes = { attribSize = 1, attrib1 = { name = 'Fire', mult = '1,2,3' } }\n";
    std::string extra;

    static std::string actor(const std::string &graphic, const std::string &name, const std::string &profession,
        const std::map<std::string, std::string> &over = {})
    {
        std::map<std::string, std::string> keys = {
            {"anim_w", "32"}, {"anim_h", "48"}, {"graphicName", "'" + graphic + "'"}, {"w", "20"}, {"h", "14"},
            {"yOff", "46"}, {"defaultName", "'" + name + "'"}, {"profession", "'" + profession + "'"},
            {"class", "1"}, {"levelStart", "1"}, {"expBase", "10"}, {"expGrowth", "5"}, {"lifeBase", "100"},
            {"lifeGrowth", "10"}, {"manaBase", "20"}, {"manaGrowth", "3"}, {"strBase", "1"}, {"vitBase", "2"},
            {"agiBase", "3"}, {"intBase", "4"}, {"dexBase", "5"},
            {"learnings", "{ size = 0 }"}, {"equips", "''"},
        };
        for (const auto &kv : over)
            keys[kv.first] = kv.second;
        std::string out = "{ ";
        for (const auto &kv : keys) {
            if (kv.second != "nil")
                out += kv.first + " = " + kv.second + ", ";
        }
        return out + "}";
    }

    static std::string state(const std::string &chance)
    {
        return "{ name = 'Poison', behaviour = 'b', counterBehaviour = 'c', priority = 1, persist = 2,\n"
               "  restriction = 3, lockSkill = 4, pose = 5, animation = 6, hitPerc = 7, critPerc = 8,\n"
               "  strPerc = 9, vitPerc = 10, agiPerc = 11, intPerc = 12, dexPerc = 13, expPerc = 14,\n"
               "  chance = " + chance + " }";
    }

    std::string text() const
    {
        return system + actors + classes + useable + states + attributes + extra;
    }
};

class DatabaseTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string path;
    std::string err;

    void SetUp() override
    {
        ASSERT_FALSE(dir.path().empty());
        path = dir.file("database.lua");
    }

    void write(const std::string &text)
    {
        std::ofstream out(path);
        out << text;
    }

    // Reads the file, keeping what it wrote on standard error.
    bool load(const std::string &text)
    {
        write(text);
        testing::internal::CaptureStderr();
        bool ok = database_initFrom(path.c_str());
        err = testing::internal::GetCapturedStderr();
        return ok;
    }

    // A failed read writes exactly one line naming the file and the fault.
    void expectError(const std::string &fragment)
    {
        EXPECT_EQ(err.find("Error in data file \"" + path + "\": "), 0u) << err;
        EXPECT_NE(err.find(fragment), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    }
};

TEST_F(DatabaseTest, SystemRecord)
{
    DataFile f;
    f.system =
        "system = { fontNormal = 'n.ttf', fontDamage = 'd.ttf', fontSpecial = 's.ttf',\n"
        "  fontSizeS = '11', fontSizeM = 16.0, fontSizeL = 24, startParty = '1,2',\n"
        "  startPos = { X = 100, Y = -7, map = 'village.tmx' }, levelMax = 99 }\n";
    ASSERT_TRUE(load(f.text())) << err;
    const DBSystem *s = getDBSystem();
    EXPECT_EQ(s, &dbSystem);
    EXPECT_EQ(s->fontNormal + s->fontDamage + s->fontSpecial, "gfx/fonts/n.ttfgfx/fonts/d.ttfgfx/fonts/s.ttf");
    EXPECT_EQ(s->fontSizeS * 10000 + s->fontSizeM * 100 + s->fontSizeL, 111624);
    EXPECT_EQ(s->startMap, "village.tmx");
    EXPECT_EQ(s->startX, 100);
    EXPECT_EQ(s->startY, -7);
    EXPECT_EQ(s->levelMax, 99);
    // The event commands belong to map scripts only.
    lua_getglobal(Ll, "command");
    EXPECT_TRUE(lua_isnil(Ll, -1));
    lua_pop(Ll, 1);
}

TEST_F(DatabaseTest, StartParty)
{
    struct Case {
        const char *value;
        int slots[4];
    } cases[] = {
        {"'1,2'", {1, 2, 0, 0}},
        {"3", {3, 0, 0, 0}},
        {"''", {0, 0, 0, 0}},
        {"' 4, 2x'", {4, 2, 0, 0}},
        {"'1,,3,31'", {1, 0, 3, 31}},
    };
    for (const Case &c : cases) {
        DataFile f;
        f.system =
            std::string("system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1,\n"
                        "  fontSizeM = 2, fontSizeL = 3, startParty = ") + c.value +
            ", startPos = { X = 0, Y = 0, map = 'm' }, levelMax = 1 }\n";
        ASSERT_TRUE(load(f.text())) << c.value << ": " << err;
        for (int k = 0; k < 4; k++)
            EXPECT_EQ(dbSystem.startParty[k], c.slots[k]) << c.value << " slot " << k;
    }
}

TEST_F(DatabaseTest, ActorRecordsAndNarrowFields)
{
    DataFile f;
    f.actors = "actors = { actorSize = 3, actor1 = " +
        DataFile::actor("a.png", "A", "Pa", {{"levelStart", "200"}, {"expBase", "-10"}, {"expGrowth", "300"}}) +
        ", actor2 = " + DataFile::actor("b.png", "B", "Pb", {{"levelStart", "5"}, {"expGrowth", "200"}}) +
        ", actor3 = " + DataFile::actor("c.png", "C", "Pc", {{"class", "'7'"}, {"levelStart", "-1"}}) +
        ", actor4 = " + DataFile::actor("d.png", "D", "Pd") + " }\n";
    ASSERT_TRUE(load(f.text())) << err;

    const DBActor *a = getDBActor(1);
    EXPECT_EQ(a->graphicName + a->defaultName + a->profession, "a.pngAPa");
    EXPECT_EQ(a->anim_h, 48);
    EXPECT_EQ(a->yOff, 46);
    EXPECT_EQ(a->dexBase, 5);
    EXPECT_EQ(a->levelStart, -56);
    EXPECT_EQ(a->expBase, -10);
    EXPECT_EQ(a->expGrowth, 44);

    EXPECT_EQ(dbActor[2].levelStart, 5);
    EXPECT_EQ(dbActor[2].expGrowth, -56);
    EXPECT_EQ(dbActor[3].classId, 7);
    EXPECT_EQ(dbActor[3].levelStart, -1);
    // Beyond the count nothing is read.
    EXPECT_EQ(dbActor[4].graphicName, "");
    EXPECT_EQ(getDBActor(0)->graphicName, "");
}

TEST_F(DatabaseTest, ActorCountZeroReadsNoRecord)
{
    DataFile f;
    f.actors = "actors = { actorSize = 0, actor1 = 'not a record' }\n";
    ASSERT_TRUE(load(f.text())) << err;
    EXPECT_EQ(dbActor[1].graphicName, "");
}

TEST_F(DatabaseTest, CommaListsFillFromTheFirstEntry)
{
    DataFile f;
    f.actors = "actors = { actorSize = 3, actor1 = " + DataFile::actor("a", "A", "A", {{"equips", "'7,0,12'"}}) +
        ", actor2 = " + DataFile::actor("b", "B", "B", {{"equips", "'1,2,3,4,5,6,7'"}}) +
        ", actor3 = " + DataFile::actor("c", "C", "C", {{"equips", "''"}}) + " }\n";
    f.classes =
        "classes = { classSize = 3,\n"
        "  class1 = { elementResist = '', conditionResist = '5', features = '4,,2', canEquip = '1,2,' },\n"
        "  class2 = { elementResist = 9, conditionResist = ',1', features = '', canEquip = ' -3x' },\n"
        "  class3 = { elementResist = '1,2,3,4,5,6,7,8,9,10', conditionResist = '', features = '', canEquip = '' } }\n";
    f.states = "states = { stateSize = 3, state1 = " + DataFile::state("'10,20,30,40,50,60,70'") +
        ", state2 = " + DataFile::state("'5'") + ", state3 = " + DataFile::state("''") + " }\n";
    f.attributes =
        "attributes = { attribSize = 2, attrib1 = { name = 'Fire', mult = '' },\n"
        "  attrib2 = { name = 'Ice', mult = '1,2,3,4,5,6,7' } }\n";
    ASSERT_TRUE(load(f.text())) << err;

    const int e1[5] = {7, 0, 12, 0, 0}, e2[5] = {1, 2, 3, 4, 5};
    for (int k = 0; k < 5; k++) {
        EXPECT_EQ(dbActor[1].equips[k], e1[k]);
        EXPECT_EQ(dbActor[2].equips[k], e2[k]);
        EXPECT_EQ(dbActor[3].equips[k], 0);
    }

    EXPECT_EQ(dbClass[1].elementResist, std::vector<int>{});
    EXPECT_EQ(dbClass[1].conditionResist, std::vector<int>{5});
    EXPECT_EQ(dbClass[1].features, (std::vector<int>{4, 0, 2}));
    EXPECT_EQ(dbClass[1].canEquip, (std::vector<int>{1, 2}));
    EXPECT_EQ(dbClass[2].elementResist, std::vector<int>{9});
    EXPECT_EQ(dbClass[2].conditionResist, (std::vector<int>{0, 1}));
    EXPECT_EQ(dbClass[2].canEquip, std::vector<int>{-3});
    EXPECT_EQ(dbClass[3].elementResist.size(), 10u);

    for (int k = 0; k < 6; k++) {
        EXPECT_EQ(dbState[1].chance[k], 10 * (k + 1));
        EXPECT_EQ(dbState[2].chance[k], k == 0 ? 5 : 0);
        EXPECT_EQ(dbState[3].chance[k], 0);
        EXPECT_EQ(dbAttribute[1].mult[k], 0);
        EXPECT_EQ(dbAttribute[2].mult[k], k + 1);
    }
}

TEST_F(DatabaseTest, LearningsAndShortEntries)
{
    DataFile f;
    f.actors = "actors = { actorSize = 2, actor1 = " +
        DataFile::actor("a", "A", "A", {{"learnings", "{ size = 2, learn0 = '3,10', learn1 = '5,20,99' }"}}) +
        ", actor2 = " +
        DataFile::actor("b", "B", "B", {{"learnings", "{ size = 3, learn0 = '7', learn1 = '', learn2 = 8 }"}}) +
        " }\n";
    ASSERT_TRUE(load(f.text())) << err;
    ASSERT_EQ(dbActor[1].learnings.size(), 2u);
    EXPECT_EQ(dbActor[1].learnings[0].first, 3);
    EXPECT_EQ(dbActor[1].learnings[0].second, 10);
    EXPECT_EQ(dbActor[1].learnings[1].first, 5);
    EXPECT_EQ(dbActor[1].learnings[1].second, 20);
    ASSERT_EQ(dbActor[2].learnings.size(), 3u);
    EXPECT_EQ(dbActor[2].learnings[0].first, 7);
    EXPECT_EQ(dbActor[2].learnings[0].second, 0);
    EXPECT_EQ(dbActor[2].learnings[1].first, 0);
    EXPECT_EQ(dbActor[2].learnings[2].first, 8);
}

TEST_F(DatabaseTest, ItemsStatesAttributes)
{
    ASSERT_TRUE(load(DataFile().text())) << err;
    EXPECT_EQ(dbItem[1].name, "Herb");
    EXPECT_EQ(dbItem[1].description, "d");
    EXPECT_EQ(dbItem[1].behaviour, "b");
    EXPECT_EQ(dbItem[1].kind, 2);
    EXPECT_EQ(dbItem[1].canUse, 1);
    const DBState &s = dbState[1];
    EXPECT_EQ(s.name, "Poison");
    EXPECT_EQ(s.behaviour, "b");
    EXPECT_EQ(s.counterBehaviour, "c");
    const int values[] = {s.priority, s.persist, s.restriction, s.lockSkill, s.pose, s.animation, s.hitPerc,
        s.critPerc, s.strPerc, s.vitPerc, s.agiPerc, s.intPerc, s.dexPerc, s.expPerc};
    for (int k = 0; k < 14; k++)
        EXPECT_EQ(values[k], k + 1);
    EXPECT_EQ(dbAttribute[1].name, "Fire");
    // Enemies are not read at start-up.
    EXPECT_EQ(dbEnemy[1].name, "");
}

TEST_F(DatabaseTest, TablesReadThroughIndexMetamethods)
{
    DataFile f;
    f.attributes =
        "local inner = { name = 'Wind', mult = '4' }\n"
        "attributes = { attribSize = 1, attrib1 = inner }\n";
    f.extra = "return function() setmetatable(attributes, { __index = { attrib2 = { name = 'X', mult = '' } } }) "
              "attributes.attribSize = 2 end\n";
    ASSERT_TRUE(load(f.text())) << err;
    EXPECT_EQ(dbAttribute[1].name, "Wind");
    EXPECT_EQ(dbAttribute[1].mult[0], 4);
    EXPECT_EQ(dbAttribute[2].name, "X");
}

TEST_F(DatabaseTest, EnemiesReadOnRequest)
{
    // Without the table the reader reports it and returns.
    ASSERT_TRUE(load(DataFile().text())) << err;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(database_readEnemies());
    err = testing::internal::GetCapturedStderr();
    expectError("global 'enemies' is not a table (got nil)");

    DataFile f;
    f.extra =
        "enemies = { enemySize = 1, enemy1 = { name = 'Slime', class = 2, level = 3, expGive = 4,\n"
        "  moneyGive = 5, treasure = { size = 3, item0 = '3,1, abc,zz', item1 = '4', item2 = '' },\n"
        "  life = 30, mana = 6, strBase = 7, vitBase = 8, agiBase = 9, intBase = 10, dexBase = 11,\n"
        "  behaviour = 'bite', elementResist = '1,2', conditionResist = '', features = '5' } }\n";
    ASSERT_TRUE(load(f.text())) << err;
    EXPECT_EQ(dbEnemy[1].name, "");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(database_readEnemies());
    testing::internal::GetCapturedStderr();
    const DBEnemy &e = dbEnemy[1];
    EXPECT_EQ(e.name, "Slime");
    EXPECT_EQ(e.level, 3);
    EXPECT_EQ(e.life, 30);
    EXPECT_EQ(e.behaviour, "bite");
    EXPECT_EQ(e.elementResist, (std::vector<int>{1, 2}));
    EXPECT_EQ(e.features, std::vector<int>{5});
    ASSERT_EQ(e.treasure.size(), 3u);
    EXPECT_EQ(e.treasure[0].first, 3);
    EXPECT_EQ(e.treasure[0].second, 1);
    EXPECT_EQ(e.treasure[0].third, " abc");
    EXPECT_EQ(e.treasure[1].first, 4);
    EXPECT_EQ(e.treasure[1].second, 0);
    EXPECT_EQ(e.treasure[1].third, "");
    EXPECT_EQ(e.treasure[2].first, 0);
}

TEST_F(DatabaseTest, StartUpDump)
{
    ASSERT_TRUE(load(DataFile().text()));
    EXPECT_EQ(err, "MAP: town.tmx\nX: 32\nY: 48\nhero.png Aren Knight \n   \n\n 0 0 \n");

    DataFile f;
    f.actors = "actors = { actorSize = 2, actor1 = " + DataFile::actor("hero.png", "Aren", "Knight") +
        ", actor2 = " + DataFile::actor("mage.png", "Lysa", "Scholar") + " }\n";
    ASSERT_TRUE(load(f.text()));
    EXPECT_EQ(err, "MAP: town.tmx\nX: 32\nY: 48\nhero.png Aren Knight \nmage.png Lysa Scholar \n\n 0 0 \n");
}

TEST_F(DatabaseTest, MissingKeyKeepsWhatWasRead)
{
    DataFile f;
    f.system =
        "system = { fontNormal = 'a.ttf', fontDamage = 'b.ttf', fontSpecial = 'c.ttf',\n"
        "  fontSizeS = 10, fontSizeM = 14, fontSizeL = 20, startParty = '2,1',\n"
        "  startPos = { X = 32, Y = 48, map = 'town.tmx' } }\n";
    EXPECT_FALSE(load(f.text()));
    expectError("system.levelMax: integer expected, got nil");
    EXPECT_EQ(dbSystem.fontSpecial, "gfx/fonts/c.ttf");
    EXPECT_EQ(dbSystem.fontSizeL, 20);
    EXPECT_EQ(dbSystem.startParty[1], 1);
    EXPECT_EQ(dbSystem.startY, 48);
    // Reading stopped: no dump, no actors.
    EXPECT_EQ(err.find("MAP:"), std::string::npos);
    EXPECT_EQ(dbActor[1].graphicName, "");
}

TEST_F(DatabaseTest, BadDataFilesAreReported)
{
    struct Case {
        const char *what;
        std::string DataFile::*part;
        std::string text;
        const char *message;
    } cases[] = {
        {"float size", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1, fontSizeM = 16.5 }\n",
            "system.fontSizeM: number has no integer representation"},
        {"text size", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 'big' }\n",
            "system.fontSizeS: integer expected, got string"},
        {"table as string", &DataFile::system, "system = { fontNormal = {} }\n",
            "system.fontNormal: string expected, got table"},
        {"missing start position", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1, fontSizeM = 2,\n"
            "  fontSizeL = 3, startParty = '' }\n",
            "system.startPos: table expected, got nil"},
        {"missing system", &DataFile::system, "", "global 'system' is not a table (got nil)"},
        {"missing actors", &DataFile::actors, "", "global 'actors' is not a table (got nil)"},
        {"count of 40", &DataFile::actors, "actors = { actorSize = 40 }\n",
            "actors.actorSize is 40, more than the 31 records this table holds"},
        {"class count", &DataFile::classes, "classes = { classSize = 16 }\n",
            "classes.classSize is 16, more than the 15 records this table holds"},
        {"item count", &DataFile::useable, "useable = { useableSize = 256 }\n",
            "useable.useableSize is 256, more than the 255"},
        {"state count", &DataFile::states, "states = { stateSize = 99 }\n", "states.stateSize is 99"},
        {"attribute count", &DataFile::attributes, "attributes = { attribSize = 16 }\n",
            "attributes.attribSize is 16"},
        {"five start-party items", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1, fontSizeM = 2,\n"
            "  fontSizeL = 3, startParty = '1,2,3,4,5' }\n",
            "system.startParty: 5 actor ids given, the party has 4 slots"},
        {"start-party id", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1, fontSizeM = 2,\n"
            "  fontSizeL = 3, startParty = '1,32' }\n",
            "system.startParty: actor id 32 is outside 0 to 31"},
        {"negative start-party id", &DataFile::system,
            "system = { fontNormal = 'a', fontDamage = 'b', fontSpecial = 'c', fontSizeS = 1, fontSizeM = 2,\n"
            "  fontSizeL = 3, startParty = '-1' }\n",
            "actor id -1 is outside 0 to 31"},
        {"missing record", &DataFile::actors,
            "actors = { actorSize = 2, actor1 = " + DataFile::actor("a", "A", "A") + ", actor3 = {} }\n",
            "actors.actor2: table expected, got nil"},
        {"learnings longer than entries", &DataFile::actors,
            "actors = { actorSize = 1, actor1 = " +
                DataFile::actor("a", "A", "A", {{"learnings", "{ size = 2, learn0 = '1,2' }"}}) + " }\n",
            "actors.actor1.learnings.learn1: string expected, got nil"},
        {"item without canUse", &DataFile::useable,
            "useable = { useableSize = 1, useable1 = { name = 'n', description = 'd', behaviour = 'b', kind = 3 } }\n",
            "useable.useable1.canUse: integer expected, got nil"},
        {"syntax error", &DataFile::extra, "this is not Lua", "syntax error"},
        {"precompiled", &DataFile::system, "\x1bLua\x53", "attempt to load a binary chunk"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        DataFile f;
        f.*(c.part) = c.text;
        EXPECT_FALSE(load(f.text()));
        expectError(c.message);
        EXPECT_EQ(err.find("MAP:"), std::string::npos);
    }
    // The record before the missing one was kept; the item's first keys too.
    DataFile f;
    f.useable = cases[16].text;
    EXPECT_FALSE(load(f.text()));
    EXPECT_EQ(dbItem[1].behaviour, "b");
    EXPECT_EQ(dbItem[1].kind, 3);
    f = DataFile();
    f.actors = cases[14].text;
    EXPECT_FALSE(load(f.text()));
    EXPECT_EQ(dbActor[1].graphicName, "a");

    // A top level that stops (the libraries are not open there) is named
    // first, with its line, when a read then fails; not when the reads all
    // succeed, and never for the call of a value the file returns.
    f = DataFile();
    f.system = "print('hello')\n" + f.system;
    EXPECT_FALSE(load(f.text()));
    EXPECT_EQ(err, "Error in data file \"" + path + "\": " + path + ":1: attempt to call a nil value (global 'print')\n"
                   "Error in data file \"" + path + "\": global 'system' is not a table (got nil)\n");
    f = DataFile();
    f.extra = "levelMax = math.floor(50.5)\n";
    EXPECT_TRUE(load(f.text()));
    EXPECT_EQ(err.find("Error"), std::string::npos) << err;
    f.system = "";
    f.extra = "return 5\n";
    EXPECT_FALSE(load(f.text()));
    expectError("global 'system' is not a table (got nil)");
}

// Entries that come from an __index function never run out: only the list's
// size ends the reading, so a negative or huge size is refused at once.
TEST_F(DatabaseTest, NestedListSizesAreBounded)
{
    auto endless = [](const std::string &list) {
        return "return function() setmetatable(" + list + ", { __index = function() return '3,4,x' end }) end\n";
    };
    const struct {
        const char *size;
        const char *message;
    } cases[] = {
        {"-1", "actors.actor1.learnings.size is -1, outside 0 to 65536"},
        {"65537", "actors.actor1.learnings.size is 65537, outside 0 to 65536"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        DataFile f;
        f.actors = "actors = { actorSize = 1, actor1 = " +
            DataFile::actor("a", "A", "A", {{"learnings", std::string("{ size = ") + c.size + " }"}}) + " }\n";
        f.extra = endless("actors.actor1.learnings");
        EXPECT_FALSE(load(f.text()));
        expectError(c.message);
        EXPECT_EQ(dbActor[1].dexBase, 5);
        EXPECT_TRUE(dbActor[1].learnings.empty());
    }

    // The bound itself is a list like any other.
    DataFile f;
    f.actors = "actors = { actorSize = 1, actor1 = " +
        DataFile::actor("a", "A", "A", {{"learnings", "{ size = 65536 }"}}) + " }\n";
    f.extra = endless("actors.actor1.learnings");
    ASSERT_TRUE(load(f.text())) << err;
    ASSERT_EQ(dbActor[1].learnings.size(), static_cast<size_t>(DB_LIST_MAX));
    EXPECT_EQ(dbActor[1].learnings.back().second, 4);

    // Enemy treasure, read on request, is bounded the same way.
    f = DataFile();
    f.extra =
        "enemies = { enemySize = 1, enemy1 = { name = 'Slime', class = 1, level = 1, expGive = 1,\n"
        "  moneyGive = 1, treasure = { size = -1 } } }\n" + endless("enemies.enemy1.treasure");
    ASSERT_TRUE(load(f.text())) << err;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(database_readEnemies());
    err = testing::internal::GetCapturedStderr();
    expectError("enemies.enemy1.treasure.size is -1, outside 0 to 65536");
    EXPECT_EQ(dbEnemy[1].moneyGive, 1);
    EXPECT_TRUE(dbEnemy[1].treasure.empty());
}

TEST_F(DatabaseTest, MissingFileIsReported)
{
    testing::internal::CaptureStderr();
    EXPECT_FALSE(database_initFrom(path.c_str()));
    err = testing::internal::GetCapturedStderr();
    expectError("cannot open");

    // A named pipe or a device is missing too: opening a pipe would wait for
    // a writer, and a device may never end.
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    for (const std::string &special : {path, std::string("/dev/zero")}) {
        testing::internal::CaptureStderr();
        EXPECT_FALSE(database_initFrom(special.c_str()));
        err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err, "Error in data file \"" + special + "\": cannot open " + special + ": not a regular file\n");
    }
}

TEST(DemoGame, DataFileLoads)
{
    std::string game = std::string(VEMRA_SOURCE_DIR) + "/game/";
    testing::internal::CaptureStderr();
    bool ok = database_initFrom((game + "data/database.lua").c_str());
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << err;
    EXPECT_EQ(err.find("Error"), std::string::npos) << err;
    EXPECT_FALSE(dbSystem.startMap.empty());
    EXPECT_NE(dbSystem.startParty[0], 0);
    for (const std::string *font : {&dbSystem.fontNormal, &dbSystem.fontDamage, &dbSystem.fontSpecial})
        EXPECT_EQ(access((game + *font).c_str(), R_OK), 0) << *font;
    EXPECT_GT(dbSystem.fontSizeS, 0);
    EXPECT_FALSE(dbActor[1].graphicName.empty());
    EXPECT_FALSE(dbActor[2].graphicName.empty());
    EXPECT_FALSE(dbClass[1].canEquip.empty());
    EXPECT_FALSE(dbItem[1].name.empty());
    EXPECT_FALSE(dbState[1].name.empty());
    EXPECT_FALSE(dbAttribute[1].name.empty());
}

} // namespace
