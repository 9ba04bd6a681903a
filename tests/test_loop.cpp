// The main loop's dispatch, screen freeze and crossfade, driven by handing the
// loop events of our own on a real display (under Xvfb when headless).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "input.h"
#include "system.h"

namespace {

struct Rgb {
    int r, g, b;
};

Rgb backPixel(int x = 5, int y = 5)
{
    unsigned char r, g, b;
    al_unmap_rgb(al_get_pixel(al_get_backbuffer(display), x, y), &r, &g, &b);
    return {r, g, b};
}

ALLEGRO_EVENT eventOfType(ALLEGRO_EVENT_TYPE type)
{
    ALLEGRO_EVENT event = {};
    event.type = type;
    return event;
}

int callbackRuns = 0;
Rgb pixelSeenByCallback = {-1, -1, -1};

void countingCallback()
{
    callbackRuns++;
    pixelSeenByCallback = backPixel();
}

void freezingCallback()
{
    callbackRuns++;
    engine_freezeScreen();
}

ALLEGRO_COLOR sceneColour;

void drawSceneCallback()
{
    callbackRuns++;
    al_clear_to_color(sceneColour);
}

class LoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_install_keyboard());
        al_set_new_display_flags(ALLEGRO_WINDOWED);
        al_set_new_bitmap_flags(ALLEGRO_MIN_LINEAR | ALLEGRO_MAG_LINEAR);
        display = al_create_display(64, 48);
        if (!display)
            GTEST_SKIP() << "no display available";
        al_set_target_backbuffer(display);
        update_callback = nullptr;
        _engine_freeze = false;
        _engine_transition = false;
        callbackRuns = 0;
        pixelSeenByCallback = {-1, -1, -1};

        // The pixel checks read the back buffer after a flip, which this
        // display keeps; where it does not, there is nothing to read.
        al_clear_to_color(al_map_rgb(12, 34, 56));
        al_flip_display();
        Rgb kept = backPixel();
        backBufferKept = kept.r == 12 && kept.g == 34 && kept.b == 56;
    }
    void TearDown() override
    {
        for (ALLEGRO_BITMAP *&clone : screen_clone) {
            if (clone)
                al_destroy_bitmap(clone);
            clone = nullptr;
        }
        if (display)
            al_destroy_display(display);
        display = nullptr;
        update_callback = nullptr;
        _engine_freeze = false;
        _engine_transition = false;
    }

    void fill(int r, int g, int b) { al_clear_to_color(al_map_rgb(r, g, b)); }

    bool backBufferKept = false;
};

} // namespace

TEST_F(LoopTest, CloseEndsTheLoopFrozenOrNot)
{
    EXPECT_EQ(engine_handleEvent(eventOfType(ALLEGRO_EVENT_DISPLAY_CLOSE)), 1);
    _engine_freeze = true;
    EXPECT_EQ(engine_handleEvent(eventOfType(ALLEGRO_EVENT_DISPLAY_CLOSE)), 1);
    _engine_transition = true;
    EXPECT_EQ(engine_handleEvent(eventOfType(ALLEGRO_EVENT_DISPLAY_CLOSE)), 1);
}

TEST_F(LoopTest, KeyboardAndOtherEventsChangeNothing)
{
    update_callback = countingCallback;
    unsigned long flips = engine_flipCount;
    ALLEGRO_EVENT_TYPE ignored[] = {
        ALLEGRO_EVENT_KEY_DOWN, ALLEGRO_EVENT_KEY_CHAR, ALLEGRO_EVENT_KEY_UP,
        ALLEGRO_EVENT_JOYSTICK_CONFIGURATION, ALLEGRO_EVENT_DISPLAY_RESIZE,
        ALLEGRO_EVENT_DISPLAY_SWITCH_OUT, ALLEGRO_EVENT_AUDIO_STREAM_FRAGMENT,
    };
    for (ALLEGRO_EVENT_TYPE type : ignored) {
        ALLEGRO_EVENT event = eventOfType(type);
        event.keyboard.keycode = ALLEGRO_KEY_C;
        EXPECT_EQ(engine_handleEvent(event), 0) << type;
    }
    EXPECT_EQ(callbackRuns, 0);
    EXPECT_EQ(engine_flipCount, flips);
    EXPECT_FALSE(input_keyState(KEY_OK, KEYSTATE_PRESSED));
    EXPECT_FALSE(input_keyState(KEY_OK, KEYSTATE_HELD));

    // A joystick event of a joystick nobody asked for is ignored too.
    EXPECT_EQ(engine_handleEvent(eventOfType(ALLEGRO_EVENT_JOYSTICK_AXIS)), 0);
    EXPECT_EQ(engine_flipCount, flips);
}

TEST_F(LoopTest, TickWithoutCallbackClearsToBlackAndFlips)
{
    EXPECT_TRUE(call_update_callback());
    EXPECT_TRUE(call_freeze_callback());
    fill(255, 0, 0);
    unsigned long flips = engine_flipCount;
    EXPECT_EQ(engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER)), 0);
    EXPECT_EQ(engine_flipCount, flips + 1);
    if (backBufferKept) {
        Rgb pixel = backPixel();
        EXPECT_EQ(pixel.r + pixel.g + pixel.b, 0);
    }
}

TEST_F(LoopTest, TickClearsBeforeTheSceneRuns)
{
    set_update_callback(countingCallback);
    EXPECT_FALSE(call_update_callback());
    callbackRuns = 0;
    fill(255, 255, 255);
    engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_EQ(callbackRuns, 1);
    EXPECT_EQ(pixelSeenByCallback.r + pixelSeenByCallback.g + pixelSeenByCallback.b, 0);
}

TEST_F(LoopTest, TickThatStartsAFreezeIsNotShown)
{
    update_callback = freezingCallback;
    unsigned long flips = engine_flipCount;
    engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_TRUE(engine_isFrozen());
    EXPECT_EQ(engine_flipCount, flips);

    // Frozen without a crossfade: the scene still runs, nothing is shown.
    update_callback = countingCallback;
    callbackRuns = 0;
    for (int i = 0; i < 5; i++)
        engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_EQ(callbackRuns, 5);
    EXPECT_EQ(engine_flipCount, flips);
    EXPECT_TRUE(engine_isFrozen());
}

TEST_F(LoopTest, CrossfadeRunsTwentyOneStepsFromOldToNew)
{
    // Old scene red, new scene blue.
    fill(255, 0, 0);
    engine_freezeScreen();
    ASSERT_TRUE(engine_isFrozen());
    sceneColour = al_map_rgb(0, 0, 255);
    update_callback = drawSceneCallback;
    engine_transition(20);
    EXPECT_EQ(callbackRuns, 1);
    EXPECT_TRUE(_engine_transition);

    std::vector<int> reds;
    int ticks = 0;
    while (engine_isFrozen() && ticks < 100) {
        // The scene keeps drawing under the crossfade; the images cover it.
        sceneColour = al_map_rgb(0, 255, 0);
        unsigned long flips = engine_flipCount;
        engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
        ticks++;
        EXPECT_EQ(engine_flipCount, flips + (engine_isFrozen() ? 1 : 2)) << "tick " << ticks;
        if (backBufferKept) {
            Rgb pixel = backPixel();
            reds.push_back(pixel.r);
            EXPECT_EQ(pixel.g, 0) << "tick " << ticks;
            EXPECT_NEAR(pixel.r + pixel.b, 255, 2) << "tick " << ticks;
        }
    }
    EXPECT_EQ(ticks, 21);
    EXPECT_FALSE(_engine_freeze);
    EXPECT_FALSE(_engine_transition);
    EXPECT_EQ(callbackRuns, 1 + 21);
    if (backBufferKept) {
        ASSERT_EQ(reds.size(), 21u);
        for (int i = 0; i < 21; i++)
            EXPECT_NEAR(reds[i], 255.0 * (20 - i) / 20, 1.5) << "step " << i;
    }

    // The next tick is an ordinary one: cleared, scene drawn, flipped once.
    unsigned long flips = engine_flipCount;
    engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_EQ(engine_flipCount, flips + 1);
    if (backBufferKept) {
        Rgb pixel = backPixel();
        EXPECT_EQ(pixel.g, 255);
    }
}

TEST_F(LoopTest, SecondFreezeRetakesBothSnapshots)
{
    fill(255, 0, 0);
    engine_freezeScreen();
    ALLEGRO_BITMAP *first[2] = {screen_clone[0], screen_clone[1]};
    ASSERT_NE(first[0], nullptr);
    ASSERT_NE(first[1], nullptr);
    fill(0, 255, 0);
    engine_freezeScreen();
    ASSERT_NE(screen_clone[0], nullptr);
    ASSERT_NE(screen_clone[1], nullptr);
    for (ALLEGRO_BITMAP *clone : screen_clone) {
        unsigned char r, g, b;
        al_unmap_rgb(al_get_pixel(clone, 1, 1), &r, &g, &b);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(g, 255);
    }
    EXPECT_EQ(al_get_bitmap_width(screen_clone[1]), 64);
    EXPECT_EQ(al_get_bitmap_height(screen_clone[1]), 48);
}

TEST_F(LoopTest, ShortCrossfadeShowsTheNewSceneInOneStep)
{
    for (int n : {0, -3}) {
        fill(255, 0, 0);
        engine_freezeScreen();
        sceneColour = al_map_rgb(0, 0, 255);
        update_callback = drawSceneCallback;
        engine_transition(n);
        EXPECT_TRUE(std::isfinite(_engine_transitionStep));
        engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
        EXPECT_FALSE(engine_isFrozen()) << n;
        EXPECT_FALSE(_engine_transition) << n;
        if (backBufferKept) {
            Rgb pixel = backPixel();
            EXPECT_EQ(pixel.r, 0) << n;
            EXPECT_EQ(pixel.b, 255) << n;
        }
    }
}

TEST_F(LoopTest, CrossfadeWithoutSnapshotsDrawsNothingMissing)
{
    // A crossfade asked for before any freeze waits for one.
    engine_transition(20);
    EXPECT_TRUE(_engine_transition);
    EXPECT_EQ(screen_clone[1], nullptr);
    unsigned long flips = engine_flipCount;
    engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_EQ(engine_flipCount, flips + 1);
    EXPECT_TRUE(_engine_transition);

    // Snapshots that could not be taken are skipped, not drawn.
    ALLEGRO_DISPLAY *real = display;
    display = nullptr;
    engine_freezeScreen();
    engine_transition(2);
    display = real;
    EXPECT_EQ(screen_clone[0], nullptr);
    EXPECT_EQ(screen_clone[1], nullptr);
    int ticks = 0;
    while (engine_isFrozen() && ticks < 10) {
        engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
        ticks++;
    }
    EXPECT_EQ(ticks, 3);
}

TEST_F(LoopTest, TimerBacklogBeyondAQuarterSecondIsDropped)
{
    update_callback = countingCallback;
    timer = al_create_timer(1.0 / 60);
    ASSERT_NE(timer, nullptr);
    al_set_timer_count(timer, 1000);
    auto tickOf = [](int64_t count) {
        ALLEGRO_EVENT event = eventOfType(ALLEGRO_EVENT_TIMER);
        event.timer.source = timer;
        event.timer.count = count;
        return event;
    };

    // Fifteen ticks behind is still caught up, every tick of it.
    for (int64_t count = 985; count <= 1000; count++)
        EXPECT_EQ(engine_handleEvent(tickOf(count)), 0);
    EXPECT_EQ(callbackRuns, 16);

    // A longer backlog: its oldest events are dropped, the last fifteen and
    // the current one run.
    callbackRuns = 0;
    unsigned long flips = engine_flipCount;
    al_set_timer_count(timer, 2000);
    for (int64_t count = 1001; count <= 2000; count++)
        engine_handleEvent(tickOf(count));
    EXPECT_EQ(callbackRuns, 16);
    EXPECT_EQ(engine_flipCount, flips + 16);

    // Timer events of other sources are not measured against the tick timer.
    callbackRuns = 0;
    engine_handleEvent(eventOfType(ALLEGRO_EVENT_TIMER));
    EXPECT_EQ(callbackRuns, 1);

    al_destroy_timer(timer);
    timer = nullptr;
}

// A close request on the display's own queue ends the loop at once, with no
// tick run, however many timer events wait ahead of it on the main queue.
TEST_F(LoopTest, CloseRequestOvertakesQueuedTicks)
{
    update_callback = countingCallback;
    ALLEGRO_EVENT_SOURCE ticks, closes;
    al_init_user_event_source(&ticks);
    al_init_user_event_source(&closes);
    event_queue = al_create_event_queue();
    engine_closeQueue = al_create_event_queue();
    ASSERT_TRUE(event_queue && engine_closeQueue);
    al_register_event_source(event_queue, &ticks);
    al_register_event_source(engine_closeQueue, &closes);
    for (int i = 0; i < 5; i++) {
        ALLEGRO_EVENT tick = eventOfType(ALLEGRO_EVENT_TIMER);
        al_emit_user_event(&ticks, &tick, nullptr);
    }
    ALLEGRO_EVENT close = eventOfType(ALLEGRO_EVENT_DISPLAY_CLOSE);
    al_emit_user_event(&closes, &close, nullptr);

    unsigned long flips = engine_flipCount;
    EXPECT_EQ(engine_loop(), 1);
    EXPECT_EQ(callbackRuns, 0);
    EXPECT_EQ(engine_flipCount, flips);
    // The request is taken: the loop goes on ticking if called again.
    EXPECT_EQ(engine_loop(), 0);
    EXPECT_EQ(callbackRuns, 1);

    al_destroy_event_queue(engine_closeQueue);
    al_destroy_event_queue(event_queue);
    engine_closeQueue = event_queue = nullptr;
    al_destroy_user_event_source(&closes);
    al_destroy_user_event_source(&ticks);
}
