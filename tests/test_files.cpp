// Game files that are named pipes or devices: each counts as missing, with
// the line a missing file gets, and nothing waits on a pipe or reads a
// device without end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>

#include "audio_fixture.h"
#include "input.h"
#include "system.h"
#include "window.h"

namespace {

class SpecialFileTest : public AudioTest {};

// A named pipe, or a link to /dev/zero.
bool makeSpecial(const std::string &kind, const std::string &path)
{
    return kind == "pipe" ? mkfifo(path.c_str(), 0600) == 0 : symlink("/dev/zero", path.c_str()) == 0;
}

bool isKind(const std::string &kind, const std::string &path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && (kind == "pipe" ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode));
}

} // namespace

TEST_F(SpecialFileTest, PipesAndDevicesCountAsMissing)
{
    // A regression waits for ever, or reads until memory runs out: end the
    // run instead.
    alarm(60);
    ASSERT_TRUE(al_init_font_addon());
    ASSERT_TRUE(al_init_ttf_addon());
    ASSERT_TRUE(dir.enter());
    ASSERT_EQ(system("mkdir -p gfx/system sfx"), 0);
    ASSERT_TRUE(makeTone("sfx/tone.ogg", 1.0));
    ALLEGRO_AUDIO_STREAM *tone = al_load_audio_stream("sfx/tone.ogg", 4, 2048);
    ASSERT_NE(tone, nullptr);

    for (std::string kind : {"pipe", "zero"}) {
        std::string sound = "sfx/" + kind + ".ogg";
        for (std::string path : {std::string("config.cfg"), "gfx/" + kind + ".png", "gfx/" + kind + ".ttf",
                                 "gfx/system/" + kind + "_center.png", "gfx/system/" + kind + "_aux.png", sound})
            ASSERT_TRUE(makeSpecial(kind, path)) << path;

        testing::internal::CaptureStderr();
        engine_loadConfig();
        engine_saveConfig();
        EXPECT_FALSE(cache_loadBitmap("gfx/" + kind + ".png"));
        int slot = window_create(kind, 0, 0, 0, 64, 32);
        ASSERT_GE(slot, 0);
        EXPECT_EQ(windowArray[slot].center, nullptr);
        EXPECT_EQ(windowArray[slot].aux, nullptr);
        window_dispose(slot);
        EXPECT_FALSE(engine_playBgm(sound.c_str(), 1.0f, 1.0f));
        EXPECT_FALSE(engine_playBgs(sound.c_str(), 1.0f, 1.0f));
        EXPECT_TRUE(engine_setLoopPoints(tone, sound.c_str()));
        engine_lastSeId = {-2, -2};
        engine_playSe(sound, 1.0f, 1.0f);
        EXPECT_EQ(engine_lastSeId._id, -2);
        EXPECT_FALSE(cache_loadSound(sound));
        std::string config = "config.cfg is not a regular file; every setting takes its default, and it is not written.\n";
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  config + config + "Failed to load image \"gfx/" + kind + ".png\".\n" +
                      "Failed to load window skin image gfx/system/" + kind + "_center.png.\n" +
                      "Failed to load window skin image gfx/system/" + kind + "_aux.png.\n" +
                      "Failed to load music \"" + sound + "\".\n" +
                      "Failed to load ambient sound \"" + sound + "\".\n" +
                      "Failed to find sound \"" + sound + "\".\n" +
                      "Failed to load sound \"" + sound + "\".\n");
        EXPECT_EQ(engine_ScrW(), 640);
        EXPECT_EQ(input_getKey(KEY_OK), ALLEGRO_KEY_C);
        EXPECT_TRUE(isKind(kind, "config.cfg"));
        engine_destroyConfig();
        ASSERT_EQ(remove("config.cfg"), 0);

        testing::internal::CaptureStderr();
        ALLEGRO_FONT *font = engine_loadFont(("gfx/" + kind + ".ttf").c_str(), 16);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("Failed to load font \"gfx/" + kind + ".ttf\""), 0u) << err;
        ASSERT_NE(font, nullptr);
        al_destroy_font(font);
    }
    al_destroy_audio_stream(tone);
    cache_clearBitmaps();
    dir.leave();

    // The real program: the window icon, config.cfg and a start map named
    // "-", with standard input a pipe that would never end.
    if (!getenv("DISPLAY")) {
        alarm(0);
        return;
    }
    // The maps are found beside the program.
    TempDir game;
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" VEMRA_PROGRAM "' '" +
                       game.path() + "' && cd '" + game.path() + "' && rm gfx/icon.png && mkfifo gfx/icon.png config.cfg" +
                       " && sed -i 's/map = \"[^\"]*\"/map = \"-\"/' data/database.lua";
    ASSERT_EQ(system(copy.c_str()), 0);
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    int savedStdin = dup(0);
    dup2(ends[0], 0);
    std::string command = "cd '" + game.path() + "' && ./vemra 2>err.txt";
    int status = system(command.c_str());
    dup2(savedStdin, 0);
    close(savedStdin);
    close(ends[0]);
    close(ends[1]);
    alarm(0);
    std::string text = readFile(game.file("err.txt"));
    if (text.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << text;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << text;
    for (const char *line : {"config.cfg is not a regular file; every setting takes its default, and it is not written.\n",
                             "Failed to load the window icon \"gfx/icon.png\"; running without it.\n",
                             "Error: failed to parse map data: -\n", "Failed to load the start map \"-\".\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << text;
    EXPECT_TRUE(isKind("pipe", game.file("config.cfg")));
}
