// The data file on any bytes: read into the records, then used as start-up
// uses it (the five fonts, the start party and the player).
#include <cstdint>

#include <allegro5/allegro_font.h>

#include "database.h"
#include "party.h"
#include "player.h"
#include "support.h"
#include "system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::setUp();
    fuzz::luaNewInput();
    fuzz::writeFile("data/database.lua", data, size);
    if (!database_initFrom("data/database.lua")) {
        database_initFrom(nullptr);
        return 0;
    }
    const DBSystem *sys = getDBSystem();
    ALLEGRO_FONT *fonts[] = {
        engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeM),
        engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeL),
        engine_loadFont(sys->fontNormal.c_str(), sys->fontSizeS),
        engine_loadFont(sys->fontDamage.c_str(), sys->fontSizeL),
        engine_loadFont(sys->fontSpecial.c_str(), sys->fontSizeM),
    };
    fuzz::canvas();
    for (ALLEGRO_FONT *font : fonts) {
        if (font) {
            al_draw_text(font, al_map_rgb(255, 255, 255), 4, 4, 0, "Vemra");
            al_destroy_font(font);
        }
    }
    party_initialize();
    createPlayer();
    cache_clearBitmaps();
    // A path of none empties the records and closes the data file's state:
    // nothing of this input is left for the leak check.
    database_initFrom(nullptr);
    return 0;
}
