// The state of an Xbox-style controller, kept current from joystick events.
#pragma once

#include <allegro5/allegro.h>

struct XC_STATE {
    float left_stick_x;
    float left_stick_y;
    float left_trigger;
    float right_stick_x;
    float right_stick_y;
    float right_trigger;
    float dpad_x;
    float dpad_y;
    bool button_a;
    bool button_b;
    bool button_x;
    bool button_y;
    bool button_left_stick;
    bool button_right_stick;
    bool button_left_shoulder;
    bool button_right_shoulder;
    bool button_start;
    bool button_back;
    bool button_guide;
    ALLEGRO_JOYSTICK *joystick;
};

bool xc_install();
bool xc_reconfigure();
XC_STATE *xc_get_state(int n);
void xc_clear_state(XC_STATE *state);
void xc_free_state(XC_STATE *state);
ALLEGRO_EVENT_SOURCE *xc_get_event_source();
void xc_update(ALLEGRO_EVENT event);

// Apply one axis or button event to a state. xc_update picks the state of
// the event's joystick and calls these.
void xc_update_axes(XC_STATE *state, ALLEGRO_EVENT event);
void xc_update_buttons(XC_STATE *state, ALLEGRO_EVENT event);

// Puts a state into cache slot n (0 to 7) as if xc_get_state had made it,
// so that xc_update finds it without a real joystick. For tests.
void xc_put_state(int n, XC_STATE *state);
