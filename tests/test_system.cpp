// The engine frame: config.cfg, the loop's dispatch, freeze and crossfade,
// and start-up failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>

#include "input.h"
#include "system.h"
#include "test_support.h"

namespace {

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path);
    out << text;
}

// The lines of config.cfg that hold a section or a key, in file order.
std::vector<std::string> configLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::stringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(al_init());
        dir.enter();
    }
    void TearDown() override
    {
        engine_destroyConfig();
        dir.leave();
    }
    TempDir dir;
};

} // namespace

TEST_F(ConfigTest, FirstStartWritesEveryKeyWithItsDefaultInOrder)
{
    engine_loadConfig();

    std::vector<std::string> expected = {
        "[VIDEO]", "width=640", "height=480", "display=0", "fullscreen=0",
        "[SOUND]", "musicVol=1.0", "soundVol=1.0",
        "[CONTROLS]", "keyUp=84", "keyDown=85", "keyLeft=82", "keyRight=83",
        "keyOk=3", "keyCancel=24", "keyRun=24", "keyJump=26", "keyMenu=4",
        "keySpecial=19", "keyInfo=1", "keyPgUp=80", "keyPgDn=81",
        "keyLb=215", "keyRb=216",
    };
    EXPECT_EQ(configLines("config.cfg"), expected);

    EXPECT_EQ(engine_ScrW(), 640);
    EXPECT_EQ(engine_ScrH(), 480);
    EXPECT_FALSE(fullscreen);
    EXPECT_FLOAT_EQ(musicVol, 1.0f);
    EXPECT_FLOAT_EQ(soundVol, 1.0f);
    EXPECT_EQ(input_getKey(KEY_OK), ALLEGRO_KEY_C);
    EXPECT_EQ(input_getKey(KEY_CANCEL), input_getKey(KEY_RUN));
    EXPECT_EQ(al_get_new_display_flags() & ALLEGRO_FULLSCREEN, 0);
}

TEST_F(ConfigTest, PartialFileKeepsUnknownKeysAndGainsTheMissingOnes)
{
    writeFile("config.cfg", "[VIDEO]\nwidth=800\nmode=fancy\n[EXTRA]\nname=kept\n");
    engine_loadConfig();

    EXPECT_EQ(engine_ScrW(), 800);
    EXPECT_EQ(engine_ScrH(), 480);

    std::vector<std::string> lines = configLines("config.cfg");
    auto has = [&](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("width=800"));
    EXPECT_TRUE(has("mode=fancy"));
    EXPECT_TRUE(has("[EXTRA]"));
    EXPECT_TRUE(has("name=kept"));
    int keys = 0;
    for (const std::string &line : lines) {
        if (line.find('=') != std::string::npos)
            keys++;
    }
    EXPECT_EQ(keys, 21 + 2);
}

// Allegro's own reader never ends on some bytes that are not UTF-8: each
// such byte is read as '?', with a line, and the rest of the file counts.
TEST_F(ConfigTest, BytesThatAreNotUtf8AreReadAsQuestionMarks)
{
    writeFile("config.cfg", "[\xf4\xb3\xb3\xb3\n\n[VIDEO]\nwidth=800\n[x\xed\xa0\x80\xc0\xaf\xe0\x80]\n"
                            "caf\xc3\xa9=\xf0\x9f\x98\x80\n[SOUND]\nmusicVol=0.5\n\xff");
    testing::internal::CaptureStderr();
    engine_loadConfig();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "config.cfg: 12 bytes that are not UTF-8 text are read as '?'.\n");
    EXPECT_EQ(engine_ScrW(), 800);
    EXPECT_FLOAT_EQ(musicVol, 0.5f);
    EXPECT_STREQ(al_get_config_value(getConfig(), "x???????", "caf\xc3\xa9"), "\xf0\x9f\x98\x80");

    // An empty file, like a missing one, gains every setting.
    writeFile("config.cfg", "");
    engine_loadConfig();
    EXPECT_EQ(engine_ScrW(), 640);

    // One that cannot be read gives the defaults, with a line, and the start
    // goes on.
    std::remove("config.cfg");
    ASSERT_EQ(mkdir("config.cfg", 0755), 0);
    testing::internal::CaptureStderr();
    engine_loadConfig();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "config.cfg cannot be read (Is a directory); every setting takes its default.\n");
    EXPECT_EQ(engine_ScrW(), 640);
    EXPECT_EQ(input_getKey(KEY_OK), ALLEGRO_KEY_C);
    rmdir("config.cfg");
}

TEST_F(ConfigTest, ValuesConvertAsTheRuntimeReadsNumbers)
{
    writeFile("config.cfg",
              "[VIDEO]\nwidth=800px\nheight=abc\ndisplay=\nfullscreen=2\n"
              "[SOUND]\nmusicVol=0.5\nsoundVol=2\n"
              "[CONTROLS]\nkeyOk=67\nkeyCancel=letters\nkeyRun= 12x\n");
    engine_loadConfig();

    EXPECT_EQ(engine_ScrW(), 800);
    EXPECT_EQ(engine_ScrH(), 0);
    EXPECT_EQ(displayMode, 0);
    EXPECT_FALSE(fullscreen);
    EXPECT_FLOAT_EQ(musicVol, 0.5f);
    EXPECT_FLOAT_EQ(soundVol, 2.0f);
    EXPECT_EQ(input_getKey(KEY_OK), ALLEGRO_KEY_ENTER);
    EXPECT_EQ(input_getKey(KEY_CANCEL), 0);
    EXPECT_EQ(input_getKey(KEY_RUN), 12);

    // An empty value is kept as it is, not replaced by the default.
    EXPECT_NE(readFile("config.cfg").find("display=\n"), std::string::npos);
}

TEST_F(ConfigTest, FullScreenOnlyForTheNumberOne)
{
    const char *values[] = {"1", " 1", "1.9", "2", "word", "0"};
    const bool expected[] = {true, true, true, false, false, false};
    for (int i = 0; i < 6; i++) {
        writeFile("config.cfg", std::string("[VIDEO]\nfullscreen=") + values[i] + "\n");
        engine_loadConfig();
        EXPECT_EQ(fullscreen, expected[i]) << values[i];
        EXPECT_EQ((al_get_new_display_flags() & ALLEGRO_FULLSCREEN) != 0, expected[i]) << values[i];
    }
}

TEST_F(ConfigTest, SaveRoundTripKeepsVolumesSizesAndKeys)
{
    engine_loadConfig();
    const float volumes[] = {0.3f, 0.1f, 1.0f / 3.0f, 0.0f, 2.5f};
    for (float volume : volumes) {
        musicVol = volume;
        soundVol = volume * 2;
        width = 800;
        height = 600;
        input_setKey(KEY_JUMP, ALLEGRO_KEY_SPACE);
        engine_saveConfig();
        EXPECT_EQ(musicVol, volume);
        EXPECT_EQ(soundVol, volume * 2);
        EXPECT_EQ(engine_ScrW(), 800);
        EXPECT_EQ(engine_ScrH(), 600);
        EXPECT_EQ(input_getKey(KEY_JUMP), ALLEGRO_KEY_SPACE);
    }
    EXPECT_NE(readFile("config.cfg").find("keyJump=75"), std::string::npos);
}

TEST_F(ConfigTest, SaveResizesAnOpenDisplayButNeverToAnImpossibleSize)
{
    al_set_new_display_flags(ALLEGRO_WINDOWED);
    display = al_create_display(64, 48);
    if (!display)
        GTEST_SKIP() << "no display available";
    engine_loadConfig();
    EXPECT_EQ(al_get_display_width(display), 640);
    width = 0;
    height = -4;
    engine_saveConfig();
    EXPECT_EQ(al_get_display_width(display), 640);
    EXPECT_EQ(al_get_display_height(display), 480);
    width = 96;
    height = 64;
    engine_saveConfig();
    EXPECT_EQ(engine_ScrW(), 96);
    EXPECT_EQ(al_get_display_width(display), 96);
    al_destroy_display(display);
    display = nullptr;
}

// X keeps 16 bits of a window size (65536 becomes 0, which it refuses) and
// a 40000-pixel window dies on its first flip; Xlib's error handler then ends
// the program, or hangs it in Allegro's exit handler. Such sizes never reach X.
TEST_F(ConfigTest, ScreenSizesXCannotTakeNeverReachIt)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    // At start-up, the program itself: the display step's message and status 1.
    for (const char *size : {"width=65536\nheight=480\n", "width=40000\nheight=40000\n"}) {
        SCOPED_TRACE(size);
        writeFile("config.cfg", std::string("[VIDEO]\n") + size);
        int status = std::system("timeout -s KILL 60 '" VEMRA_PROGRAM "' 2>err.txt");
        std::string err = readFile("err.txt");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_NE(err.find("Failed to create screen display."), std::string::npos) << err;
        EXPECT_EQ(err.find("X Error"), std::string::npos) << err;
    }

    // On a reload: one line, and the open display and the screen size stay.
    writeFile("config.cfg", "[VIDEO]\nwidth=320\nheight=240\n");
    al_set_new_display_flags(ALLEGRO_WINDOWED);
    display = al_create_display(64, 48);
    if (!display)
        GTEST_SKIP() << "no display available";
    engine_loadConfig();
    const int refused[][2] = {{65536, 480}, {40000, 40000}, {16385, 1}, {1, 0}};
    for (const auto &size : refused) {
        width = size[0];
        height = size[1];
        testing::internal::CaptureStderr();
        engine_saveConfig();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("outside 1 to 16384"), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
        EXPECT_EQ(engine_ScrW() * 10000 + engine_ScrH(), 320 * 10000 + 240) << size[0];
        EXPECT_EQ(al_get_display_width(display), 320);
        EXPECT_EQ(al_get_display_height(display), 240);
    }
    al_clear_to_color(al_map_rgb(0, 0, 0));
    al_flip_display();
    // The largest side allowed is taken.
    width = 16384;
    height = 1;
    engine_saveConfig();
    EXPECT_EQ(al_get_display_width(display), 16384);
    al_flip_display();
    al_destroy_display(display);
    display = nullptr;
}

TEST_F(ConfigTest, OutOfRangeKeyCodesAreKeptAndWrittenBackUnchanged)
{
    writeFile("config.cfg", "[CONTROLS]\nkeyUp=-3\nkeyDown=300\n");
    engine_loadConfig();
    EXPECT_EQ(input_getKey(KEY_UP), -3);
    EXPECT_EQ(input_getKey(KEY_DOWN), 300);
    engine_saveConfig();
    std::string text = readFile("config.cfg");
    EXPECT_NE(text.find("keyUp=-3"), std::string::npos);
    EXPECT_NE(text.find("keyDown=300"), std::string::npos);
}

TEST_F(ConfigTest, ReloadReleasesTheReplacedConfiguration)
{
    engine_loadConfig();
    ALLEGRO_CONFIG *first = getConfig();
    ASSERT_NE(first, nullptr);
    engine_saveConfig();
    EXPECT_NE(getConfig(), nullptr);
    engine_destroyConfig();
    EXPECT_EQ(getConfig(), nullptr);
    // Destroying twice is harmless.
    engine_destroyConfig();
}

TEST(ToString, DecimalText)
{
    EXPECT_EQ(to_string(0), "0");
    EXPECT_EQ(to_string(-42), "-42");
    EXPECT_EQ(to_string(2147483647), "2147483647");
    EXPECT_EQ(to_string(-2147483647 - 1), "-2147483648");
}

TEST(LocalPath, WindowsSeparatorsReachTheSameFile)
{
    EXPECT_EQ(engine_localPath("data\\database.lua"), "data/database.lua");
    EXPECT_EQ(engine_localPath("data\\maps\\town.lua"), "data/maps/town.lua");
    EXPECT_EQ(engine_localPath("gfx/icon.png"), "gfx/icon.png");
}

TEST(Fonts, GetFontMapsIdsAndNeverReturnsTheSpecialFont)
{
    ALLEGRO_FONT *normal = reinterpret_cast<ALLEGRO_FONT *>(0x10);
    ALLEGRO_FONT *big = reinterpret_cast<ALLEGRO_FONT *>(0x20);
    ALLEGRO_FONT *small = reinterpret_cast<ALLEGRO_FONT *>(0x30);
    ALLEGRO_FONT *damage = reinterpret_cast<ALLEGRO_FONT *>(0x40);
    ALLEGRO_FONT *special = reinterpret_cast<ALLEGRO_FONT *>(0x50);
    system_fontNormal = normal;
    system_fontBig = big;
    system_fontSmall = small;
    system_fontDamage = damage;
    system_fontSpecial = special;
    EXPECT_EQ(getFont(1), normal);
    EXPECT_EQ(getFont(2), big);
    EXPECT_EQ(getFont(3), small);
    EXPECT_EQ(getFont(4), damage);
    for (int id : {0, 5, 6, -1, -100})
        EXPECT_EQ(getFont(id), normal) << id;
    system_fontNormal = system_fontBig = system_fontSmall = nullptr;
    system_fontDamage = system_fontSpecial = nullptr;
}

TEST(Fonts, MissingFontNamesTheFileAndStillDrawsText)
{
    ASSERT_TRUE(al_init());
    ASSERT_TRUE(al_init_font_addon());
    ASSERT_TRUE(al_init_ttf_addon());
    testing::internal::CaptureStderr();
    ALLEGRO_FONT *font = engine_loadFont("gfx/fonts/none.ttf", 16);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("gfx/fonts/none.ttf"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    ASSERT_NE(font, nullptr);
    // A size beyond any screen is refused as well: FreeType would take
    // minutes over its first glyph.
    al_destroy_font(font);
    std::string path = VEMRA_SOURCE_DIR "/game/gfx/fonts/DejaVuSans.ttf";
    testing::internal::CaptureStderr();
    font = engine_loadFont(path.c_str(), 100000);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to load font \"" + path + "\" at size 100000 (sizes run from -372 to 372).\n");
    ASSERT_NE(font, nullptr);
    // The bound holds both ways and takes its own size.
    for (int size : {372, -372, 373, -373}) {
        testing::internal::CaptureStderr();
        ALLEGRO_FONT *edge = engine_loadFont(path.c_str(), size);
        bool refused = std::abs(size) > 372;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  refused ? "Failed to load font \"" + path + "\" at size " + std::to_string(size) +
                                " (sizes run from -372 to 372).\n"
                          : "")
            << size;
        ASSERT_NE(edge, nullptr);
        EXPECT_EQ(al_get_font_line_height(edge) > 100, !refused) << size;
        al_destroy_font(edge);
    }

    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    ALLEGRO_BITMAP *target = al_create_bitmap(64, 16);
    al_set_target_bitmap(target);
    al_draw_text(font, al_map_rgb(255, 255, 255), 0, 0, 0, "Hello");
    al_set_target_bitmap(nullptr);
    al_destroy_bitmap(target);
    al_destroy_font(font);
}
