#include "window.h"

#include <algorithm>
#include <cstdio>

#include "system.h"

Window windowArray[WINDOW_SLOTS];

// How far the frameless types reach beyond the rectangle: as far as the
// 16-pixel frame of a framed skin, so that the text keeps its margin.
static const int FRAMELESS_MARGIN = 16;

// The images in the order a skin is loaded, with their file suffixes.
static const int PART_COUNT = 10;
static ALLEGRO_BITMAP *Window::*const PARTS[PART_COUNT] = {
    &Window::center, &Window::tl, &Window::t, &Window::tr, &Window::l,
    &Window::r, &Window::bl, &Window::b, &Window::br, &Window::aux,
};
static const char *const SUFFIXES[PART_COUNT] = {
    "_center.png", "_tl.png", "_t.png", "_tr.png", "_l.png",
    "_r.png", "_bl.png", "_b.png", "_br.png", "_aux.png",
};

// A window of the pool, or null for a slot outside it (-1 is what a full
// pool hands out).
static Window *window_at(int slot)
{
    if (slot < 0 || slot >= WINDOW_SLOTS)
        return nullptr;
    return &windowArray[slot];
}

static bool window_frameless(int type)
{
    return type == 0 || type == 2;
}

static ALLEGRO_BITMAP *window_loadPart(const std::string &prefix, const char *suffix)
{
    std::string path = prefix + suffix;
    ALLEGRO_BITMAP *image = fileExists(path.c_str()) ? al_load_bitmap(path.c_str()) : nullptr;
    if (!image)
        fprintf(stderr, "Failed to load window skin image %s.\n", path.c_str());
    return image;
}

static void window_loadSkin(Window &win, const std::string &skin)
{
    // A window without a skin name has no images: it draws nothing.
    if (skin.empty())
        return;
    std::string prefix = "gfx/system/" + skin;
    for (int i = 0; i < PART_COUNT; i++) {
        bool framePart = i != 0 && i != PART_COUNT - 1;
        if (!framePart || !window_frameless(win.type))
            win.*PARTS[i] = window_loadPart(prefix, SUFFIXES[i]);
    }
}

int window_create(std::string skin, int type, int x, int y, int w, int h)
{
    int slot = 0;
    while (slot < WINDOW_SLOTS && windowArray[slot].inUse)
        slot++;
    // Look for the slot first: a full pool would keep none of the images.
    if (slot == WINDOW_SLOTS)
        return -1;
    Window &win = windowArray[slot];
    win = Window();
    win.type = type;
    window_updatePos(slot, x, y, w, h);
    window_loadSkin(win, skin);
    win.inUse = true;
    return slot;
}

void window_updatePos(int slot, int x, int y, int w, int h)
{
    Window *win = window_at(slot);
    if (!win)
        return;
    win->x = x;
    win->y = y;
    win->w = w;
    win->h = h;
}

static int window_width(ALLEGRO_BITMAP *image)
{
    return image ? al_get_bitmap_width(image) : 0;
}

static int window_height(ALLEGRO_BITMAP *image)
{
    return image ? al_get_bitmap_height(image) : 0;
}

static void window_stretch(ALLEGRO_BITMAP *image, int x, int y, int w, int h)
{
    // Allegro mirrors an image scaled to a negative size.
    if (!image || w <= 0 || h <= 0)
        return;
    al_draw_scaled_bitmap(image, 0, 0, window_width(image), window_height(image),
                          x, y, w, h, 0);
}

static void window_blit(ALLEGRO_BITMAP *image, int x, int y)
{
    if (image)
        al_draw_bitmap(image, x, y, 0);
}

// Whole tiles from the area's top-left corner; the last column and row take
// the top-left part of the image that still fits.
static void window_tile(ALLEGRO_BITMAP *image, int x, int y, int w, int h)
{
    // An absent centre has no size to divide the area by.
    if (!image)
        return;
    int iw = window_width(image);
    int ih = window_height(image);
    for (int px = 0; px < w; px += iw) {
        for (int py = 0; py < h; py += ih) {
            al_draw_bitmap_region(image, 0, 0, std::min(iw, w - px), std::min(ih, h - py),
                                  x + px, y + py, 0);
        }
    }
}

// The edges span the rectangle's sides at their own thickness; the corners
// sit outside its corners.
static void window_drawFrame(const Window &win)
{
    int x = win.x, y = win.y, w = win.w, h = win.h;
    window_stretch(win.t, x, y - window_height(win.t), w, window_height(win.t));
    window_stretch(win.b, x, y + h, w, window_height(win.b));
    window_stretch(win.l, x - window_width(win.l), y, window_width(win.l), h);
    window_stretch(win.r, x + w, y, window_width(win.r), h);
    window_blit(win.tl, x - window_width(win.tl), y - window_height(win.tl));
    window_blit(win.tr, x + w, y - window_height(win.tr));
    window_blit(win.bl, x - window_width(win.bl), y + h);
    window_blit(win.br, x + w, y + h);
}

void window_draw(int slot)
{
    Window *win = window_at(slot);
    if (!win || !win->inUse || !al_get_target_bitmap())
        return;
    const int m = FRAMELESS_MARGIN;
    int x = win->x, y = win->y, w = win->w, h = win->h;
    switch (win->type) {
    case 0:
        window_stretch(win->center, x - m, y - m, w + 2 * m, h + 2 * m);
        break;
    case 1:
        window_stretch(win->center, x, y, w, h);
        window_drawFrame(*win);
        break;
    case 2:
        window_tile(win->center, x - m, y - m, w + 2 * m, h + 2 * m);
        break;
    case 3:
        window_tile(win->center, x, y, w, h);
        window_drawFrame(*win);
        break;
    default:
        break;
    }
}

void window_dispose(int slot)
{
    Window *win = window_at(slot);
    if (!win)
        return;
    for (ALLEGRO_BITMAP *Window::*part : PARTS) {
        if (win->*part)
            al_destroy_bitmap(win->*part);
        win->*part = nullptr;
    }
    win->inUse = false;
}
