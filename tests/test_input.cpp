#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "input.h"
#include "system.h"
#include "test_support.h"

namespace {

// The keyboard the tests press keys on; input_update reads it through the
// poll hook instead of Allegro's real keyboard.
ALLEGRO_KEYBOARD_STATE fakeKeyboard;
void (*const allegroPoll)(ALLEGRO_KEYBOARD_STATE *) = input_pollKeyboard;

void pollFake(ALLEGRO_KEYBOARD_STATE *state)
{
    *state = fakeKeyboard;
}

void setDown(int code, bool down)
{
    unsigned int bit = 1u << (code % 32);
    if (down)
        fakeKeyboard.__key_down__internal__[code / 32] |= bit;
    else
        fakeKeyboard.__key_down__internal__[code / 32] &= ~bit;
}

const int defaultKeys[KEY_COUNT] = {
    ALLEGRO_KEY_UP, ALLEGRO_KEY_DOWN, ALLEGRO_KEY_LEFT, ALLEGRO_KEY_RIGHT,
    ALLEGRO_KEY_C, ALLEGRO_KEY_X, ALLEGRO_KEY_X, ALLEGRO_KEY_Z,
    ALLEGRO_KEY_D, ALLEGRO_KEY_S, ALLEGRO_KEY_A, ALLEGRO_KEY_PGUP,
    ALLEGRO_KEY_PGDN, ALLEGRO_KEY_LSHIFT, ALLEGRO_KEY_RSHIFT,
};

struct Flags {
    bool released, held, pressed, repeat;
};

Flags flags(Key k)
{
    return {input_keyState(k, KEYSTATE_RELEASED), input_keyState(k, KEYSTATE_HELD),
            input_keyState(k, KEYSTATE_PRESSED), input_keyState(k, KEYSTATE_REPEAT)};
}

class InputTest : public testing::Test {
protected:
    void SetUp() override
    {
        input_pollKeyboard = pollFake;
        memset(&fakeKeyboard, 0, sizeof fakeKeyboard);
        for (int k = 0; k < KEY_COUNT; k++)
            input_setKey(k, defaultKeys[k]);
        // Two polls with nothing down leave every flag false.
        input_update();
        input_update();
    }

    void TearDown() override
    {
        memset(&fakeKeyboard, 0, sizeof fakeKeyboard);
        input_update();
        input_update();
        input_pollKeyboard = allegroPoll;
    }
};

TEST_F(InputTest, OneTickTap)
{
    setDown(ALLEGRO_KEY_C, true);
    input_update();
    Flags f = flags(KEY_OK);
    EXPECT_FALSE(f.released);
    EXPECT_TRUE(f.held);
    EXPECT_TRUE(f.pressed);
    EXPECT_TRUE(f.repeat);

    setDown(ALLEGRO_KEY_C, false);
    input_update();
    f = flags(KEY_OK);
    EXPECT_TRUE(f.released);
    EXPECT_FALSE(f.held);
    EXPECT_FALSE(f.pressed);
    EXPECT_FALSE(f.repeat);

    input_update();
    f = flags(KEY_OK);
    EXPECT_FALSE(f.released || f.held || f.pressed || f.repeat);

    // Other keys never moved.
    EXPECT_FALSE(input_keyState(KEY_UP, KEYSTATE_HELD));
}

TEST_F(InputTest, TwentyTickHoldRepeatsEveryEightTicks)
{
    setDown(ALLEGRO_KEY_UP, true);
    std::vector<int> repeats, presses;
    for (int tick = 0; tick < 20; tick++) {
        input_update();
        EXPECT_TRUE(input_keyState(KEY_UP, KEYSTATE_HELD)) << "tick " << tick;
        EXPECT_FALSE(input_keyState(KEY_UP, KEYSTATE_RELEASED)) << "tick " << tick;
        if (input_keyState(KEY_UP, KEYSTATE_REPEAT))
            repeats.push_back(tick);
        if (input_keyState(KEY_UP, KEYSTATE_PRESSED))
            presses.push_back(tick);
    }
    EXPECT_EQ(repeats, (std::vector<int>{0, 8, 16}));
    EXPECT_EQ(presses, (std::vector<int>{0}));

    setDown(ALLEGRO_KEY_UP, false);
    input_update(); // tick 20
    Flags f = flags(KEY_UP);
    EXPECT_TRUE(f.released);
    EXPECT_FALSE(f.held || f.pressed || f.repeat);
}

TEST_F(InputTest, RepeatRestartsWithEachPress)
{
    setDown(ALLEGRO_KEY_LEFT, true);
    for (int tick = 0; tick < 5; tick++)
        input_update();
    setDown(ALLEGRO_KEY_LEFT, false);
    input_update();
    setDown(ALLEGRO_KEY_LEFT, true);
    std::vector<int> repeats;
    for (int tick = 0; tick < 17; tick++) {
        input_update();
        if (input_keyState(KEY_LEFT, KEYSTATE_REPEAT))
            repeats.push_back(tick);
    }
    EXPECT_EQ(repeats, (std::vector<int>{0, 8, 16}));
}

TEST_F(InputTest, CancelAndRunShareTheirDefaultKey)
{
    EXPECT_EQ(input_getKey(KEY_CANCEL), input_getKey(KEY_RUN));
    const bool pattern[] = {true, true, false, true, true, true, true, true, true, true, false, false};
    for (bool down : pattern) {
        setDown(ALLEGRO_KEY_X, down);
        input_update();
        for (int s = 0; s < KEYSTATE_COUNT; s++) {
            EXPECT_EQ(input_keyState(KEY_CANCEL, static_cast<KeyState>(s)),
                      input_keyState(KEY_RUN, static_cast<KeyState>(s)));
        }
    }
}

// Bindings outside Allegro's key range come from a hand-edited config.cfg.
// Every key of the keyboard is down, yet these are never down, and they
// never reach al_key_down (which would read past its table: run this one
// under AddressSanitizer).
TEST_F(InputTest, OutOfRangeKeyCodesAreNeverDown)
{
    memset(fakeKeyboard.__key_down__internal__, 0xff, sizeof fakeKeyboard.__key_down__internal__);
    const int codes[] = {0, -1, -2147483647 - 1, 300, ALLEGRO_KEY_MAX, 2147483647, 100000};
    for (int code : codes) {
        input_setKey(KEY_JUMP, code);
        EXPECT_EQ(input_getKey(KEY_JUMP), code);
        for (int tick = 0; tick < 3; tick++) {
            input_update();
            EXPECT_FALSE(input_getKeyState(KEY_JUMP)) << code;
            EXPECT_FALSE(input_keyState(KEY_JUMP, KEYSTATE_HELD)) << code;
            EXPECT_FALSE(input_keyState(KEY_JUMP, KEYSTATE_PRESSED)) << code;
            EXPECT_FALSE(input_keyState(KEY_JUMP, KEYSTATE_REPEAT)) << code;
        }
    }
    // A binding in range on the same keyboard is down.
    input_setKey(KEY_JUMP, ALLEGRO_KEY_MAX - 1);
    input_update();
    EXPECT_TRUE(input_keyState(KEY_JUMP, KEYSTATE_PRESSED));
}

// config.cfg may hold any number: it is bound as read and written back as read.
TEST_F(InputTest, OutOfRangeCodesFromConfigAreKeptAndWrittenBack)
{
    ASSERT_TRUE(al_install_system(ALLEGRO_VERSION_INT, atexit));
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    ASSERT_TRUE(dir.enter());
    {
        std::ofstream out("config.cfg");
        out << "[CONTROLS]\nkeyMenu=-5\nkeyJump=300\n";
    }
    engine_loadConfig();
    EXPECT_EQ(input_getKey(KEY_MENU), -5);
    EXPECT_EQ(input_getKey(KEY_JUMP), 300);

    memset(fakeKeyboard.__key_down__internal__, 0xff, sizeof fakeKeyboard.__key_down__internal__);
    input_update();
    EXPECT_FALSE(input_keyState(KEY_MENU, KEYSTATE_HELD));
    EXPECT_FALSE(input_keyState(KEY_JUMP, KEYSTATE_HELD));
    EXPECT_TRUE(input_keyState(KEY_UP, KEYSTATE_HELD));

    remove("config.cfg");
    engine_saveConfig();
    std::string saved = readFile("config.cfg");
    EXPECT_NE(saved.find("keyMenu=-5\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("keyJump=300\n"), std::string::npos) << saved;
    EXPECT_EQ(input_getKey(KEY_MENU), -5);
    EXPECT_EQ(input_getKey(KEY_JUMP), 300);

    engine_destroyConfig();
    ASSERT_TRUE(dir.leave());
}

// The scene freezes the screen during the tick in which the key went down.
int freezeCalls = 0;

void freezeOnFirstTick()
{
    if (!engine_isFrozen() && freezeCalls++ == 0) {
        engine_freezeScreen();
        engine_transition(3);
    }
}

TEST_F(InputTest, PressedFlagHoldsThroughAFreeze)
{
    ASSERT_EQ(display, nullptr);
    freezeCalls = 0;
    set_update_callback(freezeOnFirstTick);

    setDown(ALLEGRO_KEY_C, true);
    engine_tick();
    ASSERT_TRUE(engine_isFrozen());
    EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_PRESSED));

    // The key comes up during the crossfade; the keyboard is not polled.
    setDown(ALLEGRO_KEY_C, false);
    int frozenTicks = 0;
    while (engine_isFrozen() && frozenTicks < 10) {
        engine_tick();
        frozenTicks++;
        EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_PRESSED));
        EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_HELD));
        EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_REPEAT));
        EXPECT_FALSE(input_keyState(KEY_OK, KEYSTATE_RELEASED));
    }
    EXPECT_EQ(frozenTicks, 4);

    // The first unfrozen tick sees the release.
    engine_tick();
    EXPECT_FALSE(input_keyState(KEY_OK, KEYSTATE_PRESSED));
    EXPECT_TRUE(input_keyState(KEY_OK, KEYSTATE_RELEASED));

    set_update_callback(nullptr);
}

TEST_F(InputTest, KeyStillHeldAfterFreezeIsNotPressedAgain)
{
    setDown(ALLEGRO_KEY_DOWN, true);
    input_update();
    ASSERT_TRUE(input_keyState(KEY_DOWN, KEYSTATE_PRESSED));
    engine_freezeScreen();
    for (int tick = 0; tick < 3; tick++) {
        engine_tick();
        EXPECT_TRUE(input_keyState(KEY_DOWN, KEYSTATE_PRESSED));
    }
    _engine_freeze = false;
    engine_tick();
    EXPECT_FALSE(input_keyState(KEY_DOWN, KEYSTATE_PRESSED));
    EXPECT_TRUE(input_keyState(KEY_DOWN, KEYSTATE_HELD));
}

// Without Allegro's keyboard no key is down (and nothing asserts).
TEST(InputNoKeyboard, UpdateWithoutKeyboardReadsNothingDown)
{
    ASSERT_EQ(input_pollKeyboard, allegroPoll);
    if (al_is_system_installed() && al_is_keyboard_installed())
        GTEST_SKIP() << "a keyboard is installed in this process";
    input_update();
    for (int k = 0; k < KEY_COUNT; k++)
        EXPECT_FALSE(input_keyState(static_cast<Key>(k), KEYSTATE_HELD));
}

} // namespace
