// Start-up: a refused display ends start-up before anything after it, and the
// program ends with a failure status.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <allegro5/allegro_audio.h>
#include <sys/wait.h>

#include "system.h"
#include "test_support.h"

TEST(Startup, RefusedDisplayStopsStartUpWithItsMessage)
{
    TempDir dir;
    dir.enter();
    std::ofstream(dir.file("config.cfg")) << "[VIDEO]\nwidth=-5\nheight=-5\n";

    testing::internal::CaptureStderr();
    int result = engine_initialize();
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(result, 1);
    EXPECT_EQ(err, "Failed to create screen display.");
    EXPECT_EQ(display, nullptr);
    EXPECT_FALSE(al_is_audio_installed());
    EXPECT_EQ(engine_mixer, nullptr);
    EXPECT_EQ(event_queue, nullptr);
    EXPECT_EQ(icon, nullptr);
    EXPECT_EQ(system_fontNormal, nullptr);
    EXPECT_FALSE(al_get_timer_started(timer));
    // The configuration was read and written back before the display.
    EXPECT_EQ(engine_ScrW(), -5);
    EXPECT_NE(readFile(dir.file("config.cfg")).find("keyRb=216"), std::string::npos);
    engine_destroyConfig();
}

TEST(Startup, ProgramEndsWithFailureStatusWhenStartUpFails)
{
    TempDir dir;
    std::ofstream(dir.file("config.cfg")) << "[VIDEO]\nwidth=0\nheight=0\n";
    std::string command = "cd '" + dir.path() + "' && '" VEMRA_PROGRAM "' 2>err.txt";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string text = readFile(dir.file("err.txt"));
    EXPECT_NE(text.find("Failed to create screen display."), std::string::npos);
}

TEST(Startup, MissingIconRunsWithoutOne)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TempDir dir;
    // The demo game's data file and fonts, without its icon.
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" + dir.path() +
                       "' && rm '" + dir.file("gfx/icon.png") + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    dir.enter();
    testing::internal::CaptureStderr();
    int result = engine_initialize();
    std::string err = testing::internal::GetCapturedStderr();
    if (result != 0 && err.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << err;
    ASSERT_EQ(result, 0) << err;
    EXPECT_NE(display, nullptr);
    EXPECT_EQ(icon, nullptr);
    EXPECT_NE(err.find("gfx/icon.png"), std::string::npos);
    EXPECT_NE(event_queue, nullptr);
    EXPECT_TRUE(al_get_timer_started(timer));
    EXPECT_EQ(engine_ScrW(), 640);
    EXPECT_EQ(al_get_display_width(display), 640);
    EXPECT_EQ(al_get_display_height(display), 480);
    EXPECT_NE(system_fontNormal, nullptr);
    EXPECT_NE(getFont(2), getFont(3));

    // The first tick with no scene is black and flipped; the close event ends.
    ALLEGRO_EVENT close = {};
    close.type = ALLEGRO_EVENT_DISPLAY_CLOSE;
    EXPECT_EQ(engine_handleEvent(close), 1);
    engine_exit();
    if (al_is_audio_installed())
        al_uninstall_audio();
    al_destroy_event_queue(event_queue);
    event_queue = nullptr;
    al_destroy_display(display);
    display = nullptr;
}

TEST(Startup, BrokenDataFileEndsTheProgramWithItsMessage)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TempDir dir;
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" + dir.path() + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    std::ofstream(dir.file("data/database.lua")) << "system = { fontNormal = \"DejaVuSans.ttf\", fontSizeM = 16.5 }\n";
    std::string command = "cd '" + dir.path() + "' && '" VEMRA_PROGRAM "' 2>err.txt";
    int status = std::system(command.c_str());
    std::string text = readFile(dir.file("err.txt"));
    if (text.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << text;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(text.find("data/database.lua"), std::string::npos) << text;
    EXPECT_NE(text.find("system.fontDamage"), std::string::npos) << text;
}

TEST(Startup, StartMapThatCannotBeLoadedEndsTheProgram)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    for (std::string map : {"", "nowhere.tmx"}) {
        TempDir dir;
        std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" +
                           dir.path() + "' && sed -i 's/map = \"[^\"]*\"/map = \"" + map + "\"/' '" +
                           dir.file("data/database.lua") + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        std::string command = "cd '" + dir.path() + "' && '" VEMRA_PROGRAM "' 2>err.txt";
        int status = std::system(command.c_str());
        std::string text = readFile(dir.file("err.txt"));
        if (text.find("audio") != std::string::npos)
            GTEST_SKIP() << "no audio output here: " << text;
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1) << text;
        EXPECT_NE(text.find("Failed to load the start map \"" + map + "\"."), std::string::npos) << text;
    }
}

// os.exit in a script ends the program with its status, music playing and
// all: Allegro's own exit handler alone would wait for ever on the audio.
TEST(Startup, ScriptThatCallsOsExitEndsTheProgram)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TempDir dir;
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" VEMRA_SOURCE_DIR
                       "/game/sfx' '" VEMRA_PROGRAM "' '" + dir.path() + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    std::ofstream(dir.file("data/maps/village.lua")) << "function elder_idle() os.exit(3) end\n";
    std::string command = "cd '" + dir.path() + "' && timeout 30 ./vemra 2>err.txt";
    int status = std::system(command.c_str());
    std::string text = readFile(dir.file("err.txt"));
    if (text.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << text;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << text;
    EXPECT_NE(text.find("Loop start"), std::string::npos) << "the music played: " << text;
}
