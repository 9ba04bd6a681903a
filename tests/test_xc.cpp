#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "input.h"
#include "xc.h"

namespace {

// Stands for Allegro's joystick handle; never dereferenced.
ALLEGRO_JOYSTICK *const fakeJoystick = reinterpret_cast<ALLEGRO_JOYSTICK *>(0x1000);

ALLEGRO_EVENT axisEvent(int stick, int axis, float pos)
{
    ALLEGRO_EVENT event = {};
    event.type = ALLEGRO_EVENT_JOYSTICK_AXIS;
    event.joystick.id = fakeJoystick;
    event.joystick.stick = stick;
    event.joystick.axis = axis;
    event.joystick.pos = pos;
    return event;
}

ALLEGRO_EVENT buttonEvent(int button, bool down)
{
    ALLEGRO_EVENT event = {};
    event.type = down ? ALLEGRO_EVENT_JOYSTICK_BUTTON_DOWN : ALLEGRO_EVENT_JOYSTICK_BUTTON_UP;
    event.joystick.id = fakeJoystick;
    event.joystick.button = button;
    return event;
}

float *axisField(XC_STATE &s, int index)
{
    float *fields[] = {&s.left_stick_x, &s.left_stick_y, &s.left_trigger, &s.right_stick_x,
                       &s.right_stick_y, &s.right_trigger, &s.dpad_x, &s.dpad_y};
    return fields[index];
}

bool *buttonField(XC_STATE &s, int index)
{
    bool *fields[] = {&s.button_a, &s.button_b, &s.button_x, &s.button_y,
                      &s.button_left_stick, &s.button_right_stick, &s.button_left_shoulder,
                      &s.button_right_shoulder, &s.button_start, &s.button_back, &s.button_guide};
    return fields[index];
}

// Every field equal (the handle too).
void expectSame(XC_STATE &a, XC_STATE &b)
{
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(*axisField(a, i), *axisField(b, i)) << "axis field " << i;
    for (int i = 0; i < 11; i++)
        EXPECT_EQ(*buttonField(a, i), *buttonField(b, i)) << "button field " << i;
    EXPECT_EQ(a.joystick, b.joystick);
}

XC_STATE freshState()
{
    XC_STATE state;
    xc_clear_state(&state);
    state.joystick = fakeJoystick;
    return state;
}

TEST(Joystick, AxisTable)
{
    struct Row {
        int stick, axis, field;
    };
    // The field index follows axisField.
    const Row rows[] = {{0, 0, 0}, {0, 1, 1}, {1, 1, 3}, {2, 0, 4}, {3, 0, 6}, {3, 1, 7}};
    for (const Row &row : rows) {
        XC_STATE state = freshState();
        XC_STATE expected = freshState();
        xc_update_axes(&state, axisEvent(row.stick, row.axis, -0.25f));
        *axisField(expected, row.field) = -0.25f;
        SCOPED_TRACE("stick " + std::to_string(row.stick) + " axis " + std::to_string(row.axis));
        expectSame(state, expected);
    }
}

TEST(Joystick, TriggersAreRescaledToZeroToOne)
{
    const float in[] = {-1.0f, 0.0f, 1.0f, 0.5f};
    const float out[] = {0.0f, 0.5f, 1.0f, 0.75f};
    for (int i = 0; i < 4; i++) {
        XC_STATE state = freshState();
        xc_update_axes(&state, axisEvent(1, 0, in[i]));
        EXPECT_FLOAT_EQ(state.left_trigger, out[i]);
        xc_update_axes(&state, axisEvent(2, 1, in[i]));
        EXPECT_FLOAT_EQ(state.right_trigger, out[i]);
        EXPECT_FLOAT_EQ(state.right_stick_x, 0.0f);
        EXPECT_FLOAT_EQ(state.right_stick_y, 0.0f);
    }
}

TEST(Joystick, OtherSticksAndAxesChangeNothing)
{
    XC_STATE state = freshState();
    XC_STATE expected = freshState();
    testing::internal::CaptureStderr();
    xc_update_axes(&state, axisEvent(4, 0, 0.7f));
    xc_update_axes(&state, axisEvent(0, 2, 0.7f));
    xc_update_axes(&state, axisEvent(-1, 0, 0.7f));
    xc_update_axes(&state, axisEvent(3, -1, 0.7f));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    expectSame(state, expected);
}

TEST(Joystick, ButtonTable)
{
    // Button number -> field index of buttonField.
    const int fieldOf[11] = {0, 1, 2, 3, 6, 7, 9, 8, 10, 4, 5};
    for (int button = 0; button <= 10; button++) {
        XC_STATE state = freshState();
        XC_STATE expected = freshState();
        xc_update_buttons(&state, buttonEvent(button, true));
        *buttonField(expected, fieldOf[button]) = true;
        SCOPED_TRACE("button " + std::to_string(button));
        expectSame(state, expected);
        xc_update_buttons(&state, buttonEvent(button, false));
        XC_STATE cleared = freshState();
        expectSame(state, cleared);
    }
    XC_STATE state = freshState();
    xc_update_buttons(&state, buttonEvent(6, true));
    EXPECT_TRUE(state.button_back);
    xc_update_buttons(&state, buttonEvent(7, true));
    EXPECT_TRUE(state.button_start);
}

TEST(Joystick, ButtonUpWithoutDownIsFalse)
{
    XC_STATE state = freshState();
    state.button_y = true;
    xc_update_buttons(&state, buttonEvent(3, false));
    EXPECT_FALSE(state.button_y);
    xc_update_buttons(&state, buttonEvent(3, false));
    EXPECT_FALSE(state.button_y);
}

TEST(Joystick, UnexpectedButtonMessage)
{
    XC_STATE state = freshState();
    testing::internal::CaptureStderr();
    xc_update_buttons(&state, buttonEvent(11, true));
    xc_update_buttons(&state, buttonEvent(-3, true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[XC] Error: unexpected button (11)\n[XC] Error: unexpected button (-3)\n");
    XC_STATE expected = freshState();
    expectSame(state, expected);
}

TEST(Joystick, UpdateFindsTheStateOfTheEventsJoystick)
{
    XC_STATE *state = static_cast<XC_STATE *>(malloc(sizeof(XC_STATE)));
    xc_clear_state(state);
    state->joystick = fakeJoystick;
    xc_put_state(3, state);

    xc_update(axisEvent(0, 1, 0.5f));
    EXPECT_FLOAT_EQ(state->left_stick_y, 0.5f);
    xc_update(buttonEvent(2, true));
    EXPECT_TRUE(state->button_x);
    xc_update(buttonEvent(2, false));
    EXPECT_FALSE(state->button_x);

    // Another joystick's event: ignored without a word.
    ALLEGRO_EVENT other = buttonEvent(0, true);
    other.joystick.id = reinterpret_cast<ALLEGRO_JOYSTICK *>(0x2000);
    testing::internal::CaptureStderr();
    xc_update(other);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(state->button_a);

    // A joystick event of another type.
    ALLEGRO_EVENT config = buttonEvent(0, true);
    config.type = ALLEGRO_EVENT_JOYSTICK_CONFIGURATION;
    testing::internal::CaptureStderr();
    xc_update(config);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[XC] Error: unrecognized event (" + std::to_string(ALLEGRO_EVENT_JOYSTICK_CONFIGURATION) + ")\n");
    EXPECT_FALSE(state->button_a);

    // Freeing the state empties its slot: its events are ignored afterwards.
    xc_free_state(state);
    testing::internal::CaptureStderr();
    xc_update(config);
    xc_update(axisEvent(0, 0, 1.0f));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Out-of-range numbers never reach Allegro (it would assert, not installed).
TEST(Joystick, OutOfRangeNumbersAreNull)
{
    EXPECT_EQ(xc_get_state(-1), nullptr);
    EXPECT_EQ(xc_get_state(8), nullptr);
    EXPECT_EQ(xc_get_state(-2147483647 - 1), nullptr);
    EXPECT_EQ(xc_get_state(2147483647), nullptr);
}

TEST(Joystick, NoSubsystemNoJoystick)
{
    if (al_is_system_installed())
        GTEST_SKIP() << "Allegro is already installed in this process";
    EXPECT_EQ(xc_get_state(0), nullptr);
    EXPECT_EQ(xc_get_event_source(), nullptr);
    // input_init cannot install the joystick subsystem here: it reports and
    // asks Allegro for nothing.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(input_init(nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to grab xbox controller state.\n");
    input_destroy();
}

TEST(Joystick, InputInitWithoutAJoystickReports)
{
    ASSERT_TRUE(al_install_system(ALLEGRO_VERSION_INT, atexit));
    ALLEGRO_EVENT_QUEUE *queue = al_create_event_queue();
    ASSERT_NE(queue, nullptr);
    testing::internal::CaptureStderr();
    bool found = input_init(queue);
    std::string err = testing::internal::GetCapturedStderr();
    if (found) {
        input_destroy();
        al_destroy_event_queue(queue);
        GTEST_SKIP() << "this machine has a joystick";
    }
    EXPECT_EQ(err, "Failed to grab xbox controller state.\n");
    input_destroy();
    al_destroy_event_queue(queue);
}

} // namespace
