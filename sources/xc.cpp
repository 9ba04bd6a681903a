#include "xc.h"

#include <cstdio>
#include <cstdlib>

static const int XC_MAX_CONTROLLERS = 8;
static XC_STATE *controllers[XC_MAX_CONTROLLERS];

bool xc_install()
{
    if (!al_is_system_installed())
        return false;
    return al_install_joystick();
}

bool xc_reconfigure()
{
    if (!al_is_joystick_installed())
        return false;
    return al_reconfigure_joysticks();
}

XC_STATE *xc_get_state(int n)
{
    if (n < 0 || n >= XC_MAX_CONTROLLERS)
        return nullptr;
    if (controllers[n])
        return controllers[n];
    // Allegro asserts when asked for a joystick it has not installed.
    if (!al_is_joystick_installed())
        return nullptr;
    if (n >= al_get_num_joysticks())
        return nullptr;
    ALLEGRO_JOYSTICK *joystick = al_get_joystick(n);
    if (!joystick)
        return nullptr;
    XC_STATE *state = static_cast<XC_STATE *>(malloc(sizeof(XC_STATE)));
    if (!state)
        return nullptr;
    xc_clear_state(state);
    state->joystick = joystick;
    controllers[n] = state;
    return state;
}

void xc_clear_state(XC_STATE *state)
{
    state->left_stick_x = 0.0f;
    state->left_stick_y = 0.0f;
    state->left_trigger = 0.0f;
    state->right_stick_x = 0.0f;
    state->right_stick_y = 0.0f;
    state->right_trigger = 0.0f;
    state->dpad_x = 0.0f;
    state->dpad_y = 0.0f;
    state->button_a = false;
    state->button_b = false;
    state->button_x = false;
    state->button_y = false;
    state->button_left_stick = false;
    state->button_right_stick = false;
    state->button_left_shoulder = false;
    state->button_right_shoulder = false;
    state->button_start = false;
    state->button_back = false;
    state->button_guide = false;
}

void xc_free_state(XC_STATE *state)
{
    if (!state)
        return;
    // Forget the cache slot too, so that nothing hands out the freed record.
    for (int n = 0; n < XC_MAX_CONTROLLERS; n++) {
        if (controllers[n] == state)
            controllers[n] = nullptr;
    }
    free(state);
}

ALLEGRO_EVENT_SOURCE *xc_get_event_source()
{
    if (!al_is_joystick_installed())
        return nullptr;
    return al_get_joystick_event_source();
}

void xc_put_state(int n, XC_STATE *state)
{
    if (n >= 0 && n < XC_MAX_CONTROLLERS)
        controllers[n] = state;
}

void xc_update_axes(XC_STATE *state, ALLEGRO_EVENT event)
{
    int stick = event.joystick.stick;
    int axis = event.joystick.axis;
    float pos = event.joystick.pos;
    if (axis != 0 && axis != 1)
        return;
    switch (stick) {
    case 0:
        if (axis == 0) state->left_stick_x = pos;
        else state->left_stick_y = pos;
        break;
    case 1:
        if (axis == 0) state->left_trigger = (pos + 1.0f) / 2.0f;
        else state->right_stick_x = pos;
        break;
    case 2:
        if (axis == 0) state->right_stick_y = pos;
        else state->right_trigger = (pos + 1.0f) / 2.0f;
        break;
    case 3:
        if (axis == 0) state->dpad_x = pos;
        else state->dpad_y = pos;
        break;
    default:
        break;
    }
}

void xc_update_buttons(XC_STATE *state, ALLEGRO_EVENT event)
{
    bool value = event.type == ALLEGRO_EVENT_JOYSTICK_BUTTON_DOWN;
    switch (event.joystick.button) {
    case 0: state->button_a = value; break;
    case 1: state->button_b = value; break;
    case 2: state->button_x = value; break;
    case 3: state->button_y = value; break;
    case 4: state->button_left_shoulder = value; break;
    case 5: state->button_right_shoulder = value; break;
    case 6: state->button_back = value; break;
    case 7: state->button_start = value; break;
    case 8: state->button_guide = value; break;
    case 9: state->button_left_stick = value; break;
    case 10: state->button_right_stick = value; break;
    default:
        fprintf(stderr, "[XC] Error: unexpected button (%d)\n", event.joystick.button);
        break;
    }
}

void xc_update(ALLEGRO_EVENT event)
{
    XC_STATE *state = nullptr;
    for (int n = 0; n < XC_MAX_CONTROLLERS; n++) {
        if (controllers[n] && controllers[n]->joystick == event.joystick.id) {
            state = controllers[n];
            break;
        }
    }
    if (!state)
        return;
    switch (event.type) {
    case ALLEGRO_EVENT_JOYSTICK_AXIS:
        xc_update_axes(state, event);
        break;
    case ALLEGRO_EVENT_JOYSTICK_BUTTON_DOWN:
    case ALLEGRO_EVENT_JOYSTICK_BUTTON_UP:
        xc_update_buttons(state, event);
        break;
    default:
        fprintf(stderr, "[XC] Error: unrecognized event (%d)\n", event.type);
        break;
    }
}
