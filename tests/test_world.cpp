// The map world, driven tick by tick on maps, tilesets and sprite sheets that
// the tests write: movement and collision, map geometry, exits and map
// changes, routes, animation and step sounds, triggers, the scene's tick and
// what reaches the screen.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>

#include <allegro5/allegro_image.h>
#include <sys/stat.h>

#include "gamestate.h"
#include "input.h"
#include "luaparse.h"
#include "message.h"
#include "map.h"
#include "object.h"
#include "player.h"
#include "sceneMap.h"
#include "system.h"
#include "test_support.h"

namespace {

typedef std::vector<int> Ints;
typedef std::vector<std::string> Texts;
typedef std::pair<int, int> XY;
typedef std::initializer_list<XY> XYs;

ALLEGRO_KEYBOARD_STATE keyboard;
void (*const allegroPoll)(ALLEGRO_KEYBOARD_STATE *) = input_pollKeyboard;
void pollKeyboard(ALLEGRO_KEYBOARD_STATE *state) { *state = keyboard; }

// Each logical key sits on key code ALLEGRO_KEY_A + key.
void hold(Key key, bool down)
{
    int code = ALLEGRO_KEY_A + key;
    auto &word = keyboard.__key_down__internal__[code / 32];
    word = down ? (word | 1u << code % 32) : (word & ~(1u << code % 32));
}

// Events started, as "slot name id", and step sounds played.
Texts events, sounds;
bool soundArgumentsOk = true;

bool recordEvent(int slot, const char *name, int id)
{
    events.push_back(std::to_string(slot) + " " + name + " " + std::to_string(id));
    return *name != '\0';
}

void recordSound(std::string name, float volume, float speed)
{
    sounds.push_back(name);
    soundArgumentsOk &= volume == 0.5f && speed >= 0.9f && speed < 2.895f;
}

bool started(const std::string &event) { return std::count(events.begin(), events.end(), event) > 0; }
XY units(const MapObject &o) { return {o.x, o.y}; }

int count(const std::string &text, const std::string &part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

// Tiles of the test tileset, by what their properties make of them.
enum { GROUND = 1, WALL, BLOCK_TWO, BLOCK_WORD, GRASS, STONE, ROOF, PLANK };

TmxMap field(int w = 20, int h = 15, int ground = GROUND)
{
    TmxMap m;
    m.width = w;
    m.height = h;
    m.tileProperties = {{WALL, {{"block", "1"}, {"stepSound", "dirt"}}}, {BLOCK_TWO, {{"block", "2"}}},
                        {BLOCK_WORD, {{"block", "yes"}}}, {GRASS, {{"stepSound", "sfx/grass"}}},
                        {STONE, {{"stepSound", "sfx/stone"}}}, {PLANK, {{"block", "1"}, {"stepSound", "wood"}}}};
    m.layers = {{"BG0", Ints(w * h, ground)}, {"BG1", {}}, {"BG2", {}}};
    return m;
}

class WorldTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_init() && al_init_image_addon() && dir.enter());
        for (const char *folder : {"data", "data/maps", "gfx", "gfx/charsets"})
            mkdir(folder, 0755);
        al_find_resources_as(1); // maps under the working directory too
        std::swap(width, screenSize[0]);
        std::swap(height, screenSize[1]);
        bitmapFlags = al_get_new_bitmap_flags();
        al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
        screen = al_create_bitmap(640, 480);
        al_set_target_bitmap(screen);
        input_pollKeyboard = pollKeyboard;
        for (int k = 0; k < KEY_COUNT; k++)
            input_setKey(k, ALLEGRO_KEY_A + k);
        object_playSe = recordSound;
        object_runEventFunction = recordEvent;
    }

    void TearDown() override
    {
        map_destroy();
        object_destroy(0);
        mapObj = Map();
        update_callback = nullptr;
        unfreeze();
        if (display)
            al_destroy_display(display);
        display = nullptr;
        cache_clearBitmaps();
        al_set_target_bitmap(nullptr);
        al_destroy_bitmap(screen);
        al_set_new_bitmap_flags(bitmapFlags);
        memset(&keyboard, 0, sizeof keyboard);
        input_update();
        input_update();
        input_pollKeyboard = allegroPoll;
        object_playSe = engine_playSe;
        object_runEventFunction = gs_runEventFunction;
        std::swap(width, screenSize[0]);
        std::swap(height, screenSize[1]);
        al_find_resources_as(0);
        dir.leave();
        events.clear();
        sounds.clear();
    }

    // Writes the map and makes it current, the player at (x, y).
    bool go(const TmxMap &m, const std::string &name, int x = 0, int y = 0)
    {
        return m.save("data/maps", name) && teleport(name, x, y, false);
    }

    // The player with a w x h box, at rest, without a sprite.
    MapObject &placePlayer(int x, int y, int w = 32, int h = 32)
    {
        object_create(0, 8, 8, "", x, y, w, h, 8, 2, true, true);
        mapObjects[0].xSpeed = mapObjects[0].ySpeed = 0;
        return mapObjects[0];
    }

    void tick(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            input_update();
            sceneMap_update();
        }
    }

    void unfreeze()
    {
        _engine_freeze = _engine_transition = false;
        for (ALLEGRO_BITMAP *&clone : screen_clone) {
            if (clone)
                al_destroy_bitmap(clone);
            clone = nullptr;
        }
    }

    bool pixelIs(int x, int y, ALLEGRO_COLOR c)
    {
        unsigned char r, g, b, r2, g2, b2;
        al_unmap_rgb(al_get_pixel(al_get_target_bitmap(), x, y), &r, &g, &b);
        al_unmap_rgb(c, &r2, &g2, &b2);
        return r == r2 && g == g2 && b == b2;
    }

    TempDir dir;
    ALLEGRO_BITMAP *screen = nullptr;
    int screenSize[2] = {640, 480};
    int bitmapFlags = 0;
};

} // namespace

TEST_F(WorldTest, SpeedsKeysAndFrameDelays)
{
    ASSERT_TRUE(go(field(), "field.tmx"));
    MapObject &p = placePlayer(100, 100);
    auto speeds = [&](int n, int32_t MapObject::*axis) {
        Ints seen;
        while (n--) {
            tick();
            seen.push_back(p.*axis);
        }
        return seen;
    };
    hold(KEY_RIGHT, true);
    EXPECT_EQ(speeds(9, &MapObject::xSpeed), (Ints{32, 64, 96, 128, 160, 192, 224, 256, 256}));
    EXPECT_EQ(p.x, (100 + 11) * 128);
    hold(KEY_RIGHT, false);
    EXPECT_EQ(speeds(8, &MapObject::xSpeed), (Ints{224, 192, 160, 128, 96, 64, 32, 0}));
    hold(KEY_DOWN, true); // straight down tops out one unit short of the cap
    EXPECT_EQ(speeds(10, &MapObject::ySpeed), (Ints{31, 62, 93, 124, 155, 186, 217, 248, 255, 255}));
    hold(KEY_DOWN, false);
    EXPECT_EQ(speeds(7, &MapObject::ySpeed), (Ints{222, 189, 156, 123, 90, 57, 24}));
    EXPECT_EQ(p.frameEnd, 5) << "walking while it slides";
    EXPECT_EQ(speeds(1, &MapObject::ySpeed), Ints{0});
    EXPECT_EQ(p.frameEnd, 1) << "standing from the tick it stops";
    hold(KEY_RIGHT, true);
    hold(KEY_DOWN, true);
    EXPECT_EQ(speeds(6, &MapObject::xSpeed), (Ints{41, 82, 123, 164, 181, 181}));
    EXPECT_EQ(p.ySpeed, 181);

    // All four keys: left and up win, and the vertical call comes last.
    hold(KEY_LEFT, true);
    hold(KEY_UP, true);
    placePlayer(200, 200);
    tick();
    EXPECT_EQ((Ints{p.xSpeed, p.ySpeed, p.dir, p.frameDelay}), (Ints{-41, -41, 3, 8}));
    memset(&keyboard, 0, sizeof keyboard);
    placePlayer(200, 200);
    hold(KEY_RUN, true);
    tick();
    EXPECT_EQ((Ints{p.maxSpeed, p.x}), (Ints{512, 200 * 128}));
    hold(KEY_RIGHT, true);
    tick();
    EXPECT_EQ(p.frameDelay, 6);
    p.maxSpeed = 1152;
    object_setPos(0, 1);
    EXPECT_EQ(p.frameDelay, 1);

    // A route shuts the keys out.
    placePlayer(200, 200);
    object_setMoveroute(0, {{210, 216}}, true);
    tick();
    EXPECT_EQ(p.xSpeed, 0);
}

TEST_F(WorldTest, WallsAndSolidObjectsStopMovementOnWholePixels)
{
    TmxMap m = field();
    m.set("BG0", 2, 2, WALL);  // x 64..95
    m.set("BG1", 5, 8, PLANK); // a wall on the left, x 160..191
    m.set("BG0", 15, 2, WALL); // a wall above, y 64..95
    m.set("BG0", 0, 14, WALL);
    m.set("BG0", 1, 12, WALL);
    m.objects = {{1, 300, 384, 32, 32, {{"touchCall", "bump"}}},
                 {2, 300, 300, 32, 32, {{"touchCall", "over"}, {"collide", "0"}}}};
    ASSERT_TRUE(go(m, "walls.tmx"));

    // At 256 a tick it goes on by whole pixels while the tile test, one
    // pixel beyond the box, stays clear; the speed ends on that tick.
    MapObject &p = placePlayer(1, 64);
    hold(KEY_RIGHT, true);
    int ticks = 0;
    do {
        ASSERT_LT(++ticks, 40);
        tick();
    } while (p.xSpeed == std::min(32 * ticks, 256));
    EXPECT_EQ(units(p), XY(31 * 128, 64 * 128));
    EXPECT_EQ(p.xSpeed, 0);
    tick(10);
    EXPECT_EQ(p.pixelX, 31);
    memset(&keyboard, 0, sizeof keyboard);
    placePlayer(230, 256);
    hold(KEY_LEFT, true);
    tick(40);
    EXPECT_EQ(p.pixelX, 192) << "flush with a wall on the left";
    hold(KEY_LEFT, false);
    placePlayer(480, 150);
    hold(KEY_UP, true);
    tick(40);
    EXPECT_EQ(p.pixelY, 96) << "flush with a wall above";
    hold(KEY_UP, false);
    // Units become pixels toward zero: -1 unit is pixel 0, whose box reaches
    // the wall at x 32.
    EXPECT_TRUE(object_getTileCollision(0, -1, 384 * 128));
    EXPECT_FALSE(object_getTileCollision(0, -129, 384 * 128));

    // A solid object: the boxes' edges meet, and the stop alone is a touch.
    // A non-solid object is walked over.
    placePlayer(200, 384);
    hold(KEY_RIGHT, true);
    tick(60);
    EXPECT_EQ(p.x, 268 * 128);
    EXPECT_TRUE(started("2 bump -1"));
    for (XY at : XYs{{268, 384}, {332, 384}, {300, 416}, {300, 352}})
        EXPECT_FALSE(check_collision(0, 2, at.first * 128, at.second * 128));
    EXPECT_TRUE(check_collision(0, 2, 268 * 128 + 1, 384 * 128));
    placePlayer(200, 300);
    tick(80);
    EXPECT_GT(p.pixelX, 340);
    EXPECT_TRUE(started("3 over -1"));
    hold(KEY_RIGHT, false);

    // Starting inside a wall or a solid object and moving out toward open
    // ground, each tick ends and moves at most ceil(|v| / 128) pixels.
    object_create(7, 8, 8, "", 31, 448, 32, 32, 8, 2, true, false);
    object_moveRight(7);
    object_update(7);
    EXPECT_EQ(mapObjects[7].x, 32 * 128);
    placePlayer(268, 384).x += 64; // half a pixel into the solid object
    object_moveLeft(0);
    object_update(0);
    EXPECT_EQ(p.x, 267 * 128 + 64);
    p.x = 280 * 128;
    p.xSpeed = -300;
    object_update(0);
    EXPECT_EQ(p.x, 280 * 128);
}

TEST_F(WorldTest, MapGeometryCameraAndTileQuestions)
{
    // Map size in tiles; region size and position; scroll at its largest.
    for (Ints c : {Ints{20, 15, 640, 480, 0, 0, 0, 0}, Ints{10, 10, 320, 320, 160, 80, 0, 0},
                   Ints{40, 10, 640, 320, 0, 80, 640, 0}, Ints{40, 30, 640, 480, 0, 0, 640, 480}}) {
        std::string name = std::to_string(c[0]) + "x" + std::to_string(c[1]) + ".tmx";
        testing::internal::CaptureStderr();
        ASSERT_TRUE(go(field(c[0], c[1]), name));
        // The map script's own lines follow.
        EXPECT_EQ(testing::internal::GetCapturedStderr().find(
                      "Loading map: " + name + "... ||||||||||||| FINISHED. \n Region size: " +
                      std::to_string(c[2]) + "x" + std::to_string(c[3]) + ". \nLoading "),
                  0u);
        EXPECT_EQ(XY(mapObj.regionX, mapObj.regionY), XY(c[4], c[5])) << name;
        EXPECT_EQ(mapObj.maxScrollX, c[0] * 32 - 640);
        setScroll(2000, 2000);
        EXPECT_EQ(XY(mapObj.scrollX, mapObj.scrollY), XY(c[6], c[7])) << name;
        setScroll(-5, -5);
        EXPECT_EQ(XY(mapObj.scrollX, mapObj.scrollY), XY(0, 0)) << name;
    }
    // On the 1280 x 960 map the camera centres the player where it can.
    placePlayer(500, 400);
    sceneMap_updateScroll();
    EXPECT_EQ(XY(mapObj.scrollX, mapObj.scrollY), XY(180, 160));
    object_moveTo(0, 1200, 10);
    sceneMap_updateScroll();
    EXPECT_EQ(XY(mapObj.scrollX, mapObj.scrollY), XY(640, 0));

    // 32-pixel cells clamped into the map; "block" only when exactly 1, on
    // BG0 or BG1; BG1's step sound over BG0's.
    TmxMap m = field(20, 15, GRASS);
    m.set("BG0", 0, 0, WALL);
    m.set("BG0", 19, 5, WALL);
    m.set("BG0", 3, 3, BLOCK_TWO);
    m.set("BG0", 4, 3, BLOCK_WORD);
    m.set("BG1", 6, 3, PLANK);
    m.set("BG0", 7, 3, 0);
    ASSERT_TRUE(go(m, "tiles.tmx"));
    for (XY at : XYs{{-1, -1}, {-31, 5}, {31, 31}, {740, 5 * 32 + 7}, {6 * 32 + 31, 3 * 32}})
        EXPECT_TRUE(map_getTileCollision(at.first, at.second)) << at.first << "," << at.second;
    for (XY at : XYs{{32, 0}, {3 * 32, 3 * 32}, {4 * 32, 3 * 32 + 31}, {5 * 32, 3 * 32}})
        EXPECT_FALSE(map_getTileCollision(at.first, at.second)) << at.first << "," << at.second;
    Texts steps;
    for (XY at : XYs{{5 * 32, 3 * 32}, {6 * 32, 3 * 32}, {7 * 32, 3 * 32}, {-50, -50}})
        steps.push_back(map_getTileStepSound(at.first, at.second));
    EXPECT_EQ(steps, (Texts{"sfx/grass", "wood", "", "dirt"}));
}

TEST_F(WorldTest, ExitsAndMapChanges)
{
    TmxMap a = field();
    a.properties = {{"exitNorth", "b.tmx"}, {"exitSouth", "b.tmx"}, {"exitEast", "b.tmx"}, {"exitWest", "b.tmx"},
                    {"exitNorthOffset", "16"}, {"exitSouthOffset", "3"}, {"exitEastOffset", "5"},
                    {"exitWestOffset", "-7"}};
    a.objects = {{0, 40, 40, 32, 32, {}}, {5, 80, 40, 32, 32, {}}};
    TmxMap b = field(30, 20);
    b.properties = {{"exitNorthOffset", "99"}, {"exitWestOffset", "99"}};
    // The later of two equal ids keeps the slot; ids without a slot of 1 to
    // 999 are skipped.
    b.objects = {{3, 1, 1, 8, 8, {}}, {3, 40, 40, 8, 8, {{"collide", "2"}}}, {5, 400, 400, 32, 32, {}},
                 {998, 0, 0, 8, 8, {}}, {999, 0, 0, 8, 8, {}}, {-1, 0, 0, 8, 8, {}}, {INT_MAX, 0, 0, 8, 8, {}}};
    TmxMap c = a;
    c.properties = {{"exitEast", "b.tmx"}, {"exitSouth", "missing.tmx"}};
    ASSERT_TRUE(a.save("data/maps", "a.tmx") && b.save("data/maps", "b.tmx") && c.save("data/maps", "c.tmx"));
    MapObject &p = placePlayer(0, 0, 32, 80);

    // From a pixel beyond an edge to the arrival, with the offsets of the
    // map that is left; the player keeps speed and facing.
    for (Ints e : {Ints{100, -90, 116, 640 - 32}, Ints{200, 481, 203, 0}, Ints{641, 100, 0, 105},
                   Ints{-33, 100, 960 - 32, 93}, Ints{641, 481, 644, 0}}) {
        ASSERT_TRUE(teleport("a.tmx", 0, 0, false));
        object_setMoveroute(6, {{300, 300}}, true);
        mapObjects[6].xSpeed = 77;
        p.xSpeed = 100;
        p.dir = 1;
        testing::internal::CaptureStderr();
        process_exit(e[0], e[1]);
        std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mapObj.fileName, "b.tmx") << e[0] << "," << e[1];
        EXPECT_EQ(units(p), XY(e[2] * 128, e[3] * 128)) << e[0] << "," << e[1];
        EXPECT_EQ(XY(p.xSpeed, p.dir), XY(100, 1));
        EXPECT_TRUE(_engine_freeze);
        EXPECT_EQ(count(log, "skipped"), 3) << log;
        int active = 0;
        for (const MapObject &o : mapObjects)
            active += o.active;
        EXPECT_EQ(active, 4);
        EXPECT_TRUE(mapObjects[4].x == 40 * 128 && !mapObjects[4].collide && mapObjects[999].active);
        // A reused slot starts afresh.
        EXPECT_EQ((Ints{mapObjects[6].x, mapObjects[6].xSpeed, mapObjects[6].routeActive}), (Ints{400 * 128, 0, 0}));
        unfreeze();
    }
    // Leaving north or west, the frame the crossfade ends on shows the
    // arrival, and the player stands there once the exit returns, whatever
    // that frame's movement did.
    sceneMap_create();
    for (Ints e : {Ints{100, -90, 116, 640 - 32}, Ints{-33, 100, 960 - 32, 93}}) {
        for (int speed : {0, -256}) {
            ASSERT_TRUE(teleport("a.tmx", 0, 0, false));
            p.xSpeed = p.ySpeed = speed;
            process_exit(e[0], e[1]);
            if (speed == 0)
                EXPECT_EQ(XY(p.pixelX, p.pixelY), XY(e[2], e[3]));
            EXPECT_EQ(units(p), XY(e[2] * 128, e[3] * 128)) << e[0] << "," << e[1] << " at " << speed;
            unfreeze();
        }
    }
    update_callback = nullptr;

    // Only the first edge crossed counts, even without an exit; a box that
    // crosses an edge only in part stays.
    ASSERT_TRUE(teleport("c.tmx", 0, 0, false));
    for (XY at : XYs{{700, -100}, {100, -79}, {639, 100}, {-32, 100}})
        process_exit(at.first, at.second);
    EXPECT_EQ(mapObj.fileName, "c.tmx");

    // A map that cannot be loaded changes nothing and is not tried again.
    object_moveTo(0, 200, 481);
    p.xSpeed = 12;
    mapObjects[6].x = 1234;
    testing::internal::CaptureStderr();
    process_exit(200, 481);
    process_exit(200, 481);
    EXPECT_FALSE(teleport("", 1, 1, true));
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count(log, "Loading map: missing.tmx"), 1) << log;
    EXPECT_EQ(count(log, "Failed to load map"), 2) << log;
    EXPECT_TRUE(mapObj.fileName == "c.tmx" && mapObj.pixelWidth == 640 && map_getTile(0, 0, "BG0"));
    EXPECT_EQ((Ints{mapObjects[6].x, p.x, p.y, p.xSpeed, _engine_freeze}), (Ints{1234, 200 * 128, 481 * 128, 12, 0}));

    // The map that is current already: only the player moves.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(teleport("c.tmx", 10, 20, true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(mapObjects[6].x, 1234);
    EXPECT_EQ(units(p), XY(10 * 128, 20 * 128));
}

TEST_F(WorldTest, MapChangeTickDrawsTwiceAndDoesNotFlip)
{
    al_set_new_bitmap_flags(0);
    display = al_create_display(640, 480);
    if (!display)
        GTEST_SKIP() << "no display available";
    TmxMap a = field(), b = field();
    a.properties = {{"exitSouth", "b.tmx"}};
    b.objects = {{3, 40, 40, 32, 32, {}}};
    // Each tick of the interpreters plays one of these commands.
    std::ofstream("data/maps/a.lua") << "function ticker() for i = 1, 9 do command.wait(0) end end\n";
    ASSERT_TRUE(b.save("data/maps", "b.tmx") && go(a, "a.tmx"));
    MapObject &p = placePlayer(200, 481);
    sceneMap_create();
    map_draw();
    ASSERT_TRUE(gs_runEventFunction(1, "ticker", -1));
    int playerTimer = p.frameTimer;
    unsigned long flips = engine_flipCount;
    testing::internal::CaptureStderr();
    engine_tick();
    EXPECT_EQ(count(testing::internal::GetCapturedStderr(), "Waiting\n"), 1);
    EXPECT_EQ(mapObj.fileName, "b.tmx");
    // Every object's frame timer counts the map_draw calls.
    EXPECT_EQ(XY(mapObjects[4].frameTimer, p.frameTimer), XY(2, playerTimer + 2));
    EXPECT_EQ(engine_flipCount, flips);
    EXPECT_TRUE(engine_isFrozen());
    // Twenty crossfade steps, its last frame, then the scene unfrozen.
    for (int i = 0; i < 22; i++)
        engine_tick();
    EXPECT_FALSE(engine_isFrozen());
    EXPECT_EQ(engine_flipCount, flips + 23);
}

TEST_F(WorldTest, RoutesAnimationAndStepSounds)
{
    TmxMap m = field(20, 15, GRASS);
    m.layers["BG0"] = Ints(20 * 10, GRASS);
    m.layers["BG0"].resize(20 * 15, STONE); // stone from y 320 down
    m.objects = {{1, 100, 320, 32, 32, {}}, {2, 300, 320, 32, 32, {{"stepSound", "0"}}}};
    ASSERT_TRUE(go(m, "grass.tmx"));
    object_create(1, 8, 8, "", 100, 100, 32, 32, 8, 2, false, false);
    MapObject &o = mapObjects[1];
    map_draw();

    // The arrival box reaches 8 pixels further left and up only.
    for (Ints c : {Ints{92, 110, 0}, Ints{93, 110, 1}, Ints{131, 110, 1}, Ints{132, 110, 0}, Ints{110, 92, 0},
                   Ints{110, 93, 1}, Ints{110, 132, 0}}) {
        object_setMoveroute(1, {{c[0], c[1]}, {0, 0}}, false);
        object_isMovePointAchieved(1);
        EXPECT_EQ(o.routeIndex, c[2]) << c[0] << "," << c[1];
    }
    // A point on the box's left column steers right and is reached at once.
    object_setMoveroute(1, {{100, 110}, {0, 0}}, false);
    object_updateMoveRoute(1);
    EXPECT_EQ((Ints{o.xSpeed, o.ySpeed, o.dir, o.routeIndex}), (Ints{64, 0, 1, 1}));
    // One looping point is reached and starts over; an empty route ends.
    object_setMoveroute(1, {{110, 110}}, true);
    object_updateMoveRoute(1);
    EXPECT_TRUE(o.routeActive && o.routeIndex == 0);
    object_setMoveroute(1, {}, true);
    EXPECT_FALSE(o.routeActive);
    map_draw();

    // The player walks on grass: frames 1 to 4 at 8 ticks each, a step
    // sound on entering 2 and 4. A standing object keeps frame 0; one on a
    // route without step sounds animates silently.
    MapObject &p = placePlayer(40, 100);
    object_setMoveroute(3, {{600, 330}, {40, 330}}, true);
    hold(KEY_RIGHT, true);
    Ints soundTicks;
    bool walkerAnimated = false;
    for (int t = 1; t <= 56; t++) {
        size_t before = sounds.size();
        tick();
        EXPECT_EQ(p.frame, t < 8 ? 0 : 1 + (t - 8) / 8 % 4) << "tick " << t;
        EXPECT_EQ(mapObjects[2].frame, 0);
        walkerAnimated |= mapObjects[3].frame != 0;
        if (sounds.size() > before)
            soundTicks.push_back(t);
    }
    EXPECT_EQ(soundTicks, (Ints{16, 32, 48}));
    EXPECT_TRUE(walkerAnimated && soundArgumentsOk);
    for (const std::string &s : sounds)
        EXPECT_TRUE(s.size() == 14 && s.compare(0, 9, "sfx/grass") == 0 && s[9] >= '1' && s[9] <= '4' &&
                    s.compare(10, 4, ".ogg") == 0)
            << s;
    hold(KEY_RIGHT, false);
    tick(20);
    EXPECT_EQ(p.frame, 0);
    EXPECT_EQ(sounds.size(), 3u);
}

TEST_F(WorldTest, Triggers)
{
    TmxMap m = field();
    m.objects = {{1, 400, 40, 32, 32, {{"autoCall", "intro"}}}, {2, 440, 40, 32, 32, {}},
                 {3, 480, 40, 32, 32, {{"autoCall", "never"}, {"autoCondition", "false"}}},
                 {4, 300, 300, 32, 32, {{"touchCall", "step"}, {"collide", "0"}}}};
    ASSERT_TRUE(go(m, "events.tmx"));
    MapObject &p = placePlayer(100, 100);

    // Automatic: once, in the object's own interpreter, with or without a
    // function; never while its condition fails.
    testing::internal::CaptureStderr();
    tick(5);
    EXPECT_EQ(count(testing::internal::GetCapturedStderr(), "AUTO!\n"), 3);
    EXPECT_EQ(events, (Texts{"2 intro 2", "3  3", "5  5"}));
    // Touch: standing on a non-solid object runs its event in the shared
    // interpreter; the player has no triggers of its own.
    object_moveTo(0, 310, 310);
    events.clear();
    tick();
    EXPECT_FALSE(events.empty());
    EXPECT_EQ(events, Texts(events.size(), "5 step -1"));
    events.clear();
    object_updateTriggers(0, true);
    EXPECT_TRUE(events.empty());

    // Interact probes 8 pixels ahead: a box 5 pixels below the player's is
    // in reach, 8 or 10 pixels below is not; the lower slot wins; an inactive
    // slot never runs.
    auto place = [](int slot, int y, const char *call) {
        object_create(slot, 8, 8, "", 100, y, 32, 32, 8, 2, false, false);
        object_setEvent(slot, "", call, "", "", "", "", "");
    };
    auto pressOk = [&] {
        events.clear();
        hold(KEY_OK, true);
        input_update();
        sceneMap_updatePlayer();
        hold(KEY_OK, false);
        input_update();
        return events;
    };
    placePlayer(100, 100);
    place(20, 140, "eight");
    place(21, 142, "ten");
    EXPECT_EQ(pressOk(), Texts{});
    place(22, 137, "inactive");
    mapObjects[22].active = false;
    place(25, 137, "lower");
    place(30, 137, "five");
    EXPECT_EQ(pressOk(), Texts{"25 lower -1"});
    object_destroy(25);
    EXPECT_EQ(pressOk(), Texts{"30 five -1"});
    p.dir = 1;
    EXPECT_EQ(pressOk(), Texts{});
    p.dir = 7; // an unknown facing probes where the player stands
    place(40, 110, "under");
    EXPECT_EQ(pressOk(), Texts{"40 under -1"});
}

TEST_F(WorldTest, DrawnCellsDepthAndLayers)
{
    auto cell = [](int x, int y) { return al_map_rgb(40 * (x / 8) + 10, 50 * (y / 8) + 10, 0); };
    ALLEGRO_COLOR red = al_map_rgb(255, 0, 0), blue = al_map_rgb(0, 0, 255);
    ASSERT_TRUE(savePng("gfx/charsets/hero.png", 40, 32, cell) &&
                savePng("gfx/charsets/red.png", 8, 8, [&](int, int) { return red; }) &&
                savePng("gfx/charsets/blue.png", 8, 8, [&](int, int) { return blue; }));
    TmxMap m = field();
    m.set("BG2", 10, 10, ROOF);
    ASSERT_TRUE(go(m, "draw.tmx"));
    auto sprite = [](int slot, const char *sheet, int x, int y) {
        object_create(slot, 8, 8, sheet, x, y, 8, 8, 8, 2, false, false);
    };
    sprite(1, "hero.png", 100, 100);
    mapObjects[1].frame = 3;
    mapObjects[1].dir = 2;
    sprite(2, "red.png", 200, 201); // lower on the map: over slot 3
    sprite(3, "blue.png", 200, 200);
    sprite(4, "blue.png", 250, 200); // equal depth: slot order
    sprite(5, "red.png", 250, 200);
    sprite(6, "red.png", 320, 320); // under the BG2 tile
    testing::internal::CaptureStderr();
    sprite(7, "missing.png", 400, 400);
    testing::internal::GetCapturedStderr();
    sprite(8, "hero.png", 420, 400);
    sprite(9, "hero.png", 440, 400);
    mapObjects[8].dir = 5; // a row beyond the sheet
    mapObjects[9].animWidth = 0;
    mapObjects[7].xSpeed = 300;
    // A sheet one column short shows its last cell clipped; a cell that
    // starts at the edge, or a facing whose row lies past any int, is not drawn.
    ASSERT_TRUE(savePng("gfx/charsets/short.png", 39, 32, cell));
    sprite(10, "short.png", 460, 400);
    sprite(11, "hero.png", 480, 400);
    sprite(12, "hero.png", 500, 400);
    mapObjects[10].frame = mapObjects[11].frame = 4;
    mapObjects[11].dir = INT_MAX;
    mapObjects[12].frame = 5;
    map_draw();
    EXPECT_TRUE(pixelIs(466, 403, cell(4 * 8, 0)) && pixelIs(467, 403, TmxMap::tileColour(GROUND)));
    for (int x : {483, 503})
        EXPECT_TRUE(pixelIs(x, 403, TmxMap::tileColour(GROUND))) << x;
    EXPECT_TRUE(pixelIs(103, 103, cell(3 * 8, 2 * 8)));
    EXPECT_TRUE(pixelIs(99, 103, TmxMap::tileColour(GROUND)));
    EXPECT_TRUE(pixelIs(203, 205, red) && pixelIs(253, 203, red));
    EXPECT_TRUE(pixelIs(323, 323, TmxMap::tileColour(ROOF)));
    for (int x : {403, 423, 443})
        EXPECT_TRUE(pixelIs(x, 403, TmxMap::tileColour(GROUND))) << x;
    EXPECT_GT(mapObjects[7].x, 400 * 128) << "an object that is not drawn still moves";
    // Priority 1 sorts by a fixed key in pixels, priority 0 below all.
    object_setPriority(6, 1);
    EXPECT_EQ(getMapObjectZ(6), 480 + 320);
    object_setPriority(6, 0);
    EXPECT_EQ(getMapObjectZ(6), -1);

    // A small map is centred, its last row and column drawn.
    ASSERT_TRUE(go(field(10, 10, STONE), "small.tmx"));
    al_clear_to_color(al_map_rgb(0, 0, 0));
    map_draw();
    for (XY at : XYs{{160, 80}, {479, 399}, {159, 200}, {480, 200}, {300, 79}, {300, 400}}) {
        bool inside = at.first >= 160 && at.first < 480 && at.second >= 80 && at.second < 400;
        EXPECT_EQ(pixelIs(at.first, at.second, TmxMap::tileColour(STONE)), inside) << at.first << "," << at.second;
    }
}

TEST_F(WorldTest, RealEventsHoldTouchesBackAndMessagesHoldThePlayer)
{
    object_runEventFunction = gs_runEventFunction;
    TmxMap m = field();
    m.objects = {{1, 300, 300, 32, 32, {{"touchCall", "greet"}, {"collide", "0"}}},
                 {2, 400, 40, 32, 32, {{"autoCall", "busy"}, {"autoCondition", "armed"}}},
                 {3, 480, 40, 32, 32, {{"autoCall", "busy"}}}};
    std::ofstream("data/maps/ev.lua") << "armed = false\n"
                                         "function greet() command.show_text('hello') end\n"
                                         "function busy() command.wait(20) end\n";
    ASSERT_TRUE(go(m, "ev.tmx"));
    MapObject &p = placePlayer(100, 100);
    tick();
    // The automatic events run in their objects' own interpreters, a Lua
    // condition holding them back until it turns true.
    EXPECT_TRUE(gameState.interpreters[4].running);
    EXPECT_FALSE(gameState.interpreters[3].running || mapObjects[3].autoDone);
    luaL_dostring(Linterpreter, "armed = true");
    tick();
    EXPECT_TRUE(gameState.interpreters[3].running && mapObjects[3].autoDone);

    // A touch waits while any interpreter runs, then starts in the shared one.
    object_moveTo(0, 305, 305);
    tick(10);
    EXPECT_FALSE(gameState.mainInterpreter.running);
    tick(15);
    ASSERT_TRUE(gameState.mainInterpreter.running);
    EXPECT_EQ(gameState.mainInterpreter.eventId, 2);
    tick();
    ASSERT_TRUE(message_showing());

    // While the box shows, the keys do not move the player.
    object_moveTo(0, 100, 100);
    hold(KEY_RIGHT, true);
    tick(5);
    hold(KEY_RIGHT, false);
    EXPECT_EQ(XY(p.x, p.xSpeed), XY(100 * 128, 0));
    messageBox.clear();
}

TEST_F(WorldTest, MapsThatAreNotOrthogonalSayItOnceAndAreNotDrawn)
{
    TmxMap m = field();
    m.objects = {{1, 40, 40, 32, 32, {}}};
    ASSERT_TRUE(m.save("data/maps", "iso.tmx"));
    std::string text = readFile("data/maps/iso.tmx");
    text.replace(text.find("orthogonal"), 10, "isometric");
    std::ofstream("data/maps/iso.tmx") << text;
    al_clear_to_color(al_map_rgb(255, 0, 0));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(teleport("iso.tmx", 0, 0, false));
    for (int i = 0; i < 3; i++)
        map_draw();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(count(err, "isometric"), 1) << err;
    EXPECT_TRUE(pixelIs(10, 10, al_map_rgb(255, 0, 0)));
    // An object without a sprite has no sheet to miss.
    EXPECT_EQ(err.find("Failed to load image"), std::string::npos) << err;
}

namespace {

// Starts the real event, then, for a "shove" event, writes records as only a
// test's hook can: the map_draw pass must not go on with what it knew before.
bool shoveEvent(int slot, const char *name, int id)
{
    bool started = gs_runEventFunction(slot, name, id);
    events.push_back(std::to_string(slot) + " " + name + " " + std::to_string(id));
    if (strcmp(name, "shove") == 0) {
        mapObjects[slot].x += 3 * 128;
        mapObjects[slot % 40 + 1].active ^= true;
    }
    return started;
}

} // namespace

// map_draw skips the visits of a movement step that cannot change anything.
// Crowds that walk into walls and each other, with conditions that count
// their own runs and events that move and remove objects, must come out of
// map_draw exactly as out of the plain updates, tick by tick.
TEST_F(WorldTest, MapDrawUpdatesAsThePlainStepsDo)
{
    object_runEventFunction = shoveEvent;
    object_playSe = engine_playSe;
    unsigned seed = 0;
    auto next = [&seed](int n) { return (int)((seed = seed * 1103515245u + 12345u) >> 16) % n; };
    auto crowd = [&] {
        TmxMap m = field();
        for (XY wall : XYs{{3, 3}, {4, 3}, {8, 6}, {12, 2}, {6, 9}, {10, 10}})
            m.set("BG0", wall.first, wall.second, WALL);
        for (int id = 0; id < 90; id++) {
            Properties p = {{"collide", next(5) ? "1" : "0"}};
            if (next(3) == 0)
                p["autoCondition"] = "seen(" + std::to_string(id) + ") and h % 5 == 0";
            if (next(2) == 0) {
                p["touchCall"] = next(2) ? "shove" : "talk";
                p["touchCondition"] = "seen(" + std::to_string(1000 + id) + ")";
            }
            p["autoCall"] = next(3) == 0 ? "shove" : next(2) ? "talk" : "";
            m.objects.push_back({id, 40 + next(420), 40 + next(300), next(5) * 10, next(5) * 10, p});
        }
        return m;
    };
    auto run = [&](const TmxMap &m, const std::string &name, bool viaMapDraw) {
        gs_reset();
        map_destroy();
        // Both runs start from the same records: a slot keeps what its last
        // occupant left in some fields.
        for (MapObject &o : mapObjects)
            o = MapObject();
        events.clear();
        srand(1);
        std::vector<Ints> seen;
        std::ofstream("data/maps/" + name + ".lua")
            << "h = 0\n"
               "function seen(n) h = (h * 31 + n) % 2147483647 return n % 3 == 0 end\n"
               "function talk() command.wait(3) end\n"
               "function shove() end\n";
        testing::internal::CaptureStderr();
        bool loaded = go(m, name + ".tmx");
        placePlayer(200, 200);
        object_setMoveroute(0, {{420, 200}, {420, 380}, {60, 300}}, true);
        for (int slot = 1; loaded && slot < MAP_OBJECT_COUNT; slot++)
            if (mapObjects[slot].active)
                object_setMoveroute(slot, {{40 + next(420), 40 + next(300)}, {40 + next(420), 40 + next(300)}}, true);
        for (int t = 0; loaded && t < 200; t++) {
            gs_update();
            if (viaMapDraw) {
                map_draw();
            } else {
                for (int slot = 0; slot < MAP_OBJECT_COUNT; slot++)
                    if (mapObjects[slot].active)
                        object_update(slot);
            }
            Ints state;
            for (const MapObject &o : mapObjects)
                state.insert(state.end(), {o.active, o.collide, o.x, o.y, o.xSpeed, o.ySpeed, o.dir, o.frame,
                                           o.autoDone, o.routeIndex});
            seen.push_back(state);
        }
        lua_getglobal(Linterpreter, "h");
        seen.push_back({(int)lua_tointeger(Linterpreter, -1), rand()});
        lua_pop(Linterpreter, 1);
        testing::internal::GetCapturedStderr();
        return seen;
    };
    auto started = [](const char *name) {
        return std::count_if(events.begin(), events.end(),
                             [name](const std::string &e) { return e.find(name) != std::string::npos; });
    };
    for (unsigned crowdSeed : {7u, 11u, 23u}) {
        seed = crowdSeed;
        TmxMap m = crowd();
        unsigned routeSeed = seed;
        std::string name = "crowd" + std::to_string(crowdSeed);
        std::vector<Ints> plain = run(m, name + "a", false);
        Texts plainEvents = events;
        seed = routeSeed;
        std::vector<Ints> drawn = run(m, name + "b", true);
        ASSERT_EQ(plain.size(), 201u);
        for (size_t t = 0; t < plain.size(); t++)
            ASSERT_EQ(plain[t], drawn[t]) << "crowd " << crowdSeed << ", tick " << t;
        EXPECT_EQ(plainEvents, events);
        EXPECT_GT(started("shove"), 3);
        EXPECT_GT(started("talk"), 3);
    }
    gs_reset();
}

// The tile questions remember each cell's answer for the map they were asked
// on, and only for it.
TEST_F(WorldTest, TileAnswersFollowTheCurrentMap)
{
    TmxMap a = field(), b = field();
    a.set("BG0", 2, 1, WALL);
    b.set("BG1", 3, 1, PLANK);
    b.set("BG0", 0, 0, WALL);
    ASSERT_TRUE(go(a, "a.tmx"));
    auto walls = [] {
        Ints seen;
        for (XY at : XYs{{70, 40}, {100, 40}, {-50, -50}, {5000, 40}, {70, 40}, {100, 40}})
            seen.push_back(map_getTileCollision(at.first, at.second));
        return seen;
    };
    EXPECT_EQ(walls(), (Ints{1, 0, 0, 0, 1, 0}));
    ASSERT_TRUE(go(b, "b.tmx"));
    EXPECT_EQ(walls(), (Ints{0, 1, 1, 0, 0, 1}));
    ASSERT_TRUE(go(a, "a.tmx"));
    EXPECT_EQ(walls(), (Ints{1, 0, 0, 0, 1, 0}));
    // A map narrowed by hand clamps to its new last column.
    mapObj.widthInTiles = 3;
    EXPECT_TRUE(map_getTileCollision(5000, 40));
    mapObj.widthInTiles = 20;
    map_destroy();
    EXPECT_EQ(walls(), (Ints{0, 0, 0, 0, 0, 0}));
}

// Numbers a map file gives far beyond any real map (positions, sizes,
// priorities, tile sizes, exit offsets, route points) are held where the
// world's sums in 1/128 pixel still fit: nothing overflows.
TEST_F(WorldTest, NumbersBeyondAnyMapAreHeldAtTheWorldsEdge)
{
    const int edge = 1 << 22;
    ASSERT_TRUE(savePng("gfx/charsets/s.png", 8, 8, [](int, int) { return al_map_rgb(9, 9, 9); }));
    TmxMap a = field(4, 3);
    a.properties = {{"exitEast", "b.tmx"}, {"exitEastOffset", "2147483647"}};
    Properties huge = {{"priority", "2147483647"}, {"animWidth", "2147483647"}, {"animHeight", "2147483647"},
                       {"graphicName", "s.png"}};
    // Only an object of id 0 keeps the box its file gives (slot 1).
    a.objects = {{0, INT_MAX, INT_MIN, INT_MAX, INT_MIN, huge}, {2, -5, -5, 4, 4, huge}};
    ASSERT_TRUE(a.save("data/maps", "a.tmx"));
    std::ofstream("data/maps/b.tmx") << "<map orientation=\"orthogonal\" width=\"2147483647\" height=\"2147483647\" "
                                        "tilewidth=\"2147483647\" tileheight=\"2147483647\"></map>";
    MapObject &p = placePlayer(0, 0);
    ASSERT_TRUE(teleport("a.tmx", 0, 0, false));
    const MapObject &o = mapObjects[1];
    EXPECT_EQ((Ints{o.x, o.y, o.width, o.height, o.priority, o.animWidth}),
              (Ints{edge * 128, -edge * 128, edge, -edge, edge, edge}));
    EXPECT_EQ(mapObjects[3].animHeight, edge);
    object_setMoveroute(1, {{INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}}, true);
    object_setMoveroute(0, {{INT_MIN, INT_MIN}}, false);
    hold(KEY_RIGHT, true);
    for (int i = 0; i < 20; i++) {
        tick();
        map_draw();
    }
    hold(KEY_RIGHT, false);

    // East of the map, an offset of INT_MAX lands on the far edge of a map
    // whose size in pixels is itself held.
    process_exit(200, 10);
    EXPECT_EQ(mapObj.fileName, "b.tmx");
    EXPECT_EQ(XY(mapObj.pixelWidth, mapObj.pixelHeight), XY(1 << 24, 1 << 24));
    EXPECT_EQ(units(p), XY(0, edge * 128));
    unfreeze();
    // The tile questions on a map that claims 2^62 cells.
    hold(KEY_DOWN, true);
    tick(3);
    hold(KEY_DOWN, false);
    EXPECT_FALSE(map_getTileCollision(1 << 24, 1 << 24));
}
