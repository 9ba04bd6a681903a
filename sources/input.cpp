#include "input.h"

#include <cstdint>

ALLEGRO_KEYBOARD_STATE keys;
static int32_t keyConfig[KEY_COUNT];
static bool keyState[KEYSTATE_COUNT * KEY_COUNT];

bool input_init(ALLEGRO_EVENT_QUEUE *)
{
    return false;
}

void input_update()
{
    al_get_keyboard_state(&keys);
    for (int k = 0; k < KEY_COUNT; k++) {
        bool down = input_getKeyState(k);
        bool wasHeld = keyState[KEYSTATE_HELD * KEY_COUNT + k];
        keyState[KEYSTATE_PRESSED * KEY_COUNT + k] = !wasHeld && down;
        keyState[KEYSTATE_RELEASED * KEY_COUNT + k] = wasHeld && !down;
        keyState[KEYSTATE_HELD * KEY_COUNT + k] = down;
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
    int code = keyConfig[k];
    return code > 0 && code < ALLEGRO_KEY_MAX && al_key_down(&keys, code);
}

void input_destroy()
{
}
