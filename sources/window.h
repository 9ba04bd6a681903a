// Skinned windows: rectangles of the screen decorated with a skin (a centre
// image, four edges, four corners and an auxiliary image read from
// gfx/system/), kept in a pool of 128 slots. The message boxes draw their
// backgrounds with them.
#pragma once

#include <cstdint>
#include <string>

#include <allegro5/allegro.h>

// Window types: 0 stretched centre, no frame; 1 stretched centre with frame;
// 2 tiled centre, no frame; 3 tiled centre with frame. The frameless types
// cover the rectangle grown by 16 pixels on every side; the frame of the
// others lies outside the rectangle.
struct Window {
    ALLEGRO_BITMAP *center;
    ALLEGRO_BITMAP *tl;
    ALLEGRO_BITMAP *t;
    ALLEGRO_BITMAP *tr;
    ALLEGRO_BITMAP *l;
    ALLEGRO_BITMAP *r;
    ALLEGRO_BITMAP *bl;
    ALLEGRO_BITMAP *b;
    ALLEGRO_BITMAP *br;
    ALLEGRO_BITMAP *aux;
    int type;
    // The content area; a frame is drawn around it.
    int x;
    int y;
    int w;
    int h;
    // Kept for windows that animate; zero, and read by nothing yet.
    uint8_t stateFlag;
    int stateValue[2];
    uint8_t stateFlags[4];
    bool inUse;
};

const int WINDOW_SLOTS = 128;
extern Window windowArray[WINDOW_SLOTS];

// The slot of a new window, or -1 when every slot is in use. The window owns
// its images until window_dispose.
int window_create(std::string skin, int type, int x, int y, int w, int h);
void window_updatePos(int slot, int x, int y, int w, int h);
// Draws into the current target bitmap.
void window_draw(int slot);
// Frees the slot and destroys the window's images.
void window_dispose(int slot);
