// config.cfg on any bytes: read at start-up (before the display exists), the
// key bindings it sets polled, written back and read again.
#include <cstdint>
#include <cstring>

#include "input.h"
#include "support.h"
#include "system.h"

namespace {

// Every key down: each binding read from the file is asked about.
void allKeysDown(ALLEGRO_KEYBOARD_STATE *state)
{
    memset(state, 0xff, sizeof *state);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::setUp();
    input_pollKeyboard = allKeysDown;
    fuzz::writeFile("config.cfg", data, size);
    engine_loadConfig();
    input_update();
    input_keyState(KEY_OK, KEYSTATE_PRESSED);
    engine_saveConfig();
    engine_destroyConfig();
    return 0;
}
