// Cost of one tick of a message box whose whole text shows: one
// message_updateAll (the box's window and its text, drawn six times) with a
// box of 1 KB, 100 KB and 10 MB of words in one paragraph, one of a single
// 8 MB word, and two of words whose characters take no width: 10 MB of words
// of 170 zero-width spaces (U+200B), and 2 MB of words of an "a" under 2,000
// combining acute accents (U+0301). Prints the mean and the largest tick,
// their share of a 60 Hz frame (16.7 ms), and the time message_add took for
// the text.
//
//   build/bench/message_bench [--memory] [--max BYTES] [seconds per row]
//
// --max BYTES leaves out the rows of larger texts. Rows are timed for about
// `seconds` each (3 by default), but never more than 2000 ticks; a tick that
// takes longer than that is timed alone.
//
// Draws onto a 640 x 480 display when there is one (under Xvfb: software
// OpenGL), else, or with --memory, onto a memory bitmap. The text is drawn
// in the demo game's normal font, DejaVu Sans at 16 pixels.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_image.h>
#include <allegro5/allegro_ttf.h>

#include "message.h"
#include "system.h"
#include "bench_support.h"
#include "window.h"

namespace {

// Words of two to nine letters, each followed by a space: a paragraph with
// no line break of its own, wrapped by the box alone.
std::string words(size_t bytes)
{
    std::string text;
    text.reserve(bytes);
    unsigned seed = 12345;
    while (text.size() < bytes) {
        seed = seed * 1103515245u + 12345u;
        size_t letters = 2 + (seed >> 16) % 8;
        for (size_t i = 0; i < letters && text.size() < bytes; i++)
            text += static_cast<char>('a' + (seed >> (i + 3)) % 26);
        if (text.size() < bytes)
            text += ' ';
    }
    return text;
}

// `word` followed by a space, over and over, up to `bytes`.
std::string repeated(const std::string &word, size_t bytes)
{
    std::string text;
    text.reserve(bytes + word.size() + 1);
    while (text.size() < bytes)
        text += word + ' ';
    return text;
}

std::string zeroWidthWord()
{
    std::string word;
    for (int i = 0; i < 170; i++)
        word += "\xE2\x80\x8B";
    return word;
}

std::string accentedWord()
{
    std::string word = "a";
    for (int i = 0; i < 2000; i++)
        word += "\xCC\x81";
    return word;
}

struct Row {
    double addMs, mean, max;
    int ticks;
};

// Queues one box with the whole text showing (reveal mode 2), lets its open
// delay pass, then times message_updateAll tick after tick.
Row measure(const std::string &text, double seconds)
{
    Quiet quiet;
    Row row;
    msgOptions.mode = 2;
    Clock::time_point added = Clock::now();
    message_add(text, 48, 16, width - 96, 128);
    row.addMs = msSince(added);
    for (int t = 0; t < msgOptions.openDelay; t++)
        message_updateAll();
    std::vector<double> times;
    Clock::time_point start = Clock::now();
    while (times.empty() || (msSince(start) < seconds * 1000 && times.size() < 2000)) {
        al_clear_to_color(al_map_rgb(40, 140, 60));
        Clock::time_point t0 = Clock::now();
        message_updateAll();
        times.push_back(msSince(t0));
        if (display)
            al_flip_display();
    }
    row.ticks = static_cast<int>(times.size());
    row.mean = 0;
    for (double t : times)
        row.mean += t;
    row.mean /= row.ticks;
    row.max = *std::max_element(times.begin(), times.end());
    window_dispose(messageBox[0].windowSlot);
    messageBox.clear();
    return row;
}

} // namespace

int main(int argc, char **argv)
{
    bool memory = false;
    double seconds = 3.0;
    size_t maxBytes = SIZE_MAX;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--memory") == 0)
            memory = true;
        else if (strcmp(argv[i], "--max") == 0 && i + 1 < argc)
            maxBytes = strtoull(argv[++i], nullptr, 10);
        else
            seconds = atof(argv[i]) > 0 ? atof(argv[i]) : seconds;
    }
    if (!al_init() || !al_init_image_addon() || !al_init_font_addon() || !al_init_ttf_addon()) {
        fprintf(stderr, "message_bench: cannot start Allegro\n");
        return 1;
    }
    ALLEGRO_BITMAP *screen = benchScreen(memory);
    std::string font = std::string(VEMRA_SOURCE_DIR) + "/game/gfx/fonts/DejaVuSans.ttf";
    system_fontNormal = al_load_ttf_font(font.c_str(), 16, 0);
    if (!system_fontNormal) {
        fprintf(stderr, "message_bench: cannot load %s\n", font.c_str());
        return 1;
    }

    // The box's skin is read from a folder of the bench's own.
    char folder[] = "/tmp/message_bench_XXXXXX";
    if (!mkdtemp(folder) || chdir(folder) != 0) {
        fprintf(stderr, "message_bench: no temporary folder\n");
        return 1;
    }
    mkdir("gfx", 0755);
    mkdir("gfx/system", 0755);
    for (const char *part : {"center", "tl", "t", "tr", "l", "r", "bl", "b", "br", "aux"}) {
        if (!savePng((std::string("gfx/system/wskin_") + part + ".png").c_str(), 16, 16, al_map_rgb(30, 30, 120))) {
            fprintf(stderr, "message_bench: cannot write the skin\n");
            return 1;
        }
    }
    message_setOptions();

    printf("One tick of a message box showing its whole text, drawn onto %s\n",
           display ? "a 640x480 display" : "a 640x480 memory bitmap");
    printf("%-22s %7s %10s %10s %10s %9s %9s\n", "text", "ticks", "add ms", "mean ms", "max ms", "mean/16.7",
           "max/16.7");
    struct {
        const char *name;
        size_t bytes;
        std::string (*text)(size_t bytes);
    } rows[] = {
        {"1 KB of words", 1000, words},
        {"100 KB of words", 100000, words},
        {"10 MB of words", 10000000, words},
        {"8 MB, a single word", 8000000, [](size_t bytes) { return std::string(bytes, 'm'); }},
        {"10 MB, zero-width", 10220000, [](size_t bytes) { return repeated(zeroWidthWord(), bytes); }},
        {"2 MB, 2000 accents", 2000000, [](size_t bytes) { return repeated(accentedWord(), bytes); }},
    };
    for (const auto &r : rows) {
        if (r.bytes > maxBytes)
            continue;
        std::string text = r.text(r.bytes);
        Row row = measure(text, seconds);
        printf("%-22s %7d %10.3f %10.3f %10.3f %9.3f %9.3f\n", r.name, row.ticks, row.addMs, row.mean, row.max,
               row.mean / kFrameMs, row.max / kFrameMs);
        fflush(stdout);
    }

    al_destroy_font(system_fontNormal);
    system_fontNormal = nullptr;
    std::system((std::string("rm -rf '") + folder + "'").c_str());
    return 0;
}
