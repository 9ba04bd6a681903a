// Which TrueType sizes the engine can afford. For each size it prints:
// - the glyphs of the six fonts of Debian's fonts-dejavu-core that FreeType
//   fails to render (Allegro's TTF addon crashes when it draws one of them:
//   FreeType's raster overflows on very large outlines), counted through
//   FreeType itself with the size and load flags that Allegro uses;
// - the peak resident memory of a child process that draws the first 2,500
//   characters of DejaVuSans.ttf, in character-map order, onto a 640 x 480
//   display, as a message box would draw them in that font and size (every
//   glyph drawn stays in Allegro's glyph pages).
// A size passes when no glyph fails and the drawing stays under 1 GiB. Then
// every size and its negative is tried, from the largest positive size of
// the table below the first that fails (or from --from N), up to the first
// that fails: the size before it is the largest that passes.
//
//   build/bench/font_bench [--sizes N,N,...] [--from N] [--cap MiB]
//
// The drawing is stopped once the child passes --cap MiB (2048 by default),
// so a size far too large costs no more than that; it is not drawn at all
// when some glyph fails. Needs a display (under Xvfb: software OpenGL, whose
// textures are the process's own memory). Without fonts-dejavu-core it says
// so and ends with status 0.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <allegro5/allegro.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_ttf.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include "bench_support.h"
#include "system.h"

namespace {

const char *const kFolder = "/usr/share/fonts/truetype/dejavu/";
const char *const kFonts[] = {"DejaVuSans.ttf",          "DejaVuSans-Bold.ttf", "DejaVuSansMono.ttf",
                              "DejaVuSansMono-Bold.ttf", "DejaVuSerif.ttf",     "DejaVuSerif-Bold.ttf"};
const int kCharacters = 2500;
const long kLimitKiB = 1024L * 1024L;

// The child's ways of ending, beside a crash.
enum { DRAWN = 0, NO_DISPLAY = 2, CAPPED = 3 };

std::string fontPath(const char *name)
{
    return std::string(kFolder) + name;
}

// A positive size is Allegro's pixel size (the em); a negative one asks for
// that many pixels from the highest ascender to the lowest descender.
bool setSize(FT_Face face, int size)
{
    if (size > 0)
        return FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(size)) == 0;
    FT_Size_RequestRec request = {FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, static_cast<FT_Long>(-size) * 64, 0, 0};
    return FT_Request_Size(face, &request) == 0;
}

// Loads every glyph of the font's character map as Allegro caches one;
// returns how many fail, or -1 when the font cannot be opened.
int failingGlyphs(FT_Library library, const char *path, int size)
{
    FT_Face face;
    if (FT_New_Face(library, path, 0, &face) != 0)
        return -1;
    int failing = 0;
    if (setSize(face, size)) {
        FT_UInt index;
        FT_ULong code = FT_Get_First_Char(face, &index);
        while (index != 0) {
            if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_NO_BITMAP) != 0)
                failing++;
            code = FT_Get_Next_Char(face, code, &index);
        }
    } else {
        failing = -1;
    }
    FT_Done_Face(face);
    return failing;
}

int failingGlyphs(FT_Library library, int size)
{
    int total = 0;
    for (const char *name : kFonts) {
        int failing = failingGlyphs(library, fontPath(name).c_str(), size);
        if (failing < 0)
            return -1;
        total += failing;
    }
    return total;
}

// Whether Allegro's line height at this size is FreeType's, sized as above:
// if it is not, the glyph counts would describe other sizes than Allegro's.
bool sameLineHeight(FT_Library library, int size)
{
    std::string path = fontPath(kFonts[0]);
    FT_Face face;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0)
        return false;
    long freetype = setSize(face, size) ? face->size->metrics.height >> 6 : -1;
    FT_Done_Face(face);
    ALLEGRO_FONT *font = al_load_ttf_font(path.c_str(), size, 0);
    if (!font)
        return false;
    long allegro = al_get_font_line_height(font);
    al_destroy_font(font);
    return allegro == freetype;
}

long residentKiB()
{
    FILE *status = fopen("/proc/self/status", "r");
    long kib = 0;
    char line[256];
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            kib = atol(line + 6);
    if (status)
        fclose(status);
    return kib;
}

// The child: draws the characters 50 to a line, a frame per line, and stops
// once it holds more than capKiB.
int draw(int size, long capKiB)
{
    std::string path = fontPath(kFonts[0]);
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, path.c_str(), 0, &face) != 0)
        return 1;
    ALLEGRO_USTR *text = al_ustr_new("");
    FT_UInt index;
    FT_ULong code = FT_Get_First_Char(face, &index);
    for (int n = 0; index != 0 && n < kCharacters; n++) {
        al_ustr_append_chr(text, static_cast<int32_t>(code));
        code = FT_Get_Next_Char(face, code, &index);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);

    if (!al_init() || !al_init_font_addon() || !al_init_ttf_addon())
        return 1;
    if (benchScreen(false))
        return NO_DISPLAY;
    ALLEGRO_FONT *font = al_load_ttf_font(path.c_str(), size, 0);
    if (!font)
        return 1;
    int start = 0;
    for (int n = 0; n < kCharacters; n += 50) {
        int end = static_cast<int>(al_ustr_offset(text, n + 50));
        ALLEGRO_USTR_INFO info;
        al_clear_to_color(al_map_rgb(0, 0, 0));
        al_draw_ustr(font, al_map_rgb(255, 255, 255), 8, 8, 0, al_ref_ustr(&info, text, start, end));
        al_flip_display();
        start = end;
        if (residentKiB() > capKiB)
            return CAPPED;
    }
    return DRAWN;
}

struct Memory {
    long peakKiB; // -1: not drawn
    int ending;   // DRAWN, CAPPED, or else a failure
};

// Runs the drawing in a child of its own, so that each size starts from an
// empty process and the peak is that size's alone.
Memory measure(int size, long capKiB)
{
    Memory memory = {-1, 1};
    fflush(stdout);
    pid_t child = fork();
    if (child == 0) {
        std::string sizeText = std::to_string(size), capText = std::to_string(capKiB);
        execl("/proc/self/exe", "font_bench", "--draw", sizeText.c_str(), capText.c_str(), static_cast<char *>(nullptr));
        _exit(1);
    }
    int status = 0;
    struct rusage usage;
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return memory;
    memory.peakKiB = usage.ru_maxrss;
    memory.ending = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return memory;
}

struct Row {
    int failing;
    Memory memory;
    bool heights;
};

bool passes(const Row &row)
{
    return row.heights && row.failing == 0 && row.memory.ending == DRAWN && row.memory.peakKiB < kLimitKiB;
}

Row measureRow(FT_Library library, int size, long capKiB)
{
    Row row;
    row.failing = failingGlyphs(library, size);
    row.heights = sameLineHeight(library, size);
    row.memory = row.failing == 0 ? measure(size, capKiB) : Memory{-1, DRAWN};
    return row;
}

void printRow(int size, const Row &row)
{
    char rss[64];
    if (row.memory.peakKiB < 0)
        snprintf(rss, sizeof rss, "not drawn");
    else if (row.memory.ending == CAPPED)
        snprintf(rss, sizeof rss, "> %ld (stopped)", row.memory.peakKiB / 1024);
    else if (row.memory.ending != DRAWN)
        snprintf(rss, sizeof rss, "failed (%d)", row.memory.ending);
    else
        snprintf(rss, sizeof rss, "%ld", row.memory.peakKiB / 1024);
    printf("%6d %15d %18s %7s%s\n", size, row.failing, rss, passes(row) ? "yes" : "no",
           row.heights ? "" : "   (Allegro's line height differs: sizes not as assumed)");
    fflush(stdout);
}

std::vector<int> parseSizes(const char *text)
{
    std::vector<int> sizes;
    for (const char *p = text; *p;) {
        char *end;
        long size = strtol(p, &end, 10);
        if (end == p)
            break;
        if (size != 0)
            sizes.push_back(static_cast<int>(size));
        p = *end == ',' ? end + 1 : end;
    }
    return sizes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && strcmp(argv[1], "--draw") == 0)
        return draw(atoi(argv[2]), atol(argv[3]));
    std::vector<int> sizes = {64,  128,  256,  320,  352,   384,   448,   512,   768,   1024,  1152,
                              1280, 1536, 2048, -352, -384, -512, -1024, -1280, -1536, -2048};
    long capKiB = 2048L * 1024L;
    int from = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--sizes") == 0 && i + 1 < argc)
            sizes = parseSizes(argv[++i]);
        else if (strcmp(argv[i], "--from") == 0 && i + 1 < argc)
            from = atoi(argv[++i]);
        else if (strcmp(argv[i], "--cap") == 0 && i + 1 < argc)
            capKiB = atol(argv[++i]) * 1024L;
    }
    for (const char *name : kFonts) {
        if (access(fontPath(name).c_str(), R_OK) != 0) {
            printf("font_bench: %s is missing: install fonts-dejavu-core.\n", fontPath(name).c_str());
            return 0;
        }
    }
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0 || !al_init() || !al_init_font_addon() || !al_init_ttf_addon()) {
        fprintf(stderr, "font_bench: cannot start FreeType or Allegro\n");
        return 1;
    }

    printf("Per size: glyphs of the six fonts of fonts-dejavu-core that fail to render, and the peak\n"
           "resident memory of drawing the first %d characters of DejaVuSans.ttf onto a 640x480 display\n",
           kCharacters);
    printf("%6s %15s %18s %7s\n", "size", "failing glyphs", "peak RSS (MiB)", "passes");
    // The search starts from the smallest positive size that fails and the
    // largest below it that passes.
    std::vector<int> passing;
    int best = 0, above = 0;
    for (int size : sizes) {
        Row row = measureRow(library, size, capKiB);
        printRow(size, row);
        if (row.memory.ending == NO_DISPLAY) {
            fprintf(stderr, "font_bench: no display (run it under X or Xvfb)\n");
            return 1;
        }
        if (size > 0 && passes(row))
            passing.push_back(size);
        if (size > 0 && !passes(row) && (above == 0 || size < above))
            above = size;
    }
    for (int size : passing)
        if (size > best && (above == 0 || size < above))
            best = size;
    if (from > 0)
        best = from;
    if (best == 0) {
        printf("No size of the table passes.\n");
        return 0;
    }
    // Memory does not grow smoothly with the size: how the glyphs pack into
    // Allegro's pages makes it jump by a tenth either way from one size to
    // the next. So every size is tried, with its negative, from there up to
    // the first that fails.
    printf("Every size from %d, with its negative:\n", best);
    int size = best;
    for (;; size++) {
        Row row = measureRow(library, size, capKiB);
        printRow(size, row);
        Row negative = measureRow(library, -size, capKiB);
        printRow(-size, negative);
        if (!passes(row) || !passes(negative))
            break;
    }
    if (size == best)
        printf("%d fails: start lower with --from.\n", best);
    else
        printf("Largest size that passes both, with its negative: %d\n", size - 1);
    FT_Done_FreeType(library);
    return 0;
}
