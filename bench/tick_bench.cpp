// Cost of one tick of the map world: one map_draw (the three tile layers,
// every active object's update with its collision and trigger passes, and
// every object drawn) on a 100 x 100 map with 100, 250, 500 and 999 solid
// objects walking looping routes. Prints the mean and the 99th percentile of
// one map_draw, their share of a 60 Hz frame (16.7 ms), the mean of the
// object updates alone, and how many heap allocations a map_draw makes.
//
// The second table gives every object an automatic condition that never
// holds ("false") and the map a script, so that every trigger pass runs that
// condition: once for each other active slot, in every solid object's
// movement step. It needs the event system's map scripts; without them the
// condition never reaches Lua and the table says so.
//
//   build/bench/tick_bench [--memory] [--objects N] [--table 1|2] [seconds per row]
//
// --objects N and --table T time only the rows of N objects, or only table T
// (for a profiler).
//
// Draws onto a 640 x 480 display when there is one (under Xvfb: software
// OpenGL), else, or with --memory, onto a memory bitmap.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>

#include "gamestate.h"
#include "map.h"
#include "object.h"
#include "player.h"
#include "system.h"
#include "bench_support.h"

// Heap allocations are counted while `countAllocations` is set: every
// malloc, calloc and realloc of the program and its libraries comes here.
// Sanitizers bring their own allocator, so they build without the count.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
static const bool allocationsCounted = false;
static bool countAllocations;
static long allocations;
#else
static const bool allocationsCounted = true;
static bool countAllocations;
static long allocations;
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
void *malloc(size_t size)
{
    allocations += countAllocations;
    return __libc_malloc(size);
}
void *calloc(size_t n, size_t size)
{
    allocations += countAllocations;
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t size)
{
    allocations += countAllocations;
    return __libc_realloc(p, size);
}
void free(void *p)
{
    __libc_free(p);
}
}
#endif

namespace {

const int kMapTiles = 100;
const int kSpacing = 96;        // pixels between neighbouring objects
const int kRouteLength = 48;    // pixels walked to the right and back
// A map of grass with a few roof tiles on BG2, and `count` objects in a grid
// whose cells are kSpacing pixels apart: far enough apart that each walks
// its route without meeting a neighbour, so every pair costs the same tests.
std::string mapText(int count, const char *autoCondition)
{
    std::ostringstream s;
    s << "<map orientation=\"orthogonal\" width=\"" << kMapTiles << "\" height=\"" << kMapTiles
      << "\" tilewidth=\"32\" tileheight=\"32\">"
      << "<tileset firstgid=\"1\" tilewidth=\"32\" tileheight=\"32\"><image source=\"tiles.png\"/></tileset>";
    for (const char *layer : {"BG0", "BG1", "BG2"}) {
        s << "<layer name=\"" << layer << "\" width=\"" << kMapTiles << "\" height=\"" << kMapTiles
          << "\"><data encoding=\"csv\">";
        for (int i = 0; i < kMapTiles * kMapTiles; i++) {
            int gid = layer[2] == '0' ? 1 : layer[2] == '2' && i % 7 == 0 ? 2 : 0;
            s << (i ? "," : "") << gid;
        }
        s << "</data></layer>\n";
    }
    s << "<objectgroup name=\"events\">";
    int perRow = kMapTiles * 32 / kSpacing;
    for (int i = 0; i < count; i++) {
        s << "<object id=\"" << i << "\" x=\"" << i % perRow * kSpacing << "\" y=\"" << i / perRow * kSpacing
          << "\"><properties><property name=\"graphicName\" value=\"npc.png\"/>";
        if (autoCondition)
            s << "<property name=\"autoCondition\" value=\"" << autoCondition << "\"/>";
        s << "</properties></object>\n";
    }
    s << "</objectgroup></map>\n";
    return s.str();
}

struct Row {
    double mean, p99, updatesMean, allocationsPerTick;
    int ticks;
};

// Loads the map, sets every object walking, and times map_draw tick after
// tick for about `seconds`.
Row measure(const std::string &name, int count, double seconds)
{
    {
        Quiet quiet;
        if (!teleport(name, 1600, 1600, false)) {
            fprintf(stderr, "tick_bench: cannot load %s\n", name.c_str());
            exit(1);
        }
        for (int slot = 1; slot <= count; slot++) {
            MapObject *o = getMapObject(slot);
            int x = o->x / 128, y = o->y / 128 + 16;
            object_setMoveroute(slot, {{x + 16, y}, {x + 16 + kRouteLength, y}}, true);
        }
        for (int i = 0; i < 30; i++)
            map_draw(); // every automatic trigger has had its pass
    }
    std::vector<double> times;
    times.reserve(2000);
    double updates = 0;
    long allocated = 0;
    Clock::time_point start = Clock::now();
    while (times.size() < 20 || (msSince(start) < seconds * 1000 && times.size() < 2000)) {
        setScroll(getMapObjectX(0) / 128 - engine_ScrW() / 2, getMapObjectY(0) / 128 - engine_ScrH() / 2);
        long before = allocations;
        countAllocations = true;
        Clock::time_point t0 = Clock::now();
        map_draw();
        double ms = msSince(t0);
        countAllocations = false;
        allocated += allocations - before;
        times.push_back(ms);
        if (display)
            al_flip_display();
    }
    // The same updates without the drawing around them, as many ticks again.
    // Timed apart from the map_draw ticks: updates interleaved with them
    // would put every footstep on the same side.
    for (size_t tick = 0; tick < times.size(); tick++) {
        Clock::time_point t1 = Clock::now();
        object_beginUpdates();
        for (int slot = 0; slot <= count; slot++)
            object_update(slot);
        object_endUpdates();
        updates += msSince(t1);
    }
    Row row;
    row.ticks = (int)times.size();
    row.mean = 0;
    for (double t : times)
        row.mean += t;
    row.mean /= row.ticks;
    row.updatesMean = updates / row.ticks;
    row.allocationsPerTick = (double)allocated / row.ticks;
    std::sort(times.begin(), times.end());
    row.p99 = times[std::min(row.ticks - 1, (int)(row.ticks * 0.99))];
    return row;
}

void printTable(const char *title, const char *autoCondition, double seconds, int only)
{
    printf("\n%s\n", title);
    printf("%8s %7s %10s %10s %9s %9s %12s %12s\n", "objects", "ticks", "mean ms", "p99 ms", "mean/16.7",
           "p99/16.7", "updates ms", "allocs/tick");
    for (int count : {100, 250, 500, 999}) {
        if (only && count != only)
            continue;
        std::string name = "bench" + std::to_string(count) + (autoCondition ? "auto" : "") + ".tmx";
        std::ofstream("data/maps/" + name) << mapText(count, autoCondition);
        // The map's script: empty, so that conditions run in its state.
        std::ofstream("data/maps/" + name.substr(0, name.size() - 4) + ".lua") << "-- tick_bench\n";
        Row r = measure(name, count, seconds);
        printf("%8d %7d %10.3f %10.3f %9.3f %9.3f %12.3f ", count, r.ticks, r.mean, r.p99, r.mean / kFrameMs,
               r.p99 / kFrameMs, r.updatesMean);
        if (allocationsCounted)
            printf("%12.2f\n", r.allocationsPerTick);
        else
            printf("%12s\n", "-");
        fflush(stdout);
    }
    if (autoCondition && !Linterpreter)
        printf("(no map script was loaded: the conditions did not run Lua, so this table only repeats the\n"
               " first one; it measures the conditions once the event system's map scripts are in)\n");
}

} // namespace

int main(int argc, char **argv)
{
    bool memory = false;
    double seconds = 3.0;
    int only = 0;
    int table = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--memory") == 0)
            memory = true;
        else if (strcmp(argv[i], "--objects") == 0 && i + 1 < argc)
            only = atoi(argv[++i]);
        else if (strcmp(argv[i], "--table") == 0 && i + 1 < argc)
            table = atoi(argv[++i]);
        else
            seconds = atof(argv[i]) > 0 ? atof(argv[i]) : seconds;
    }
    if (!al_init() || !al_init_image_addon()) {
        fprintf(stderr, "tick_bench: cannot start Allegro\n");
        return 1;
    }
    ALLEGRO_BITMAP *screen = benchScreen(memory);
    printf("map_draw on a %dx%d map, drawn onto %s\n", kMapTiles, kMapTiles,
           display ? "a 640x480 display" : "a 640x480 memory bitmap");

    // Everything is read from a folder of its own, maps included.
    char folder[] = "/tmp/tick_bench_XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        fprintf(stderr, "tick_bench: no temporary folder\n");
        return 1;
    }
    for (const char *sub : {"data", "data/maps", "gfx", "gfx/charsets"})
        mkdir(sub, 0755);
    al_find_resources_as(1);
    // Footstep files, found as a game's would be (nothing plays them: the
    // bench installs no audio).
    for (const char *step : {"1.ogg", "2.ogg", "3.ogg", "4.ogg"})
        std::ofstream(step) << "";
    if (!savePng("data/maps/tiles.png", 64, 32, al_map_rgb(40, 140, 60)) ||
        !savePng("gfx/charsets/npc.png", 200, 320, al_map_rgb(200, 120, 80))) {
        fprintf(stderr, "tick_bench: cannot write the images\n");
        return 1;
    }
    {
        Quiet quiet;
        object_create(0, 40, 80, "npc.png", 1600, 1600, 32, 32, 80, 2, true, true);
    }

    if (table != 2)
        printTable("Solid objects on looping routes", nullptr, seconds, only);
    if (table != 1)
        printTable("The same, every object with an automatic condition that stays false", "false", seconds, only);

    map_destroy();
    cache_clearBitmaps();
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    return 0;
}
