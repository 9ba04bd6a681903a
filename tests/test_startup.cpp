// Start-up: a refused display ends start-up before anything after it, and the
// program ends with a failure status.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <allegro5/allegro_audio.h>
#include <allegro5/allegro_image.h>
#include <allegro5/allegro_x.h>
#include <X11/Xatom.h>
#include <sys/wait.h>
#include <unistd.h>

#include "system.h"
#include "test_support.h"

namespace {

// The demo game's data and graphics, and the program when asked, copied into
// the folder.
bool copyDemo(const TempDir &dir, bool program = false)
{
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' " +
                       std::string(program ? "'" VEMRA_PROGRAM "' '" : "'") + dir.path() + "'";
    return std::system(copy.c_str()) == 0;
}

} // namespace

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
    ASSERT_TRUE(copyDemo(dir));
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

namespace {

bool hasEnded(pid_t pid)
{
    siginfo_t info = {};
    return waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// The id of the program's game window, "" when none has appeared in time or
// the program has ended.
std::string windowOf(pid_t pid)
{
    std::string command = "xdotool search --all --pid " + std::to_string(pid) + " --name '^Vemra$' 2>/dev/null";
    for (int i = 0; i < 300; i++) {
        std::string id;
        if (FILE *out = popen(command.c_str(), "r")) {
            char line[64];
            if (fgets(line, sizeof line, out))
                id = std::string(line, strcspn(line, "\n"));
            pclose(out);
        }
        if (!id.empty() || hasEnded(pid))
            return id;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

// The program started in the game folder, its standard error in err.txt.
pid_t startGame(const TempDir &dir)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.path().c_str()) == 0 && freopen("err.txt", "w", stderr))
            execl("./vemra", "vemra", (char *)nullptr);
        _exit(127);
    }
    return pid;
}

// Asks the window to close as a window manager does, and waits up to 5 s for
// the program to end; killed after that. True when it ended by itself.
bool closeGame(pid_t pid, const std::string &window, int *status, double *seconds)
{
    auto asked = std::chrono::steady_clock::now();
    std::string close = "python3 '" VEMRA_SOURCE_DIR "/scripts/close_window.py' " + window;
    EXPECT_EQ(std::system(close.c_str()), 0);
    bool ended = false;
    *seconds = 0;
    while (!ended && *seconds < 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ended = waitpid(pid, status, WNOHANG) != 0;
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, status, 0);
    }
    return ended;
}

} // namespace

// Ticks that take six times their period: the window must still close at once
// when asked, not after every tick queued behind the request.
TEST(Startup, OverloadedGameClosesWhenAsked)
{
    if (!getenv("DISPLAY") || std::system("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "no display or no xdotool";
    TempDir dir;
    std::string copy = "cp -r '" VEMRA_SOURCE_DIR "/game/data' '" VEMRA_SOURCE_DIR "/game/gfx' '" VEMRA_PROGRAM
                       "' '" + dir.path() + "' && sed -i 's/value=\"elder_spoken\"/value=\"slow()\"/' '" +
                       dir.file("data/maps/village.tmx") + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    std::ofstream(dir.file("data/maps/village.lua"), std::ios::app)
        << "function slow() local s = 0 for i = 1, 5000000 do s = s + i end return false end\n";

    pid_t pid = startGame(dir);
    ASSERT_GE(pid, 0);
    std::string window = windowOf(pid);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    if (window.empty() || hasEnded(pid)) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        std::string err = readFile(dir.file("err.txt"));
        if (err.find("audio") != std::string::npos)
            GTEST_SKIP() << "no audio output here: " << err;
        FAIL() << "the game did not run: " << err;
    }

    int status = 0;
    double seconds = 0;
    bool ended = closeGame(pid, window, &status, &seconds);
    std::string err = readFile(dir.file("err.txt"));
    ASSERT_TRUE(ended) << "still running 5 s after the close request: " << err;
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_NE(err.find("AUTO!"), std::string::npos) << "the map did not play: " << err;
    std::cout << "Closed " << seconds << " s after the request.\n";
}

namespace {

// The window's icon as X holds it (_NET_WM_ICON): its width, its height, then
// one ARGB value a pixel; empty when the window has none.
std::vector<uint32_t> iconOf(const std::string &window)
{
    std::vector<uint32_t> icon;
    Display *x = XOpenDisplay(nullptr);
    if (!x)
        return icon;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    // The server takes the length in four-byte units and multiplies it by
    // four in 32 bits: 2^28 of them is as much as it reads right.
    if (XGetWindowProperty(x, std::stoul(window), XInternAtom(x, "_NET_WM_ICON", False), 0, 1L << 28, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        // Xlib hands 32-bit items over as longs.
        const unsigned long *items = reinterpret_cast<const unsigned long *>(data);
        icon.assign(items, items + count);
    }
    if (data)
        XFree(data);
    XCloseDisplay(x);
    return icon;
}

struct IconCase {
    int width, height;
    bool checkered; // single black and white pixels, else one colour
    int shownWidth, shownHeight;
};

void PrintTo(const IconCase &c, std::ostream *out)
{
    *out << c.width << " x " << c.height;
}

class HugeIcon : public testing::TestWithParam<IconCase> {};

} // namespace

// X takes an icon of at most 4,194,294 pixels in one request, and the program
// hung for ever on a larger one. Such an icon is handed over scaled, with
// linear filtering, its longer side 1024 pixels; the game plays and its
// window closes when asked.
TEST_P(HugeIcon, IsHandedToXAsItFitsAndTheWindowCloses)
{
    if (!getenv("DISPLAY") || std::system("command -v xdotool >/dev/null") != 0)
        GTEST_SKIP() << "no display or no xdotool";
    const IconCase &c = GetParam();
    TempDir dir;
    ASSERT_TRUE(copyDemo(dir, true));
    ASSERT_TRUE(al_init() && al_init_image_addon());
    ASSERT_TRUE(savePng(dir.file("gfx/icon.png"), c.width, c.height, [&](int x, int y) {
        return !c.checkered ? al_map_rgb(200, 50, 50) : (x + y) % 2 ? al_map_rgb(255, 255, 255) : al_map_rgb(0, 0, 0);
    }));

    pid_t pid = startGame(dir);
    ASSERT_GE(pid, 0);
    std::string window = windowOf(pid);
    for (int i = 0; i < 300 && readFile(dir.file("err.txt")).find("AUTO!") == std::string::npos; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<uint32_t> shown = window.empty() ? std::vector<uint32_t>() : iconOf(window);
    int status = 0;
    double seconds = 0;
    bool ended = !window.empty() && closeGame(pid, window, &status, &seconds);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    std::string err = readFile(dir.file("err.txt"));
    if (!ended && err.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << err;
    ASSERT_TRUE(ended) << "did not close when asked: " << err;
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_EQ(err.find("X Error"), std::string::npos) << err;
    EXPECT_NE(err.find("AUTO!"), std::string::npos) << "the map did not play: " << err;

    ASSERT_GE(shown.size(), 2u) << "the window has no icon";
    EXPECT_EQ(shown[0], static_cast<uint32_t>(c.shownWidth));
    EXPECT_EQ(shown[1], static_cast<uint32_t>(c.shownHeight));
    ASSERT_EQ(shown.size(), 2 + static_cast<size_t>(c.shownWidth) * c.shownHeight);
    // Two pixels to one, the checkerboard filters to an even grey; unfiltered,
    // it would be all black or all white.
    size_t wrong = 0;
    uint32_t firstWrong = 0;
    for (size_t i = 2; i < shown.size(); i++) {
        int red = shown[i] >> 16 & 0xff, green = shown[i] >> 8 & 0xff, blue = shown[i] & 0xff;
        bool right = !c.checkered ? shown[i] == 0xffc83232u
                                  : shown[i] >> 24 == 0xff && std::abs(red - 128) <= 1 && green == red && blue == red;
        if (!right && wrong++ == 0)
            firstWrong = shown[i];
    }
    EXPECT_EQ(wrong, 0u) << "pixels of another colour; the first is " << std::hex << firstWrong;
}

INSTANTIATE_TEST_SUITE_P(
    Startup, HugeIcon,
    testing::Values(IconCase{6, 699049, false, 6, 699049},    // the most X takes: handed over as it is
                    IconCase{5, 838859, false, 1, 1024},      // one pixel more; its shorter side at least 1
                    IconCase{10255, 409, false, 1024, 41},    // as many; 40.84 rounds to 41
                    IconCase{2048, 2048, true, 1024, 1024}),  // filtered
    [](const testing::TestParamInfo<IconCase> &info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

namespace {

// Stdio's file interface, but the opening of the window icon first asks the
// window to close and waits until the request has reached a queue of the
// test's own: the request is sent while start-up still runs.
ALLEGRO_FILE_INTERFACE closingInterface;
const ALLEGRO_FILE_INTERFACE *stdioInterface = nullptr;
bool closeSent = false;

void *openAskingToClose(const char *path, const char *mode)
{
    if (!closeSent && strstr(path, "icon.png")) {
        closeSent = true;
        ALLEGRO_EVENT_QUEUE *seen = al_create_event_queue();
        al_register_event_source(seen, al_get_display_event_source(display));
        std::string close = "python3 '" VEMRA_SOURCE_DIR "/scripts/close_window.py' " +
                            std::to_string(al_get_x_window_id(display));
        EXPECT_EQ(std::system(close.c_str()), 0);
        ALLEGRO_EVENT event = {};
        bool arrived = false;
        for (int i = 0; i < 100 && !arrived; i++)
            arrived = al_wait_for_event_timed(seen, &event, 0.1) && event.type == ALLEGRO_EVENT_DISPLAY_CLOSE;
        EXPECT_TRUE(arrived) << "the close request did not arrive";
        al_destroy_event_queue(seen);
    }
    return stdioInterface->fi_fopen(path, mode);
}

} // namespace

TEST(Startup, CloseRequestDuringStartUpEndsTheFirstTurnOfTheLoop)
{
    if (!getenv("DISPLAY"))
        GTEST_SKIP() << "no display";
    TempDir dir;
    ASSERT_TRUE(copyDemo(dir));
    dir.enter();
    ASSERT_TRUE(al_init());
    stdioInterface = al_get_new_file_interface();
    closingInterface = *stdioInterface;
    closingInterface.fi_fopen = openAskingToClose;
    al_set_new_file_interface(&closingInterface);

    testing::internal::CaptureStderr();
    int result = engine_initialize();
    std::string err = testing::internal::GetCapturedStderr();
    al_set_standard_file_interface();
    if (result != 0 && err.find("audio") != std::string::npos)
        GTEST_SKIP() << "no audio output here: " << err;
    ASSERT_EQ(result, 0) << err;
    EXPECT_TRUE(closeSent);
    EXPECT_NE(icon, nullptr);

    unsigned long flips = engine_flipCount;
    EXPECT_EQ(engine_loop(), 1);
    EXPECT_EQ(engine_flipCount, flips) << "a tick ran";
    engine_exit();
    al_uninstall_audio();
}
