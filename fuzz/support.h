// What the fuzz targets share: Allegro started once without a display, a
// private game folder that is the working directory for the whole run, and
// a sandbox that bounds the Lua code an input may run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <allegro5/allegro.h>

namespace fuzz {

// Starts Allegro with its image and font addons (new bitmaps are memory
// bitmaps), makes the game folder and enters it: data/maps/, the demo
// game's gfx/ and two tileset images, gfx/tilesets/world.png and
// data/maps/tiles.png. Map folders are found from the working directory.
// Later calls do nothing.
void setUp();

void writeFile(const std::string &path, const uint8_t *data, size_t size);
void writeFile(const std::string &path, const std::string &text);

// A small memory bitmap, cleared and made the target: drawing beyond it is
// clipped, so that an input costs its logic, not its pixels.
ALLEGRO_BITMAP *canvas();

// Lua run by one input is bounded: a few million instructions in all, and
// its states may not hold more than a few hundred megabytes. A script that
// goes past either gets a Lua error, as if it had raised one itself. Call at
// the start of every input of a target that runs Lua.
void luaNewInput();

} // namespace fuzz
