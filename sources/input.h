// The fifteen logical keys, bound to keyboard key codes by config.cfg.
#pragma once

#include <allegro5/allegro.h>

enum Key {
    KEY_UP, KEY_DOWN, KEY_LEFT, KEY_RIGHT, KEY_OK, KEY_CANCEL, KEY_RUN, KEY_JUMP,
    KEY_MENU, KEY_SPECIAL, KEY_INFO, KEY_PGUP, KEY_PGDN, KEY_LB, KEY_RB,
    KEY_COUNT
};

enum KeyState {
    KEYSTATE_RELEASED, KEYSTATE_HELD, KEYSTATE_PRESSED, KEYSTATE_REPEAT,
    KEYSTATE_COUNT
};

extern ALLEGRO_KEYBOARD_STATE keys;

// Takes the keyboard snapshot for input_update: al_get_keyboard_state (no key
// down while the keyboard is not installed). Tests put their own here.
extern void (*input_pollKeyboard)(ALLEGRO_KEYBOARD_STATE *state);

bool input_init(ALLEGRO_EVENT_QUEUE *queue);
void input_update();
bool input_keyState(Key k, KeyState s);
int input_getKey(Key k);
void input_setKey(int k, int code);
bool input_getKeyState(int k);
void input_destroy();
