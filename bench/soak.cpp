// Soak: the real map scene, started as the program starts it, played tick
// after tick for a long time. Every few seconds of game time the player
// changes map (with the freeze and the crossfade of an exit), stands before
// an object with an interact event, presses the Ok key to start it and
// closes the message boxes it shows; automatic events run as the maps'
// scripts make them. The heap in use and the resident size are printed
// after the first two map changes (when both maps' files are cached), every
// hundred map changes, and at the end: they must not grow with the number
// of map changes.
//
//   build/bench/vemra_soak [ticks] [map-a] [map-b] [game folder]
//
// Defaults: 100000 ticks between village.tmx and shrine.tmx of the demo game
// (game/ in the source tree). Needs a display (Xvfb will do) and, without a
// sound card, ALSOFT_DRIVERS=null. The engine's own log goes to standard
// error; the soak's figures to standard output.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <unistd.h>

#include "gamestate.h"
#include "input.h"
#include "map.h"
#include "message.h"
#include "object.h"
#include "player.h"
#include "sceneMap.h"
#include "system.h"

namespace {

// Ticks spent on each map: a little over a second and a half of game time.
const int VISIT = 96;

int tick = 0;
bool okDown = false;
int walkKey = 0;

void soakKeys(ALLEGRO_KEYBOARD_STATE *state)
{
    memset(state, 0, sizeof *state);
    int codes[2] = {okDown ? input_getKey(KEY_OK) : 0, walkKey ? input_getKey(static_cast<Key>(walkKey)) : 0};
    for (int code : codes) {
        if (code > 0 && code < ALLEGRO_KEY_MAX)
            state->__key_down__internal__[code / 32] |= 1u << (code % 32);
    }
}

struct Memory {
    size_t heap;
    long residentKb;
};

Memory memoryNow()
{
    struct mallinfo2 info = mallinfo2();
    Memory m = {info.uordblks + info.hblkhd, 0};
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0)
            m.residentKb = atol(line.c_str() + 6);
    }
    return m;
}

struct Counts {
    int changes = 0, opened = 0, closed = 0, autos = 0;
};

void report(const char *when, const Counts &c)
{
    Memory m = memoryNow();
    printf("%-5s tick %6d  map changes %4d  boxes opened %4d closed %4d  automatic events %4d  "
           "heap in use %9zu B  resident %6ld kB\n",
           when, tick, c.changes, c.opened, c.closed, c.autos, m.heap, m.residentKb);
    fflush(stdout);
}

// The first active object with an interact event, after `from`; 0 for none.
int nextInteractObject(int from)
{
    for (int k = 1; k < MAP_OBJECT_COUNT; k++) {
        int slot = (from + k - 1) % (MAP_OBJECT_COUNT - 1) + 1;
        const MapObject &o = mapObjects[slot];
        if (o.active && o.interactCall && *o.interactCall)
            return slot;
    }
    return 0;
}

// The player just below the object, facing up at it (the Ok key's probe
// reaches eight pixels ahead).
void standBefore(int slot)
{
    const MapObject &o = mapObjects[slot];
    object_moveTo(0, o.x / 128, o.y / 128 + o.height + 2);
    mapObjects[0].xSpeed = mapObjects[0].ySpeed = 0;
    mapObjects[0].dir = 3;
}

} // namespace

int main(int argc, char **argv)
{
    int ticks = argc > 1 ? atoi(argv[1]) : 100000;
    std::string maps[2] = {argc > 2 ? argv[2] : "village.tmx", argc > 3 ? argv[3] : "shrine.tmx"};
    std::string game = argc > 4 ? argv[4] : VEMRA_SOURCE_DIR "/game";
    if (chdir(game.c_str()) != 0) {
        fprintf(stderr, "soak: no game folder \"%s\"\n", game.c_str());
        return 1;
    }
    // The maps are read from the game folder, not from beside this program.
    al_find_resources_as(1);
    if (engine_initialize() != 0 || engine_createNewGameObjects() != 0)
        return 1;
    sceneMap_create();
    // Ticks are driven here, not by the clock: nothing may pile up in the
    // queue that the loop would have emptied.
    al_stop_timer(timer);
    input_pollKeyboard = soakKeys;

    Counts c;
    int target = 0;
    size_t shown = 0;
    bool autoDone[MAP_OBJECT_COUNT] = {};
    for (tick = 0; tick < ticks; tick++) {
        int step = tick % VISIT;
        if (step == 0) {
            const std::string &next = maps[c.changes % 2];
            if (!player_teleport(next, true, [] { return Point{mapObj.pixelWidth / 2, mapObj.pixelHeight / 2}; })) {
                fprintf(stderr, "soak: map \"%s\" did not load\n", next.c_str());
                return 1;
            }
            c.changes++;
            memset(autoDone, 0, sizeof autoDone);
            if (c.changes == 2)
                report("start", c);
            else if (c.changes % 100 == 0)
                report("", c);
        }
        // Once the crossfade is over: to the next object with an interact
        // event, the Ok key, then the Ok key every few ticks for the boxes,
        // and a walk to the right at the end of the visit.
        if (step == 24 && (target = nextInteractObject(target)) != 0)
            standBefore(target);
        if (step == 34 && !message_showing() && target == 0)
            message_add("No one to talk to here.", 48, 16, engine_ScrW() - 96, 128);
        okDown = step >= 25 && step % 4 == 1;
        walkKey = step >= 80 ? KEY_RIGHT : 0;

        engine_tick();
        al_flush_event_queue(event_queue);
        int grown = static_cast<int>(messageBox.size()) - static_cast<int>(shown);
        (grown > 0 ? c.opened : c.closed) += grown > 0 ? grown : -grown;
        shown = messageBox.size();
        for (int slot = 1; slot < MAP_OBJECT_COUNT; slot++) {
            if (mapObjects[slot].autoDone && !autoDone[slot])
                c.autos++;
            autoDone[slot] = mapObjects[slot].autoDone;
        }
    }
    report("end", c);
    engine_exit();
    return 0;
}
