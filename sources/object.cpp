#include "object.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "gamestate.h"
#include "map.h"
#include "system.h"

MapObject mapObjects[MAP_OBJECT_COUNT];
void (*object_playSe)(std::string path, float volume, float speed) = engine_playSe;
bool (*object_runEventFunction)(int slot, const char *name, int id) = gs_runEventFunction;

// One pixel in units.
static const int UNIT = 128;

// Positions, sizes and priorities that a map or the data file gives are kept
// within this many pixels of 0: in units, a position plus a size plus a
// tick's movement then still fits in 32 bits, whatever a map file says.
static const int OBJECT_LIMIT = 1 << 22;

static int object_fit(int v)
{
    return v < -OBJECT_LIMIT ? -OBJECT_LIMIT : v > OBJECT_LIMIT ? OBJECT_LIMIT : v;
}

static int sign(int v)
{
    return (v > 0) - (v < 0);
}

MapObject *getMapObject(int slot)
{
    return &mapObjects[slot];
}

MapObject *getPlayerObject()
{
    return getMapObject(0);
}

int getMapObjectX(int slot)
{
    return mapObjects[slot].x;
}

int getMapObjectY(int slot)
{
    return mapObjects[slot].y;
}

int getMapObjectZ(int slot)
{
    const MapObject &o = mapObjects[slot];
    if (o.priority == 0)
        return -1;
    // A fixed key above the whole screen, deliberately not in units.
    if (o.priority == 1)
        return engine_ScrH() + 320;
    return o.y + o.priority - 2;
}

void object_setPriority(int slot, int p)
{
    mapObjects[slot].priority = object_fit(p);
}

bool object_hasGraphic(int slot)
{
    return mapObjects[slot].hasGraphic;
}

// Sprite sheets belong to the bitmap cache, which keeps them until exit.
void object_bmpCreate(int, const char *)
{
}

void object_bmpDestroy(int)
{
}

static void object_walk(int slot, int dx, int dy, int dir)
{
    MapObject &o = mapObjects[slot];
    o.xSpeed += dx * o.moveSpeed;
    o.ySpeed += dy * o.moveSpeed;
    o.dir = dir;
    object_setPos(slot, 1);
}

void object_moveLeft(int slot) { object_walk(slot, -1, 0, 2); }
void object_moveRight(int slot) { object_walk(slot, 1, 0, 1); }
void object_moveUp(int slot) { object_walk(slot, 0, -1, 3); }
void object_moveDown(int slot) { object_walk(slot, 0, 1, 0); }

void object_create(int slot, int animWidth, int animHeight, const char *graphicName, int x, int y,
                   int width, int height, int yOff, int priority, bool collide, bool stepSound)
{
    MapObject &o = mapObjects[slot];
    o.animWidth = object_fit(animWidth);
    o.animHeight = object_fit(animHeight);
    o.graphicPath = std::string("gfx/charsets/") + graphicName;
    o.width = object_fit(width);
    o.height = object_fit(height);
    o.yOff = yOff;
    object_setPriority(slot, priority);
    o.active = true;
    o.collide = collide;
    o.stepSound = stepSound;
    object_moveTo(slot, x, y);
    o.hasGraphic = graphicName[0] != '\0';
    o.autoDone = false;
    o.moveSpeed = 64;
    o.maxSpeed = 256;
    object_setDir(slot, 0);
    object_setPos(slot, 0);
    o.opacity = 1;
    o.tint = al_map_rgba_f(1, 1, 1, (float)o.opacity);
    o.xScale = o.yScale = 1.0f;
    // An object without a sprite has no sheet to load (and no missing file to
    // report).
    if (o.hasGraphic)
        cache_loadBitmap(o.graphicPath);
}

void object_setEvent(int slot, const char *touchCall, const char *interactCall, const char *autoCall,
                     const char *touchCondition, const char *interactCondition, const char *autoCondition,
                     const char *visibleCondition)
{
    MapObject &o = mapObjects[slot];
    o.touchCall = touchCall;
    o.interactCall = interactCall;
    o.autoCall = autoCall;
    o.touchCondition = touchCondition;
    o.interactCondition = interactCondition;
    o.autoCondition = autoCondition;
    o.visibleCondition = visibleCondition;
}

void object_destroy(int slot)
{
    MapObject &o = mapObjects[slot];
    o.animWidth = o.animHeight = 0;
    if (o.hasGraphic)
        object_bmpDestroy(slot);
    o.width = o.height = 0;
    o.yOff = 0;
    o.priority = 0;
    o.active = false;
    object_moveTo(slot, 0, 0);
    // A later object in this slot starts from rest: it must not walk the
    // route of the map that was left.
    o.xSpeed = o.ySpeed = 0;
    o.route.clear();
    o.routeIndex = 0;
    o.routeActive = o.routeLoop = false;
    o.frame = o.frameTimer = 0;
    // The event texts pointed into the map that is being freed.
    object_setEvent(slot, "", "", "", "", "", "", "");
}

void object_moveTo(int slot, int px, int py)
{
    mapObjects[slot].x = object_fit(px) * UNIT;
    mapObjects[slot].y = object_fit(py) * UNIT;
}

void object_setDir(int slot, int d)
{
    mapObjects[slot].dir = d;
}

void object_setPos(int slot, int pose)
{
    MapObject &o = mapObjects[slot];
    if (pose == 0) {
        o.frameStart = 0;
        o.frameEnd = 1;
        o.frameDelay = 8;
    } else if (pose == 1) {
        o.frameStart = 1;
        o.frameEnd = 5;
        o.frameDelay = 10 - o.maxSpeed / UNIT;
        if (o.frameDelay <= 0)
            o.frameDelay = 1;
    }
}

void object_setXSpeed(int slot, int v) { mapObjects[slot].xSpeed = v; }
void object_setYSpeed(int slot, int v) { mapObjects[slot].ySpeed = v; }
void object_addXSpeed(int slot, int v) { mapObjects[slot].xSpeed += v; }
void object_addYSpeed(int slot, int v) { mapObjects[slot].ySpeed += v; }
int object_getMoveSpeed(int slot) { return mapObjects[slot].moveSpeed; }

bool check_collision(int a, int b, int x, int y)
{
    const MapObject &oa = mapObjects[a];
    const MapObject &ob = mapObjects[b];
    return ob.x + ob.width * UNIT > x && x + oa.width * UNIT > ob.x &&
           ob.y + ob.height * UNIT > y && y + oa.height * UNIT > ob.y;
}

bool object_getTileCollision(int slot, int x, int y)
{
    const MapObject &o = mapObjects[slot];
    // Division truncates toward zero: -1 unit lies in pixel column 0. The far
    // corners lie one pixel beyond the box.
    int px = x / UNIT;
    int py = y / UNIT;
    return map_getTileCollision(px, py) || map_getTileCollision(px, py + o.height) ||
           map_getTileCollision(px + o.width, py) || map_getTileCollision(px + o.width, py + o.height);
}

// Friction, the speed cap and the split of the speed's length over the two
// axes, in single precision.
static void object_applySpeed(int slot)
{
    MapObject &o = mapObjects[slot];
    float ax = (float)std::abs(o.xSpeed);
    float ay = (float)std::abs(o.ySpeed);
    float speed = (float)sqrt((double)ax * ax + (double)ay * ay);
    int sx = sign(o.xSpeed);
    int sy = sign(o.ySpeed);
    float angle = atanf(ay / (o.xSpeed != 0 ? ax : 1.0f));
    speed -= (float)(o.moveSpeed / 2);
    if (speed > (float)o.maxSpeed)
        speed = (float)o.maxSpeed;
    if (speed < 0)
        speed = 0;
    if (speed == 0)
        object_setPos(slot, 0);
    o.xSpeed = (int)(cosf(angle) * speed * (float)sx);
    o.ySpeed = (int)(sinf(angle) * speed * (float)sy);
}

// What a box test asks when the mover stands at (x, y): a blocking tile, or
// the box of the object in slot `other`.
struct Obstacle {
    int other;
    bool at(int slot, int x, int y) const
    {
        return other < 0 ? object_getTileCollision(slot, x, y) : check_collision(slot, other, x, y);
    }
};

// Moves the mover on by whole pixels, (dx, dy) units at a time, up to the
// obstacle. An object that starts inside the obstacle would find free space
// only beyond it, so the stepping is held to the pixels the speed could cover.
static void object_stepUpTo(int slot, const Obstacle &what, int dx, int dy, int speed)
{
    MapObject &o = mapObjects[slot];
    int limit = (std::abs(speed) + UNIT - 1) / UNIT;
    for (int n = 0; n < limit && !what.at(slot, o.x + dx, o.y + dy); n++) {
        o.x += dx;
        o.y += dy;
    }
}

// Stops the mover at an obstacle on each axis and on the diagonal. True when
// the horizontal or vertical movement stopped there.
static bool object_collide(int slot, const Obstacle &what, int &vx, int &vy, int sx, int sy)
{
    const MapObject &o = mapObjects[slot];
    bool stopped = false;
    if (what.at(slot, o.x + vx, o.y)) {
        object_stepUpTo(slot, what, sx * UNIT, 0, vx);
        vx = 0;
        stopped = true;
    }
    if (what.at(slot, o.x, o.y + vy)) {
        object_stepUpTo(slot, what, 0, sy * UNIT, vy);
        vy = 0;
        stopped = true;
    }
    if (what.at(slot, o.x + vx, o.y + vy))
        vx = vy = 0;
    return stopped;
}

// --- the pair pass ---------------------------------------------------------------
//
// A solid object's movement step visits every other slot, and nearly every
// visit changes nothing: the other box lies away from every placement the
// three box tests could ask about, its automatic trigger has run, and it does
// not overlap the player. A compact copy of what those tests read finds the
// few slots worth a full visit, PAIR_LANES slots at a time.
//
// The copy is trusted only between object_beginUpdates and object_endUpdates,
// and only while nothing outside the world runs: an event function, or a
// sound hook other than the engine's own, may write any record, and tests and
// other modules write records directly between ticks. It is built again from
// the records before the next step that uses it. Conditions do not spoil it:
// a condition's Lua reaches no record, and starts no event.

enum { PAIR_LANES = 8 };
static_assert(MAP_OBJECT_COUNT % PAIR_LANES == 0, "the lanes cover the table");
// Why a visit may be needed beyond the box tests.
enum { PENDING_AUTO = 1, PENDING_TOUCH = 2 };

// For each slot: the box that stops solid movers (empty for objects that are
// inactive or not solid, so that no reach overlaps it) and its pending
// triggers.
struct PairBoxes {
    alignas(16) int32_t left[MAP_OBJECT_COUNT];
    alignas(16) int32_t right[MAP_OBJECT_COUNT];
    alignas(16) int32_t top[MAP_OBJECT_COUNT];
    alignas(16) int32_t bottom[MAP_OBJECT_COUNT];
    alignas(16) int32_t pending[MAP_OBJECT_COUNT];
};
static PairBoxes pairBoxes;
static int object_updateDepth;
static bool pairBoxesFresh;

// Every placement of the mover that its three box tests against one slot can
// ask about, while neither its place nor its speed changes.
struct Reach {
    int32_t left, right, top, bottom;
};

static void object_leaveWorld()
{
    pairBoxesFresh = false;
}

static void object_storePairBox(int i)
{
    const MapObject &o = mapObjects[i];
    bool stops = o.active && o.collide;
    pairBoxes.left[i] = stops ? o.x : INT32_MAX;
    pairBoxes.right[i] = stops ? o.x + o.width * UNIT : INT32_MIN;
    pairBoxes.top[i] = stops ? o.y : INT32_MAX;
    pairBoxes.bottom[i] = stops ? o.y + o.height * UNIT : INT32_MIN;
    int pending = 0;
    if (o.active && i != 0) {
        pending |= o.autoDone ? 0 : PENDING_AUTO;
        pending |= check_collision(i, 0, o.x, o.y) ? PENDING_TOUCH : 0;
    }
    pairBoxes.pending[i] = pending;
}

static void object_syncPairBoxes()
{
    for (int i = 0; i < MAP_OBJECT_COUNT; i++)
        object_storePairBox(i);
    pairBoxesFresh = true;
}

void object_beginUpdates()
{
    object_updateDepth++;
    pairBoxesFresh = false;
}

void object_endUpdates()
{
    object_updateDepth--;
    pairBoxesFresh = false;
}

static Reach object_reach(int slot, int vx, int vy)
{
    const MapObject &o = mapObjects[slot];
    return Reach{std::min(o.x, o.x + vx), std::max(o.x, o.x + vx) + o.width * UNIT, std::min(o.y, o.y + vy),
                 std::max(o.y, o.y + vy) + o.height * UNIT};
}

static bool object_mayNeedVisit(int j, const Reach &r, int mask)
{
    return (pairBoxes.pending[j] & mask) || (pairBoxes.right[j] > r.left && r.right > pairBoxes.left[j] &&
                                             pairBoxes.bottom[j] > r.top && r.bottom > pairBoxes.top[j]);
}

#ifdef __SSE2__
static __m128i object_lanes(const int32_t *at)
{
    return _mm_load_si128(reinterpret_cast<const __m128i *>(at));
}

// A bit for each of the four slots from j on (j a multiple of four) that may
// need a visit.
static int object_fourCandidates(int j, const Reach &r, __m128i mask)
{
    __m128i x = _mm_and_si128(_mm_cmpgt_epi32(object_lanes(&pairBoxes.right[j]), _mm_set1_epi32(r.left)),
                              _mm_cmpgt_epi32(_mm_set1_epi32(r.right), object_lanes(&pairBoxes.left[j])));
    __m128i y = _mm_and_si128(_mm_cmpgt_epi32(object_lanes(&pairBoxes.bottom[j]), _mm_set1_epi32(r.top)),
                              _mm_cmpgt_epi32(_mm_set1_epi32(r.bottom), object_lanes(&pairBoxes.top[j])));
    __m128i pending = _mm_and_si128(object_lanes(&pairBoxes.pending[j]), mask);
    __m128i need = _mm_or_si128(_mm_and_si128(x, y), _mm_cmpgt_epi32(pending, _mm_setzero_si128()));
    return _mm_movemask_ps(_mm_castsi128_ps(need));
}
#endif

// The first slot from j on that may need a visit; MAP_OBJECT_COUNT for none.
static int object_nextCandidate(int j, const Reach &r, int mask)
{
    for (; j % PAIR_LANES != 0 && j < MAP_OBJECT_COUNT; j++)
        if (object_mayNeedVisit(j, r, mask))
            return j;
#ifdef __SSE2__
    __m128i lanesMask = _mm_set1_epi32(mask);
    for (; j < MAP_OBJECT_COUNT; j += PAIR_LANES) {
        int bits = object_fourCandidates(j, r, lanesMask) | object_fourCandidates(j + 4, r, lanesMask) << 4;
        if (bits)
            return j + __builtin_ctz(bits);
    }
#endif
    for (; j < MAP_OBJECT_COUNT; j++)
        if (object_mayNeedVisit(j, r, mask))
            return j;
    return MAP_OBJECT_COUNT;
}

// The full visit of slot j in the step of `slot`.
static void object_visit(int slot, int j, int &vx, int &vy, int sx, int sy)
{
    bool touched = false;
    if (mapObjects[j].collide)
        touched = object_collide(slot, Obstacle{j}, vx, vy, sx, sy) && slot == 0;
    object_updateTriggers(j, touched);
}

static void object_visitFrom(int slot, int from, int &vx, int &vy, int sx, int sy)
{
    for (int j = from; j < MAP_OBJECT_COUNT; j++) {
        if (j != slot && mapObjects[j].active)
            object_visit(slot, j, vx, vy, sx, sy);
    }
}

// The visits of a solid object's step, skipping the slots where a visit
// would change nothing. The player's own step moves the box that the touch
// triggers compare with, so it visits every slot.
static void object_pairPass(int slot, int &vx, int &vy, int sx, int sy)
{
    if (object_updateDepth == 0 || slot == 0) {
        object_visitFrom(slot, 0, vx, vy, sx, sy);
        return;
    }
    if (!pairBoxesFresh)
        object_syncPairBoxes();
    int mask = gs_interpreterRunning() ? PENDING_AUTO : PENDING_AUTO | PENDING_TOUCH;
    Reach reach = object_reach(slot, vx, vy);
    for (int j = object_nextCandidate(0, reach, mask); j < MAP_OBJECT_COUNT;
         j = object_nextCandidate(j + 1, reach, mask)) {
        if (j == slot)
            continue;
        object_visit(slot, j, vx, vy, sx, sy);
        if (!pairBoxesFresh) {
            object_visitFrom(slot, j + 1, vx, vy, sx, sy);
            return;
        }
        reach = object_reach(slot, vx, vy);
    }
}

// Keeps the copy in step with the object that has just moved. The player's
// move changes every slot's touch test.
static void object_trackPairBox(int slot)
{
    if (!pairBoxesFresh)
        return;
    if (slot == 0)
        pairBoxesFresh = false;
    else
        object_storePairBox(slot);
}

static void object_collisionPass(int slot, int &vx, int &vy, int sx, int sy)
{
    object_collide(slot, Obstacle{-1}, vx, vy, sx, sy);
    object_pairPass(slot, vx, vy, sx, sy);
}

void object_updatePosition(int slot)
{
    object_updateMoveRoute(slot);
    MapObject &o = mapObjects[slot];
    int sx = sign(o.xSpeed);
    int sy = sign(o.ySpeed);
    object_applySpeed(slot);
    // A stop at a wall or an object ends the speed itself on that axis, not
    // only this tick's move.
    if (o.active && o.collide)
        object_collisionPass(slot, o.xSpeed, o.ySpeed, sx, sy);
    o.x += o.xSpeed;
    o.y += o.ySpeed;
    o.pixelX = o.x / UNIT;
    o.pixelY = o.y / UNIT;
    o.screenX = o.pixelX - mapObj.scrollX + mapObj.regionX + o.width / 2;
    o.screenY = o.pixelY - mapObj.scrollY + mapObj.regionY + o.height;
    object_trackPairBox(slot);
}

// --- routes ------------------------------------------------------------------

void object_setMoveroute(int slot, std::vector<Point> route, bool loop)
{
    MapObject &o = mapObjects[slot];
    o.route = std::move(route);
    o.routeIndex = 0;
    // An empty route has no point to steer to: it ends at once.
    o.routeActive = !o.route.empty();
    o.routeLoop = loop;
}

void object_updateMoveRoute(int slot)
{
    MapObject &o = mapObjects[slot];
    if (!o.routeActive)
        return;
    if (o.routeIndex < 0 || o.routeIndex >= (int)o.route.size()) {
        o.routeActive = false;
        return;
    }
    const Point &p = o.route[o.routeIndex];
    int px = o.x / UNIT;
    int py = o.y / UNIT;
    if (!(px < p.x && p.x < px + o.width)) {
        if (p.x < o.pixelX)
            object_moveLeft(slot);
        else
            object_moveRight(slot);
    }
    if (!(py < p.y && p.y < py + o.height)) {
        if (p.y < o.pixelY)
            object_moveUp(slot);
        else
            object_moveDown(slot);
    }
    object_isMovePointAchieved(slot);
}

void object_isMovePointAchieved(int slot)
{
    MapObject &o = mapObjects[slot];
    const Point &p = o.route[o.routeIndex];
    int px = o.x / UNIT;
    int py = o.y / UNIT;
    // The arrival box reaches 8 pixels further left and up only.
    if (!(px - 8 < p.x && p.x < px + o.width && py - 8 < p.y && p.y < py + o.height))
        return;
    if (++o.routeIndex >= (int)o.route.size()) {
        if (o.routeLoop)
            o.routeIndex = 0;
        else
            o.routeActive = false;
    }
}

// --- animation and step sounds --------------------------------------------

void object_update(int slot)
{
    object_updatePosition(slot);
    object_updateFrame(slot);
}

void object_updateFrame(int slot)
{
    MapObject &o = mapObjects[slot];
    if (++o.frameTimer < o.frameDelay)
        return;
    if (++o.frame >= o.frameEnd)
        o.frame = o.frameStart;
    object_updateStep(slot);
    o.frameTimer = 0;
}

void object_updateStep(int slot)
{
    const MapObject &o = mapObjects[slot];
    if (!o.stepSound || (o.frame != 2 && o.frame != 4))
        return;
    int n = rand() % 4 + 1;
    float speed = (float)((rand() % 200) / 100.0 + 0.9);
    // The engine's own player reaches no object; a test's may.
    if (object_playSe != engine_playSe)
        object_leaveWorld();
    object_playSe(object_getTileStepSound(slot) + to_string(n) + ".ogg", 0.5f, speed);
}

std::string object_getTileStepSound(int slot)
{
    const MapObject &o = mapObjects[slot];
    return map_getTileStepSound(o.pixelX + o.width / 2, o.pixelY + o.height / 2);
}

// --- drawing -----------------------------------------------------------------

// The object's sprite sheet, or null when its cell does not start inside
// one. A cell that runs over the sheet's edge is drawn in part, clipped; one
// that starts beyond it is never handed over, as Allegro would draw wrong
// pixels for it. The products are taken in 64 bits: a script may set any
// facing.
static ALLEGRO_BITMAP *object_sheet(const MapObject &o)
{
    if (!o.hasGraphic || o.animWidth <= 0 || o.animHeight <= 0 || o.frame < 0 || o.dir < 0)
        return nullptr;
    ALLEGRO_BITMAP *sheet = cache_getBitmap(o.graphicPath);
    if (!sheet || static_cast<int64_t>(o.frame) * o.animWidth >= al_get_bitmap_width(sheet) ||
        static_cast<int64_t>(o.dir) * o.animHeight >= al_get_bitmap_height(sheet))
        return nullptr;
    return sheet;
}

void object_draw(int slot)
{
    const MapObject &o = mapObjects[slot];
    ALLEGRO_BITMAP *sheet = object_sheet(o);
    if (!sheet || !al_get_target_bitmap())
        return;
    al_draw_tinted_scaled_rotated_bitmap_region(
        sheet, (float)(o.frame * o.animWidth), (float)(o.dir * o.animHeight), (float)o.animWidth,
        (float)o.animHeight, o.tint, (float)(o.animWidth / 2), (float)o.yOff, (float)o.screenX,
        (float)o.screenY, o.xScale, o.yScale, o.angle, o.flags);
}

// --- triggers ----------------------------------------------------------------

// A slot that never held a map object has no event texts at all.
static const char *object_text(const char *text)
{
    return text ? text : "";
}

void object_updateTriggers(int slot, bool touched)
{
    if (slot == 0)
        return;
    object_processAuto(slot);
    if (gs_interpreterRunning())
        return;
    const MapObject &o = mapObjects[slot];
    if (touched || check_collision(slot, 0, o.x, o.y))
        object_processTouch(slot);
}

void object_processAuto(int slot)
{
    MapObject &o = mapObjects[slot];
    if (o.autoDone || !gs_runEventCondition(object_text(o.autoCondition)))
        return;
    fputs("AUTO!\n", stderr);
    object_leaveWorld();
    object_runEventFunction(slot, object_text(o.autoCall), slot);
    o.autoDone = true;
}

void object_processTouch(int slot)
{
    const MapObject &o = mapObjects[slot];
    if (!gs_runEventCondition(object_text(o.touchCondition)))
        return;
    object_leaveWorld();
    object_runEventFunction(slot, object_text(o.touchCall), -1);
}

void object_processTrigger(int slot)
{
    const MapObject &o = mapObjects[slot];
    if (!gs_runEventCondition(object_text(o.interactCondition)))
        return;
    object_leaveWorld();
    object_runEventFunction(slot, object_text(o.interactCall), -1);
}
