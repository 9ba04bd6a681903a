// What the benchmark programs share: a clock in milliseconds, a guard that
// keeps the engine's diagnostic lines out of the tables, and the screen they
// draw onto.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include <allegro5/allegro.h>

#include "system.h"

using Clock = std::chrono::steady_clock;

// A tick's share of the frame is measured against this.
const double kFrameMs = 1000.0 / 60.0;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Silences standard error while it lives.
struct Quiet {
    int saved;
    Quiet()
    {
        fflush(stderr);
        saved = dup(2);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~Quiet()
    {
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
};

// The engine's 640 x 480 screen: a display unless `memory` is set or none can
// be made, else a memory bitmap, made the target and returned for the caller
// to destroy.
inline ALLEGRO_BITMAP *benchScreen(bool memory)
{
    width = 640;
    height = 480;
    if (!memory)
        display = al_create_display(width, height);
    if (display)
        return nullptr;
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    ALLEGRO_BITMAP *screen = al_create_bitmap(width, height);
    al_set_target_bitmap(screen);
    return screen;
}

// A PNG of one colour, for the sprite sheets and skins the benchmarks load.
inline bool savePng(const char *path, int w, int h, ALLEGRO_COLOR colour)
{
    int flags = al_get_new_bitmap_flags();
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    ALLEGRO_BITMAP *bitmap = al_create_bitmap(w, h);
    al_set_new_bitmap_flags(flags);
    if (!bitmap)
        return false;
    ALLEGRO_BITMAP *target = al_get_target_bitmap();
    al_set_target_bitmap(bitmap);
    al_clear_to_color(colour);
    al_set_target_bitmap(target);
    bool saved = al_save_bitmap(path, bitmap);
    al_destroy_bitmap(bitmap);
    return saved;
}
