#include "input.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "xc.h"

ALLEGRO_KEYBOARD_STATE keys;
static int32_t keyConfig[KEY_COUNT];
static bool keyState[KEYSTATE_COUNT * KEY_COUNT];
static int8_t repeatCounter[KEY_COUNT];
static XC_STATE *controller = nullptr;

// Ticks between two repeats of a held key.
static const int8_t REPEAT_TICKS = 8;

static void input_pollAllegro(ALLEGRO_KEYBOARD_STATE *state)
{
    // Allegro asserts when its keyboard is polled before it is installed:
    // without a keyboard, no key is down.
    if (!al_is_keyboard_installed()) {
        memset(state, 0, sizeof *state);
        return;
    }
    al_get_keyboard_state(state);
}

void (*input_pollKeyboard)(ALLEGRO_KEYBOARD_STATE *state) = input_pollAllegro;

bool input_init(ALLEGRO_EVENT_QUEUE *queue)
{
    // Without the joystick subsystem Allegro must not be asked for a joystick.
    if (!xc_install() || !(controller = xc_get_state(0))) {
        fputs("Failed to grab xbox controller state.\n", stderr);
        return false;
    }
    ALLEGRO_EVENT_SOURCE *source = xc_get_event_source();
    if (queue && source)
        al_register_event_source(queue, source);
    return true;
}

void input_update()
{
    input_pollKeyboard(&keys);
    for (int k = 0; k < KEY_COUNT; k++) {
        bool down = input_getKeyState(k);
        bool wasHeld = keyState[KEYSTATE_HELD * KEY_COUNT + k];
        bool pressed = !wasHeld && down;
        keyState[KEYSTATE_PRESSED * KEY_COUNT + k] = pressed;
        keyState[KEYSTATE_RELEASED * KEY_COUNT + k] = wasHeld && !down;
        keyState[KEYSTATE_HELD * KEY_COUNT + k] = down;

        bool &repeat = keyState[KEYSTATE_REPEAT * KEY_COUNT + k];
        if (pressed) {
            repeatCounter[k] = REPEAT_TICKS;
            repeat = true;
        } else if (down) {
            repeatCounter[k]--;
            repeat = false;
            if (repeatCounter[k] <= 0) {
                repeat = true;
                repeatCounter[k] = REPEAT_TICKS;
            }
        } else {
            repeat = false;
        }
    }
}

bool input_keyState(Key k, KeyState s)
{
    return keyState[s * KEY_COUNT + k];
}

int input_getKey(Key k)
{
    return keyConfig[k];
}

void input_setKey(int k, int code)
{
    keyConfig[k] = code;
}

bool input_getKeyState(int k)
{
    // A binding read from config.cfg may lie outside Allegro's key range;
    // al_key_down does not check it, so such a key is simply never down.
    int code = keyConfig[k];
    return code > 0 && code < ALLEGRO_KEY_MAX && al_key_down(&keys, code);
}

void input_destroy()
{
    if (controller)
        xc_free_state(controller);
    controller = nullptr;
}
